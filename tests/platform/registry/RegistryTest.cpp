#include "platform/registry/Registry.h"
#include "platform/registry/Profile.h"

#include "platform/UserDirs.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;
using namespace kz::test;

namespace {
// The permission bits, not through a link.
int ModeOf(const QString &path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}
} // namespace

TEST(Registry, KeepsTypesAndNarrowBytesAcrossOpens) {
    QTemporaryDir tmp;
    IniRegistryStore store(tmp.filePath("cfg/KZPlayer/registry.ini"));
    const QByteArray gbk("\xCE\xD2\\\x00tail", 8); // bytes kept as they are, zero included
    {
        auto key = store.OpenKey(QStringLiteral("SOFTWARE\\KZVPlayer\\"));
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->SetDword("m_nIEFilterSize", 250));
        EXPECT_TRUE(key->SetDword("ScreenLeft", std::uint32_t(-32000)));
        EXPECT_TRUE(key->SetString("m_strSavedDirectory", gbk));
        EXPECT_TRUE(key->SetDword("odd/name\\x", 7));
    }
    IniRegistryStore again(store.Path());
    auto key = again.OpenKey(QStringLiteral("SOFTWARE\\KZVPlayer\\"));
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryDword("m_nIEFilterSize"), 250u);
    EXPECT_EQ(std::int32_t(*key->QueryDword("ScreenLeft")), -32000);
    EXPECT_EQ(key->QueryString("m_strSavedDirectory", 260), gbk);
    EXPECT_EQ(key->QueryDword("odd/name\\x"), 7u);
    // A value read as the other type, a missing value, or a string beyond the buffer fail.
    EXPECT_FALSE(key->QueryDword("m_strSavedDirectory"));
    EXPECT_FALSE(key->QueryString("m_nIEFilterSize", 260));
    EXPECT_FALSE(key->QueryDword("absent"));
    EXPECT_FALSE(key->QueryString("m_strSavedDirectory", 4));
    EXPECT_TRUE(key->DeleteValue("m_nIEFilterSize"));
    EXPECT_FALSE(key->QueryDword("m_nIEFilterSize"));
    // Keys are separate.
    auto other = again.OpenKey(QStringLiteral("SOFTWARE\\Other"));
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->QueryDword("ScreenLeft"));
}

TEST(Registry, AStoreThatCannotBeOpenedGivesNoKeyAndKeepsTheFile) {
    QTemporaryDir tmp;
    // Its folder is a file.
    ASSERT_TRUE(WriteFile(tmp.filePath("blocked"), "x"));
    EXPECT_FALSE(IniRegistryStore(tmp.filePath("blocked/registry.ini")).OpenKey("SOFTWARE\\K"));
    // The store itself is a folder.
    QDir(tmp.path()).mkpath("dir.ini");
    EXPECT_FALSE(IniRegistryStore(tmp.filePath("dir.ini")).OpenKey("SOFTWARE\\K"));
}

TEST(Registry, DamagedFileReadsAsMissingValues) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("registry.ini");
    const QByteArray junk("[SOFTWARE/KZVPlayer]\nm_nIEFilterSize=dword:zz\nm_bTaskBar=12\n"
                          "\x01\x02\xFF garbage without equals\n",
                          78);
    ASSERT_TRUE(WriteFile(path, junk));
    IniRegistryStore store(path);
    {
        auto key = store.OpenKey("SOFTWARE\\KZVPlayer\\");
        if (key) {
            EXPECT_FALSE(key->QueryDword("m_nIEFilterSize"));
            EXPECT_FALSE(key->QueryDword("m_bTaskBar"));
            key->SetDword("m_bTaskBar", 1);
        }
    }
    EXPECT_EQ(ReadFile(path), junk) << "a damaged store is never overwritten";
}

// People read the store: typed values are plain text, a string's bytes escaped only where they
// are not printable.
TEST(Registry, WritesTypedValuesAsPlainText) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("KZPlayer/registry.ini");
    IniRegistryStore store(path);
    {
        auto key = store.OpenKey(QStringLiteral("SOFTWARE\\KZVPlayer\\"));
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->SetDword("m_bAutoPlay", 1));
        EXPECT_TRUE(key->SetDword("ScreenLeft", std::uint32_t(-32000)));
        EXPECT_TRUE(key->SetString("m_strSavedDirectory", "/home/u/Image"));
        EXPECT_TRUE(key->SetString("m_strOther", QByteArray("\xCE\xD2 a\\b\x00", 7)));
        EXPECT_TRUE(key->SetString("m_strEdges", " x "));
        EXPECT_TRUE(key->SetDword("odd/name\\x", 7));
    }
    EXPECT_EQ(ReadFile(path).toStdString(), "[SOFTWARE]\n"
                                            "KZVPlayer\\m_bAutoPlay=dword:00000001\n"
                                            "KZVPlayer\\ScreenLeft=dword:ffff8300\n"
                                            "KZVPlayer\\m_strSavedDirectory=sz:/home/u/Image\n"
                                            "KZVPlayer\\m_strOther=sz:\\xce\\xd2 a\\\\b\\x00\n"
                                            "KZVPlayer\\m_strEdges=sz: x\\x20\n"
                                            "KZVPlayer\\odd%252Fname%255Cx=dword:00000007\n");
    // A change rewrites its own line only; a deleted value's line goes.
    {
        auto key = store.OpenKey(QStringLiteral("SOFTWARE\\KZVPlayer"));
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->SetDword("m_bAutoPlay", 0));
        EXPECT_TRUE(key->DeleteValue("m_strEdges"));
        EXPECT_FALSE(key->DeleteValue("m_strEdges"));
    }
    const QString text = QString::fromUtf8(ReadFile(path));
    EXPECT_TRUE(text.startsWith("[SOFTWARE]\nKZVPlayer\\m_bAutoPlay=dword:00000000\n"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("m_strEdges"));
}

// Every byte value survives the text form, and so does what people write by hand around it.
TEST(Registry, AnyBytesRoundTripAndHandWrittenLinesStay) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("registry.ini");
    ASSERT_TRUE(WriteFile(path, "; kept comment\n[Other]\nx = sz:hand written \n\n"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    IniRegistryStore store(path);
    {
        auto key = store.OpenKey("SOFTWARE\\KZVPlayer\\");
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->SetString("all", all + "\\x41\\"));
        EXPECT_EQ(key->QueryString("all", 1000), all + "\\x41\\") << "read back before the close";
    }
    const QByteArray text = ReadFile(path);
    for (const char c : text)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "not plain text: " << int(uchar(c));
    EXPECT_TRUE(text.startsWith("; kept comment\n[Other]\nx = sz:hand written \n")) << text.data();
    auto key = IniRegistryStore(path).OpenKey("SOFTWARE\\KZVPlayer\\");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("all", 1000), all + "\\x41\\");
    EXPECT_EQ(IniRegistryStore(path).OpenKey("Other")->QueryString("x", 100), "hand written");
    // A broken escape is not a value.
    ASSERT_TRUE(WriteFile(path, "[K]\nbad=sz:a\\q\ncut=sz:a\\x4\nok=sz:\\x4A\n"));
    auto k = IniRegistryStore(path).OpenKey("K");
    ASSERT_TRUE(k);
    EXPECT_FALSE(k->QueryString("bad", 100));
    EXPECT_FALSE(k->QueryString("cut", 100));
    EXPECT_EQ(k->QueryString("ok", 100), "J");
}

// Stores written before, with each typed value as "@ByteArray(...)", keep their values, and are
// written in the plain form the next time.
TEST(Registry, ReadsTheOlderByteArrayForm) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("registry.ini");
    const QByteArray narrow("sz:\xCE\xD2\\\x00"
                            "a1;b,c=d \"q\"",
                            19);
    {
        // The way the store used to write them.
        QSettings old(path, QSettings::IniFormat);
        old.beginGroup("SOFTWARE/KZVPlayer");
        old.setValue("m_nIEFilterSize", QByteArray("dword:000000fa"));
        old.setValue("m_strSavedDirectory", narrow);
        old.setValue("m_strPlain", QByteArray("sz:/home/u/Image"));
        old.setValue("odd%2Fname", QByteArray("dword:00000007"));
        old.setValue("m_notTyped", QStringLiteral("text"));
        old.endGroup();
        old.beginGroup("SOFTWARE/Other");
        old.setValue("kept", QByteArray("dword:00000003"));
        old.endGroup();
        old.sync();
        ASSERT_EQ(old.status(), QSettings::NoError);
    }
    ASSERT_TRUE(ReadFile(path).contains("@ByteArray("));
    IniRegistryStore store(path);
    {
        auto key = store.OpenKey("SOFTWARE\\KZVPlayer\\");
        ASSERT_TRUE(key);
        EXPECT_EQ(key->QueryDword("m_nIEFilterSize"), 250u);
        EXPECT_EQ(key->QueryString("m_strSavedDirectory", 260), narrow.mid(3));
        EXPECT_EQ(key->QueryString("m_strPlain", 260), "/home/u/Image");
        EXPECT_EQ(key->QueryDword("odd/name"), 7u);
        EXPECT_FALSE(key->QueryString("m_notTyped", 260));
        EXPECT_TRUE(key->SetDword("m_bAutoPlay", 1));
    }
    const QByteArray text = ReadFile(path);
    EXPECT_FALSE(text.contains("@ByteArray(")) << text.data();
    EXPECT_TRUE(text.contains("KZVPlayer\\m_strPlain=sz:/home/u/Image\n")) << text.data();
    EXPECT_TRUE(text.contains("Other\\kept=dword:00000003\n")) << text.data();
    EXPECT_TRUE(text.contains("KZVPlayer\\m_notTyped=text\n")) << "left as it was";
    auto key = IniRegistryStore(path).OpenKey("SOFTWARE\\KZVPlayer\\");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryDword("m_nIEFilterSize"), 250u);
    EXPECT_EQ(key->QueryString("m_strSavedDirectory", 260), narrow.mid(3));
    EXPECT_EQ(key->QueryDword("m_bAutoPlay"), 1u);
    EXPECT_EQ(IniRegistryStore(path).OpenKey("SOFTWARE\\Other")->QueryDword("kept"), 3u);
}

// Two keys open at once (two windows, two processes): each close adds its own changes to what
// is on disk by then.
TEST(Registry, ConcurrentKeysKeepEachOthersChanges) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("registry.ini");
    IniRegistryStore store(path);
    auto a = store.OpenKey("SOFTWARE\\KZVPlayer\\");
    auto b = IniRegistryStore(path).OpenKey("SOFTWARE\\KZVPlayer\\");
    ASSERT_TRUE(a && b);
    a->SetDword("fromA", 1);
    b->SetDword("fromB", 2);
    a.reset();
    b.reset();
    auto key = store.OpenKey("SOFTWARE\\KZVPlayer");
    EXPECT_EQ(key->QueryDword("fromA"), 1u);
    EXPECT_EQ(key->QueryDword("fromB"), 2u);
    EXPECT_FALSE(QFileInfo::exists(path + ".lock"));
}

// Files edited by hand: a byte-order mark, keys before any section, CR LF line ends.
TEST(Registry, HandEditedFilesAreRead) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("registry.ini");
    ASSERT_TRUE(WriteFile(path, "\xEF\xBB\xBFtop=dword:00000002\r\n[SOFTWARE]\r\n"
                                "KZVPlayer\\m_bAutoPlay = dword:00000001\r\n"));
    {
        auto root = IniRegistryStore(path).OpenKey("");
        ASSERT_TRUE(root);
        EXPECT_EQ(root->QueryDword("top"), 2u);
        EXPECT_TRUE(root->SetDword("second", 3));
    }
    auto key = IniRegistryStore(path).OpenKey("SOFTWARE\\KZVPlayer\\");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryDword("m_bAutoPlay"), 1u);
    EXPECT_EQ(ReadFile(path).toStdString(),
              "top=dword:00000002\nsecond=dword:00000003\n"
              "[SOFTWARE]\nKZVPlayer\\m_bAutoPlay = dword:00000001\n");
}

TEST(Registry, OversizedOrBinaryFilesAreDamaged) {
    QTemporaryDir tmp;
    const QString big = tmp.filePath("big.ini");
    ASSERT_TRUE(WriteFile(big, "[K]\nx=sz:" + QByteArray(5 * 1024 * 1024, 'a') + "\n"));
    EXPECT_FALSE(IniRegistryStore(big).OpenKey("K"));
    const QString binary = tmp.filePath("bin.ini");
    ASSERT_TRUE(WriteFile(binary, QByteArray("[K]\nx=dword:1\n\0\n", 16)));
    EXPECT_FALSE(IniRegistryStore(binary).OpenKey("K"));
    const QString header = tmp.filePath("header.ini");
    ASSERT_TRUE(WriteFile(header, "[K\nx=dword:1\n"));
    EXPECT_FALSE(IniRegistryStore(header).OpenKey("K"));
}

TEST(Profile, SectionsOfIntsStringsAndBytes) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("profile.ini");
    {
        ProfileStore p(path);
        EXPECT_EQ(p.GetProfileInt("KZPlayer", "m_bNetSearchView", 0), 0);
        EXPECT_EQ(p.GetProfileString("KZPlayer", "m_strMp3InitDir", "c:\\"), "c:\\");
        p.WriteProfileInt("KZPlayer", "m_intBackColor", 0x00FF8040);
        p.WriteProfileString("KZPlayer", "m_strTplDefaultDir", QStringLiteral("/家/列表/"));
        p.WriteProfileBinary("BarState", "state", QByteArray("\x00\x01\xFF", 3));
        p.Flush();
    }
    ProfileStore p(path);
    EXPECT_EQ(p.GetProfileInt("KZPlayer", "m_intBackColor", 0), 0x00FF8040);
    EXPECT_EQ(p.GetProfileString("KZPlayer", "m_strTplDefaultDir"), QStringLiteral("/家/列表/"));
    EXPECT_EQ(p.GetProfileBinary("BarState", "state"), QByteArray("\x00\x01\xFF", 3));
    EXPECT_EQ(ProfileStore::DefaultPath(), ConfigHome() + "/KZPlayer/profile.ini");
    EXPECT_TRUE(ProfileStore::OldDefaultPath().endsWith(
        QStringLiteral("/应用程序向导生成的本地应用程序/Vobi Flash 播放器.ini")));
}

// Every setting lives under the program's own folder: the store of older versions is read into
// the new one while that is missing, and left as it was.
TEST(Profile, TheOldStoreIsTakenOverOnceAndLeftAlone) {
    TestHome();
    const QString store = ProfileStore::DefaultPath(), old = ProfileStore::OldDefaultPath();
    QFile::remove(store);
    ASSERT_TRUE(WriteFile(old, "[KZPlayer]\nm_intBackColor=255\nm_nNetSearchEngine=2\n"));
    QFile::setPermissions(old, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                   QFile::ReadOther);
    const QByteArray oldBytes = ReadFile(old);
    const QDateTime oldTime = QFileInfo(old).lastModified();
    {
        ProfileStore p;
        EXPECT_EQ(p.GetProfileInt("KZPlayer", "m_intBackColor", 0), 255);
        EXPECT_EQ(p.GetProfileInt("KZPlayer", "m_nNetSearchEngine", 0), 2);
        p.WriteProfileInt("KZPlayer", "m_intBackColor", 7);
        p.Flush();
    }
    EXPECT_EQ(ModeOf(store), 0600);
    EXPECT_EQ(ReadFile(old), oldBytes);
    EXPECT_EQ(QFileInfo(old).lastModified(), oldTime);
    // Once the new store is there the old one is not read again.
    ASSERT_TRUE(WriteFile(old, "[KZPlayer]\nm_intBackColor=9\n"));
    EXPECT_EQ(ProfileStore().GetProfileInt("KZPlayer", "m_intBackColor", 0), 7);
    EXPECT_EQ(ProfileStore().GetProfileInt("KZPlayer", "m_nNetSearchEngine", 0), 2);
    // Without an old store the new one starts empty.
    QFile::remove(store);
    QFile::remove(old);
    EXPECT_EQ(ProfileStore().GetProfileInt("KZPlayer", "m_intBackColor", -1), -1);
    EXPECT_FALSE(QFileInfo::exists(old));
    QFile::remove(store);
}

// The settings tell folders, addresses and habits: both stores are the user's alone, also
// over files an older version left open to all.
TEST(Profile, BothStoresAreTheUsersAlone) {
    QTemporaryDir tmp;
    const QString profile = tmp.filePath("cfg/KZPlayer/profile.ini");
    {
        ProfileStore p(profile);
        p.WriteProfileInt("KZPlayer", "m_intBackColor", 1);
        p.Flush();
    }
    EXPECT_EQ(ModeOf(profile), 0600);
    ASSERT_EQ(chmod(QFile::encodeName(profile).constData(), 0644), 0);
    {
        ProfileStore p(profile);
        p.WriteProfileInt("KZPlayer", "m_intBackColor", 2);
        p.Flush();
    }
    EXPECT_EQ(ModeOf(profile), 0600);
    EXPECT_EQ(ProfileStore(profile).GetProfileInt("KZPlayer", "m_intBackColor", 0), 2);

    const QString fresh = tmp.filePath("cfg/KZPlayer/registry.ini");
    const QString old = tmp.filePath("old/registry.ini");
    ASSERT_TRUE(WriteFile(old, "[K]\nx=dword:00000001\n"));
    ASSERT_EQ(chmod(QFile::encodeName(old).constData(), 0644), 0);
    for (const QString &path : {fresh, old}) {
        IniRegistryStore store(path);
        auto key = store.OpenKey("K");
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->SetDword("y", 2));
        key.reset();
        EXPECT_EQ(ModeOf(path), 0600) << path.toStdString();
    }
}
