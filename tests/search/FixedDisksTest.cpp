// The fixed-disk rule over sample mount tables and a made sysfs tree.

#include "search/FixedDisks.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {

// A desktop machine: ext4 root, a separate /home, an ESP, a USB stick, the kernel's views,
// a network share, a container layer, a snap on a loop device, btrfs subvolumes of one disk
// (one mounted twice) and a bind mount of the root again.
const char kSample[] =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev rw,size=8000000k\n"
    "26 25 0:23 / /dev/shm rw,nosuid,nodev shared:9 - tmpfs tmpfs rw\n"
    "27 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,mode=755\n"
    "30 22 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "31 22 8:17 / /media/u/STICK rw,nosuid,nodev,relatime shared:40 - vfat /dev/sdb1 rw\n"
    "32 22 0:50 / /mnt/nas rw,relatime shared:41 - nfs4 server:/export rw,vers=4.2\n"
    "33 22 0:51 / /mnt/win rw,relatime shared:42 - cifs //pc/share rw\n"
    "34 22 0:52 / /var/lib/docker/overlay2/x/merged rw,relatime - overlay overlay rw\n"
    "35 22 7:3 / /snap/core/100 ro,nodev,relatime shared:43 - squashfs /dev/loop3 ro\n"
    "36 22 0:53 / /run/user/1000/gvfs rw,nosuid,nodev shared:44 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "37 22 0:60 /@data /data rw,relatime shared:45 - btrfs /dev/sda1 rw,subvol=/@data\n"
    "38 22 0:60 /@media /srv/my\\040media rw,relatime shared:46 - btrfs /dev/sda1 "
    "rw,subvol=/@media\n"
    "39 22 0:60 /@data /data-again rw,relatime shared:45 - btrfs /dev/sda1 rw,subvol=/@data\n"
    "40 22 259:2 / /mnt/rootagain rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
    "41 22 7:4 / /mnt/image ro,relatime - ext4 /dev/loop4 ro\n"
    "42 22 7:5 / /mnt/scratch rw,relatime - ext4 /dev/loop5 rw\n"
    "bad line without the separator\n"
    "43 22 8:2 / relative rw - ext4 /dev/sda2 rw\n"
    "\n";

bool WriteText(const QString &path, const QByteArray &text) {
    return test::WriteFile(path, text);
}

} // namespace

TEST(FixedDisks, ParsesMountInfoLines) {
    const QList<MountEntry> mounts = ParseMountInfo(kSample);
    ASSERT_EQ(mounts.size(), 19); // the two malformed lines are passed over
    EXPECT_EQ(mounts[0].device, "259:2");
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/nvme0n1p2");
    EXPECT_FALSE(mounts[0].readOnly);
    EXPECT_EQ(mounts[14].mountPoint, "/srv/my media"); // octal escapes undone
    EXPECT_EQ(mounts[14].root, "/@media");
    EXPECT_TRUE(mounts[11].readOnly);
    // Optional fields (none, one or several) do not move the type and the source.
    EXPECT_EQ(mounts[10].fsType, "overlay");
    EXPECT_EQ(mounts[17].fsType, "ext4");
    EXPECT_EQ(mounts[17].source, "/dev/loop4");
}

TEST(FixedDisks, KeepsLocalBlockDevicesOnceWithoutRemovablesOrImages) {
    const auto removable = [](const QString &name) { return name == "sdb1"; };
    EXPECT_EQ(FixedDiskRoots(ParseMountInfo(kSample), removable),
              (QStringList{"/", "/boot/efi", "/data", "/srv/my media", "/mnt/scratch"}));
    // Without the removable test the stick joins, in mount order.
    EXPECT_EQ(FixedDiskRoots(ParseMountInfo(kSample), {}),
              (QStringList{"/", "/boot/efi", "/media/u/STICK", "/data", "/srv/my media",
                           "/mnt/scratch"}));
    EXPECT_TRUE(FixedDiskRoots(ParseMountInfo(QByteArray()), removable).isEmpty());
}

// The flag lives on the disk; a partition asks its parent, as sysfs lays them out.
TEST(FixedDisks, SysfsRemovableFlagOfDisksAndPartitions) {
    QTemporaryDir sys;
    const QString s = sys.path();
    ASSERT_TRUE(WriteText(s + "/devices/usb1/block/sdb/removable", "1\n"));
    ASSERT_TRUE(WriteText(s + "/devices/usb1/block/sdb/sdb1/partition", "1\n"));
    ASSERT_TRUE(WriteText(s + "/devices/pci0/block/nvme0n1/removable", "0\n"));
    ASSERT_TRUE(WriteText(s + "/devices/pci0/block/nvme0n1/nvme0n1p2/partition", "2\n"));
    ASSERT_TRUE(QDir().mkpath(s + "/class/block"));
    const auto link = [&](const QString &target, const QString &name) {
        return QFile::link("../../devices/" + target, s + "/class/block/" + name);
    };
    ASSERT_TRUE(link("usb1/block/sdb", "sdb"));
    ASSERT_TRUE(link("usb1/block/sdb/sdb1", "sdb1"));
    ASSERT_TRUE(link("pci0/block/nvme0n1", "nvme0n1"));
    ASSERT_TRUE(link("pci0/block/nvme0n1/nvme0n1p2", "nvme0n1p2"));

    const RemovableTest removable = SysfsRemovableTest(s);
    EXPECT_TRUE(removable("sdb"));
    EXPECT_TRUE(removable("sdb1"));
    EXPECT_FALSE(removable("nvme0n1"));
    EXPECT_FALSE(removable("nvme0n1p2"));
    EXPECT_FALSE(removable("sdz")); // unknown
    EXPECT_FALSE(removable("../../devices/usb1/block/sdb"));
    EXPECT_FALSE(removable(""));

    const QStringList roots = FixedDiskRoots(ParseMountInfo(kSample), removable);
    EXPECT_FALSE(roots.contains("/media/u/STICK"));
    EXPECT_TRUE(roots.contains("/"));
}

// Machines the old rule got wrong: the Windows partition of a dual-boot machine through ntfs-3g
// (fuseblk) or ntfs3, ZFS datasets, and folders bound elsewhere.
TEST(FixedDisks, DualBootZfsAndBindMountTables) {
    const QSet<QString> removableNames{"sdb", "sdb1", "sdc1"};
    const QMap<QString, QStringList> pools{
        {"rpool", {"nvme0n1p3"}}, {"bpool", {"nvme0n1p2"}}, {"usbpool", {"sdb1", "nvme0n1p4"}}};
    const struct {
        const char *machine;
        QByteArray table;
        QStringList roots;
    } cases[] = {
        {"ntfs-3g",
         "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
         "30 22 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw\n"
         "45 22 259:4 / /media/u/Data rw,nosuid,nodev,relatime shared:50 - fuseblk "
         "/dev/nvme0n1p4 rw,user_id=0,group_id=0,allow_other,blksize=4096\n"
         "46 22 8:17 / /media/u/STICK rw,nosuid,nodev shared:51 - fuseblk /dev/sdb1 "
         "rw,user_id=0\n"
         "47 22 0:55 / /run/user/1000/doc rw,nosuid shared:52 - fuse.portal portal rw\n"
         "48 22 0:56 / /mnt/fuse rw - fuse /dev/fuse rw\n"
         "49 22 8:2 / /mnt/camera rw - exfat /dev/sda2 rw\n",
         {"/", "/boot/efi", "/media/u/Data", "/mnt/camera"}},
        {"ntfs3",
         "22 1 8:2 / / rw,relatime shared:1 - btrfs /dev/sda2 rw,subvol=/@\n"
         "23 22 8:2 /@home /home rw,relatime shared:2 - btrfs /dev/sda2 rw,subvol=/@home\n"
         "45 22 8:3 / /mnt/c rw,relatime shared:50 - ntfs3 /dev/sda3 rw,uid=1000,iocharset=utf8\n"
         "46 22 8:33 / /mnt/d ro,relatime shared:51 - ntfs3 /dev/sdc1 ro\n",
         {"/", "/home", "/mnt/c"}},
        {"zfs root",
         "25 1 0:23 / / rw,relatime shared:1 - zfs rpool/ROOT/debian rw,xattr\n"
         "26 25 0:24 / /home rw,relatime shared:2 - zfs rpool/home rw,xattr\n"
         "27 25 0:25 / /boot rw,relatime shared:3 - zfs bpool/BOOT/debian rw\n"
         "28 26 0:26 / /home/.zfs/snapshot/daily ro,relatime - zfs rpool/home@daily ro\n"
         "29 25 0:27 / /media/u/tank rw - zfs usbpool/data rw\n"
         "30 25 0:28 / /mnt/old rw - zfs oldpool rw\n"
         "31 25 0:29 / /tmp rw,nosuid shared:5 - tmpfs tmpfs rw\n",
         {"/", "/home", "/boot", "/mnt/old"}},
        {"bind mounts",
         "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
         "50 22 8:1 /srv/share /mnt/share rw - ext4 /dev/sda1 rw\n"
         "51 22 8:1 / /mnt/again rw - ext4 /dev/sda1 rw\n"
         "52 22 8:1 /srv/share /export/share rw - ext4 /dev/sda1 rw\n"
         "53 22 7:2 / /mnt/iso ro - iso9660 /dev/loop2 ro\n",
         {"/", "/mnt/share"}},
    };
    const RemovableTest removable = [&](const QString &name) {
        return removableNames.contains(name);
    };
    const PoolDevicesQuery poolDevices = [&](const QString &pool) { return pools.value(pool); };
    for (const auto &c : cases)
        EXPECT_EQ(FixedDiskRoots(ParseMountInfo(c.table), removable, poolDevices), c.roots)
            << c.machine;
}

// The members of a pool as udev recorded them, named by sysfs.
TEST(FixedDisks, PoolDevicesFromTheUdevDatabase) {
    QTemporaryDir dir;
    const QString udev = dir.filePath("udev"), sys = dir.filePath("sys");
    const auto device = [&](const QString &majorMinor, const QString &name, const QByteArray &db) {
        return WriteText(sys + "/devices/pci0/block/" + name + "/dev", majorMinor.toLatin1()) &&
               QDir().mkpath(sys + "/dev/block") &&
               QFile::link("../../devices/pci0/block/" + name, sys + "/dev/block/" + majorMinor) &&
               WriteText(udev + "/b" + majorMinor, db);
    };
    ASSERT_TRUE(device("259:3", "nvme0n1p3",
                       "S:disk/by-id/x\nE:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool\n"));
    ASSERT_TRUE(device("8:17", "sdb1", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool\n"));
    ASSERT_TRUE(device("8:18", "sdb2", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool2\n"));
    ASSERT_TRUE(device("8:1", "sda1", "E:ID_FS_TYPE=ext4\nE:ID_FS_LABEL=rpool\n"));
    ASSERT_TRUE(WriteText(udev + "/c189:1", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool\n"));
    const PoolDevicesQuery members = UdevPoolDevices(udev, sys);
    QStringList rpool = members("rpool");
    rpool.sort();
    EXPECT_EQ(rpool, (QStringList{"nvme0n1p3", "sdb1"}));
    EXPECT_EQ(members("rpool2"), QStringList{"sdb2"});
    EXPECT_TRUE(members("none").isEmpty());
    EXPECT_TRUE(members("").isEmpty());
    EXPECT_TRUE(UdevPoolDevices(dir.filePath("missing"), sys)("rpool").isEmpty());
}

// This machine's table read as util-linux's findmnt reads it: every field, line by line, and
// every root the rule keeps is a folder there.
TEST(FixedDisks, ThisMachineAgreesWithFindmnt) {
    const auto unescape = [](const QByteArray &field) {
        QByteArray out;
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x') {
                out += char(field.mid(i + 2, 2).toInt(nullptr, 16));
                i += 3;
            } else {
                out += field[i];
            }
        }
        return QString::fromUtf8(out);
    };
    const auto readTable = [] {
        QFile file("/proc/self/mountinfo");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Another developer's mount may come between the two reads: read again then.
    QList<MountEntry> ours;
    QList<QByteArray> theirs;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QByteArray before = readTable();
        QProcess findmnt;
        findmnt.start("findmnt", {"--kernel", "--raw", "--noheadings", "--nofsroot", "-o",
                                  "MAJ:MIN,FSROOT,TARGET,FSTYPE,SOURCE,VFS-OPTIONS"});
        ASSERT_TRUE(findmnt.waitForFinished(30000));
        theirs = findmnt.readAllStandardOutput().split('\n');
        theirs.removeAll(QByteArray());
        if (readTable() == before) {
            ours = ParseMountInfo(before);
            break;
        }
    }
    ASSERT_FALSE(ours.isEmpty());
    ASSERT_EQ(ours.size(), theirs.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const QList<QByteArray> f = theirs[i].split(' ');
        ASSERT_EQ(f.size(), 6) << theirs[i].toStdString();
        const MountEntry &m = ours[i];
        const std::string line = theirs[i].toStdString();
        EXPECT_EQ(m.device, unescape(f[0])) << line;
        EXPECT_EQ(m.root, unescape(f[1])) << line;
        EXPECT_EQ(m.mountPoint, unescape(f[2])) << line;
        EXPECT_EQ(m.fsType, unescape(f[3])) << line;
        EXPECT_EQ(m.source, unescape(f[4])) << line;
        EXPECT_EQ(m.readOnly, f[5].split(',').contains("ro")) << line;
    }
    for (const QString &root : FixedDiskRoots())
        EXPECT_TRUE(QFileInfo(root).isDir()) << root.toStdString();
}
