#pragma once
// The fixed disks of this machine: the mount points of file systems on block devices, from the
// mount table (/proc/self/mountinfo), without removable devices, read-only images on loop
// devices, network and pseudo file systems. Each mounted tree once, in mount order.

#include <QString>
#include <QStringList>

#include <functional>

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

// The mount points to search, in mount order.
QStringList FixedDiskRoots(const QList<MountEntry> &mounts, const RemovableTest &removable);
// The same for this machine.
QStringList FixedDiskRoots();

} // namespace kz
