#pragma once
// The fixed disks of this machine: the mount points of file systems on block devices that are
// not removable, whatever the file system (ext4, btrfs, ntfs-3g's fuseblk, ntfs3, exfat, vfat,
// ...), and of ZFS datasets of pools on such devices, from the mount table
// (/proc/self/mountinfo); without read-only images on loop devices, network and pseudo file
// systems. Each mounted tree once, in mount order.

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <unordered_map>

#include <sys/types.h>

namespace kz {

struct MountEntry {
    QString device;     // major:minor
    QString root;       // the mounted folder inside the file system
    QString mountPoint; // unescaped
    QString fsType;
    QString source;
    bool readOnly = false;
};

// The lines of a mountinfo text; malformed lines are passed over.
QList<MountEntry> ParseMountInfo(const QByteArray &text);

// Whether the block device of that kernel name ("sdb1", "dm-0") is removable.
using RemovableTest = std::function<bool(const QString &deviceName)>;
// The test against a sysfs tree (a partition asks its disk): "<sysRoot>/class/block/<name>".
RemovableTest SysfsRemovableTest(const QString &sysRoot = QStringLiteral("/sys"));

// The kernel names of the block devices a ZFS pool lies on; empty when they cannot be told.
using PoolDevicesQuery = std::function<QStringList(const QString &pool)>;
// The members udev recorded ("<udevData>/b<major>:<minor>" with ID_FS_TYPE=zfs_member and the
// pool's name as ID_FS_LABEL), named through "<sysRoot>/dev/block/<major>:<minor>".
PoolDevicesQuery UdevPoolDevices(const QString &udevData = QStringLiteral("/run/udev/data"),
                                 const QString &sysRoot = QStringLiteral("/sys"));

// The mount points to search, in mount order. A ZFS dataset counts unless one of its pool's
// devices is removable (a pool whose devices cannot be told counts: ZFS lives on fixed disks).
QStringList FixedDiskRoots(const QList<MountEntry> &mounts, const RemovableTest &removable,
                           const PoolDevicesQuery &poolDevices = {});
// The same for this machine.
QStringList FixedDiskRoots();

// This machine's mount table (/proc/self/mountinfo), read within a bound.
QByteArray ThisMachineMountTable();

// Whether the folder search goes into a file system of that type mounted below its folder: not
// into pseudo file systems (proc, sysfs, devtmpfs, cgroup, ...) nor network ones (FUSE mounts
// other than fuseblk count as such: they may be).
bool IsSearchableMountType(const QString &type);

// The folder search's decision for each device it meets, by the mount table; a device the table
// does not name (mounted since it was read: it is read again; a btrfs subvolume inside its
// volume) by the kind of its file system (statfs). Decided once per device.
class MountedFileSystems {
public:
    using TableReader = std::function<QByteArray()>;
    explicit MountedFileSystems(TableReader read = ThisMachineMountTable);
    // `fd` is an open descriptor of a folder or file on the device.
    bool MayEnter(int fd, dev_t device);

private:
    void Reload();
    TableReader m_read;
    QHash<QString, QString> m_types; // "major:minor" to the file system's type
    std::unordered_map<dev_t, bool> m_decided;
};

} // namespace kz
