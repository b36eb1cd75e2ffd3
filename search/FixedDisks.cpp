#include "FixedDisks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace kz {

namespace {

// Mount points escape blanks, tabs, line breaks and backslashes as three octal digits.
QString Unescape(const QByteArray &field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && value < 256) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += c;
    }
    return QFile::decodeName(out);
}

// Kernel views of the system: never searched.
const QSet<QString> kPseudoTypes{
    "proc",    "sysfs",       "devtmpfs", "devpts",     "cgroup", "cgroup2",   "securityfs",
    "debugfs", "tracefs",     "mqueue",   "hugetlbfs",  "pstore", "bpf",       "configfs",
    "autofs",  "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",   "selinuxfs", "fusectl"};
// Shares of other machines (and of a virtual machine's host).
const QSet<QString> kNetworkTypes{"nfs",       "nfs4",   "cifs",  "smb3",     "smbfs",
                                  "ncpfs",     "afs",    "9p",    "virtiofs", "ceph",
                                  "glusterfs", "lustre", "davfs", "coda"};
// Local file systems that are no disk: memory and layers over other file systems.
const QSet<QString> kNoDiskTypes{"tmpfs", "ramfs", "rootfs", "overlay", "aufs", "shiftfs"};

// FUSE mounts other than fuseblk (ntfs-3g, a disk) may be anything, network shares included.
bool IsFuseOtherThanBlock(const QString &type) {
    return type == QLatin1String("fuse") || type.startsWith(QStringLiteral("fuse."));
}

// File systems that are no disk even when their source looks like a device.
bool IsNoDiskType(const QString &type) {
    return !IsSearchableMountType(type) || kNoDiskTypes.contains(type);
}

// Kinds statfs reports that <linux/magic.h> does not name.
constexpr unsigned long kCephMagic = 0x00c36400, kFuseMagic = 0x65735546, kMqueueMagic = 0x19800202,
                        kConfigfsMagic = 0x62656570, kFusectlMagic = 0x65735543,
                        kRpcPipefsMagic = 0x67596969;

// The same by the kind statfs reports, for a device the mount table does not name.
bool IsPseudoOrNetworkMagic(unsigned long magic) {
    static const QSet<unsigned long> kMagics{
        PROC_SUPER_MAGIC,    SYSFS_MAGIC,     DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC,
        CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,   TRACEFS_MAGIC,      SECURITYFS_MAGIC,
        BPF_FS_MAGIC,        PSTOREFS_MAGIC,  EFIVARFS_MAGIC,     HUGETLBFS_MAGIC,
        AUTOFS_SUPER_MAGIC,  BINFMTFS_MAGIC,  NSFS_MAGIC,         SELINUX_MAGIC,
        NFS_SUPER_MAGIC,     SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC,   SMB2_SUPER_MAGIC,
        NCP_SUPER_MAGIC,     AFS_SUPER_MAGIC, AFS_FS_MAGIC,       V9FS_MAGIC,
        CODA_SUPER_MAGIC,    kCephMagic,      kFuseMagic,         kMqueueMagic,
        kConfigfsMagic,      kFusectlMagic,   kRpcPipefsMagic};
    return kMagics.contains(magic);
}

// The kernel's name of a device node: a mapper or by-label link names its target.
QString KernelName(const QString &source) {
    QString node = QFileInfo(source).canonicalFilePath();
    if (node.isEmpty())
        node = source;
    return QFileInfo(node).fileName();
}

// Small files read whole, within a bound.
QByteArray ReadSmall(const QString &path, qint64 max) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(max);
}

} // namespace

QList<MountEntry> ParseMountInfo(const QByteArray &text) {
    QList<MountEntry> mounts;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        const qsizetype dash = fields.indexOf("-");
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry m;
        m.device = QString::fromLatin1(fields[2]);
        m.root = Unescape(fields[3]);
        m.mountPoint = Unescape(fields[4]);
        m.readOnly = fields[5].split(',').contains("ro");
        m.fsType = QString::fromLatin1(fields[dash + 1]);
        m.source = Unescape(fields[dash + 2]);
        if (!m.device.contains(u':') || !m.mountPoint.startsWith(u'/'))
            continue;
        mounts.append(m);
    }
    return mounts;
}

RemovableTest SysfsRemovableTest(const QString &sysRoot) {
    return [sysRoot](const QString &name) {
        if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
            return false;
        QString dir =
            QFileInfo(sysRoot + QStringLiteral("/class/block/") + name).canonicalFilePath();
        if (dir.isEmpty())
            return false;
        // A partition's flag is its disk's.
        if (QFileInfo::exists(dir + QStringLiteral("/partition")))
            dir = QFileInfo(dir).path();
        QFile flag(dir + QStringLiteral("/removable"));
        if (!flag.open(QIODevice::ReadOnly))
            return false;
        return flag.read(16).trimmed() == "1";
    };
}

PoolDevicesQuery UdevPoolDevices(const QString &udevData, const QString &sysRoot) {
    return [udevData, sysRoot](const QString &pool) {
        QStringList names;
        if (pool.isEmpty())
            return names;
        // One record per device; a machine has a few hundred at most.
        const QStringList records =
            QDir(udevData).entryList({QStringLiteral("b*")}, QDir::Files, QDir::Name).mid(0, 4096);
        for (const QString &record : records) {
            const QList<QByteArray> lines =
                ReadSmall(udevData + u'/' + record, 64 * 1024).split('\n');
            if (!lines.contains("E:ID_FS_TYPE=zfs_member") ||
                !lines.contains("E:ID_FS_LABEL=" + pool.toUtf8()))
                continue;
            const QString majorMinor = record.mid(1);
            if (majorMinor.contains(u'/') || !majorMinor.contains(u':'))
                continue;
            const QString dir =
                QFileInfo(sysRoot + QStringLiteral("/dev/block/") + majorMinor).canonicalFilePath();
            if (!dir.isEmpty())
                names << QFileInfo(dir).fileName();
        }
        return names;
    };
}

QStringList FixedDiskRoots(const QList<MountEntry> &mounts, const RemovableTest &removable,
                           const PoolDevicesQuery &poolDevices) {
    QStringList roots;
    QSet<QString> seen;
    // A pool mounts many datasets: its members are looked up once.
    QHash<QString, bool> removablePools;
    for (const MountEntry &m : mounts) {
        if (IsNoDiskType(m.fsType))
            continue;
        if (m.fsType == QLatin1String("zfs")) {
            // A dataset "pool/a/b"; snapshots ("pool/a@s") are read-only views of one.
            if (m.source.isEmpty() || m.source.startsWith(u'/') || m.source.contains(u'@'))
                continue;
            const QString pool = m.source.section(u'/', 0, 0);
            auto known = removablePools.constFind(pool);
            if (known == removablePools.constEnd()) {
                const QStringList members = poolDevices ? poolDevices(pool) : QStringList();
                known = removablePools.insert(
                    pool, removable && std::any_of(members.begin(), members.end(), removable));
            }
            if (*known)
                continue;
        } else {
            if (!m.source.startsWith(QStringLiteral("/dev/")))
                continue;
            const QString name = KernelName(m.source);
            if (name.startsWith(QStringLiteral("loop")) && m.readOnly)
                continue; // a read-only image (a snap, a live system)
            if (removable && removable(name))
                continue;
        }
        // One device may be mounted several times; the same tree of it is searched once,
        // while different trees of it (btrfs subvolumes, bound folders) are each searched: the
        // walk visits every folder once, so a tree inside another gives no second row.
        const QString key = m.device + u'\t' + m.root;
        if (seen.contains(key))
            continue;
        seen.insert(key);
        roots << m.mountPoint;
    }
    return roots;
}

QByteArray ThisMachineMountTable() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The table is small; a runaway one is cut, not read without bound. Its size reads as 0,
    // so it is read until nothing more comes.
    QByteArray text;
    while (text.size() < 16 * 1024 * 1024) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        text += chunk;
    }
    return text;
}

QStringList FixedDiskRoots() {
    return FixedDiskRoots(ParseMountInfo(ThisMachineMountTable()), SysfsRemovableTest(),
                          UdevPoolDevices());
}

bool IsSearchableMountType(const QString &type) {
    return !kPseudoTypes.contains(type) && !kNetworkTypes.contains(type) &&
           !IsFuseOtherThanBlock(type);
}

// The table is read when a walk first meets a device of its own (most never do).
MountedFileSystems::MountedFileSystems(TableReader read) : m_read(std::move(read)) {}

void MountedFileSystems::Reload() {
    m_types.clear();
    if (!m_read)
        return;
    for (const MountEntry &m : ParseMountInfo(m_read()))
        m_types.insert(m.device, m.fsType);
}

bool MountedFileSystems::MayEnter(int fd, dev_t device) {
    if (const auto known = m_decided.find(device); known != m_decided.end())
        return known->second;
    const QString key = QStringLiteral("%1:%2").arg(major(device)).arg(minor(device));
    // Mounted since the table was read: read it again, once for each such device.
    if (!m_types.contains(key))
        Reload();
    bool enter = false;
    if (const auto type = m_types.constFind(key); type != m_types.constEnd()) {
        enter = IsSearchableMountType(*type);
    } else {
        // Not mounted of its own (a btrfs subvolume inside its volume's tree): by its kind.
        struct statfs fs;
        enter = fd >= 0 && fstatfs(fd, &fs) == 0 &&
                !IsPseudoOrNetworkMagic(static_cast<unsigned long>(fs.f_type));
    }
    m_decided.emplace(device, enter);
    return enter;
}

} // namespace kz
