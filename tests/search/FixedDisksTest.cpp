// The fixed-disk rule over sample mount tables and a made sysfs tree.

#include "search/FixedDisks.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
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

// This machine's own table parses, and every root it names is an absolute folder.
TEST(FixedDisks, ThisMachine) {
    for (const QString &root : FixedDiskRoots())
        EXPECT_TRUE(root.startsWith('/')) << root.toStdString();
}
