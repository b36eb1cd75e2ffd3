#include "FixedDisks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

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

// File systems that are no local disk: kernel views, memory, network and cluster shares,
// user-space (FUSE) mounts and read-only images.
bool IsExcludedType(const QString &type) {
    static const QSet<QString> kExcluded{
        "proc",      "sysfs",      "tmpfs",   "devtmpfs",   "devpts",  "overlay",     "aufs",
        "nfs",       "nfs4",       "cifs",    "smb3",       "smbfs",   "ncpfs",       "afs",
        "9p",        "virtiofs",   "ceph",    "glusterfs",  "lustre",  "fuse",        "fuseblk",
        "fusectl",   "cgroup",     "cgroup2", "securityfs", "debugfs", "tracefs",     "mqueue",
        "hugetlbfs", "pstore",     "bpf",     "configfs",   "autofs",  "binfmt_misc", "efivarfs",
        "ramfs",     "rpc_pipefs", "nsfs",    "squashfs",   "erofs",   "iso9660",     "udf",
        "selinuxfs", "rootfs",     "shiftfs", "zram"};
    return type.startsWith(QStringLiteral("fuse.")) || kExcluded.contains(type);
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

QStringList FixedDiskRoots(const QList<MountEntry> &mounts, const RemovableTest &removable) {
    QStringList roots;
    QSet<QString> seen;
    for (const MountEntry &m : mounts) {
        if (IsExcludedType(m.fsType) || !m.source.startsWith(QStringLiteral("/dev/")))
            continue;
        // The kernel's name of the device: a mapper or by-label link names its target.
        QString node = QFileInfo(m.source).canonicalFilePath();
        if (node.isEmpty())
            node = m.source;
        const QString name = QFileInfo(node).fileName();
        if (name.startsWith(QStringLiteral("loop")) && m.readOnly)
            continue; // a read-only image (a snap, a live system)
        if (removable && removable(name))
            continue;
        // One device may be mounted several times; the same tree of it is searched once,
        // while different trees of it (btrfs subvolumes) are each searched.
        const QString key = m.device + u'\t' + m.root;
        if (seen.contains(key))
            continue;
        seen.insert(key);
        roots << m.mountPoint;
    }
    return roots;
}

QStringList FixedDiskRoots() {
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
    return FixedDiskRoots(ParseMountInfo(text), SysfsRemovableTest());
}

} // namespace kz
