#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

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
    auto key = store.OpenKey("SOFTWARE\\KZVPlayer\\");
    if (key) {
        EXPECT_FALSE(key->QueryDword("m_nIEFilterSize"));
        EXPECT_FALSE(key->QueryDword("m_bTaskBar"));
    }
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
    EXPECT_TRUE(ProfileStore::DefaultPath().endsWith(
        QStringLiteral("/应用程序向导生成的本地应用程序/Vobi Flash 播放器.ini")));
}
