#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UserDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kz;

TEST(Paths, SplitsOnTheLastSeparatorAndDot) {
    EXPECT_EQ(FileNameOf("/a/b/c.swf"), "c.swf");
    EXPECT_EQ(FileNameOf("c.swf"), "c.swf");
    EXPECT_EQ(FileNameOf("/a/b/"), "");
    EXPECT_EQ(BaseNameOf("/a/b/movie.part.SWF"), "movie.part");
    EXPECT_EQ(BaseNameOf("/a.dir/noext"), ""); // the dot of a folder is not the file's
    EXPECT_EQ(ExtensionOf("/a/b/Movie.SWF"), "swf");
    EXPECT_EQ(ExtensionOf("/a/b/noext"), "");
    EXPECT_EQ(FolderWithSep("/a/b/c.swf"), "/a/b/");
    EXPECT_EQ(FolderWithoutSep("/a/b/c.swf"), "/a/b");
    EXPECT_EQ(FolderWithSep("c.swf"), "");
    EXPECT_EQ(FolderWithoutSep("c.swf"), "");
    EXPECT_EQ(WithTrailingSep("/x"), "/x/");
    EXPECT_EQ(WithTrailingSep("/x/"), "/x/");
}

TEST(Paths, ExtensionIsTakenFromTheWholeText) {
    // The rule looks at the last dot of the text, so a dotted folder and a plain file name
    // give the folder's tail: callers that care pass a file name.
    EXPECT_EQ(ExtensionOf("/lists/fun.tpl/abc"), "tpl/abc");
    EXPECT_EQ(ExtensionOf(FileNameOf("/lists/fun.tpl/abc")), "");
}

TEST(Paths, MakeSureDirectoryPathCreatesTheFoldersBeforeTheLastSeparator) {
    QTemporaryDir tmp;
    const QString file = tmp.filePath("x/y/z/image.jpg");
    ASSERT_TRUE(MakeSureDirectoryPathExists(file));
    EXPECT_TRUE(QFileInfo(tmp.filePath("x/y/z")).isDir());
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST(Paths, ProgramDirEndsWithSeparatorAndCanBeOverridden) {
    const QString real = ProgramDir();
    EXPECT_TRUE(real.endsWith('/'));
    EXPECT_TRUE(QFileInfo(real).isDir());
    SetProgramDirOverride("/some/where");
    EXPECT_EQ(ProgramDir(), "/some/where/");
    SetProgramDirOverride(QString());
    EXPECT_EQ(ProgramDir(), real);
}

// The XDG rules: an absolute value counts, a relative or empty one falls back under the home.
TEST(UserDirs, FollowTheXdgVariablesWhenAbsolute) {
    struct Case {
        const char *variable;
        QString (*folder)();
        const char *underHome;
    };
    const Case cases[] = {{"XDG_CONFIG_HOME", ConfigHome, "/.config"},
                          {"XDG_DATA_HOME", DataHome, "/.local/share"},
                          {"XDG_CACHE_HOME", CacheHome, "/.cache"}};
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    for (const Case &c : cases) {
        const QByteArray saved = qgetenv(c.variable);
        qputenv(c.variable, "/x/y/");
        EXPECT_EQ(c.folder(), "/x/y") << c.variable;
        qputenv(c.variable, "relative/ignored");
        EXPECT_EQ(c.folder(), QString("/home/someone") + c.underHome) << c.variable;
        qputenv(c.variable, "");
        EXPECT_EQ(c.folder(), QString("/home/someone") + c.underHome) << c.variable;
        qunsetenv(c.variable);
        EXPECT_EQ(c.folder(), QString("/home/someone") + c.underHome) << c.variable;
        if (!saved.isNull())
            qputenv(c.variable, saved);
    }
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/d");
    EXPECT_EQ(UserDataDir(), "/d/KZPlayer/");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataDir(), "/home/someone/.local/share/KZPlayer/");
    if (!savedData.isNull())
        qputenv("XDG_DATA_HOME", savedData);
    qputenv("HOME", savedHome);
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_base.isValid());
        m_saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_base.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("TMPDIR", m_saved); }
    QString Expected() const { return m_base.path() + QStringLiteral("/KZPlayer-%1/").arg(getuid()); }
    QTemporaryDir m_base;
    QByteArray m_saved;
};

TEST_F(TempFolderTest, IsPrivateAndReused) {
    const QString dir = TempFolder();
    ASSERT_EQ(dir, Expected());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(TempFolder(), dir);
}

TEST_F(TempFolderTest, TightensAnOpenFolderOfOurOwn) {
    QDir().mkpath(Expected());
    ::chmod(QFile::encodeName(Expected()).constData(), 0777);
    ASSERT_EQ(TempFolder(), Expected());
    struct stat st {};
    ::stat(QFile::encodeName(Expected()).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TempFolderTest, RefusesALinkOrAFileInItsPlace) {
    QTemporaryDir elsewhere;
    const QString link = Expected().chopped(1);
    ASSERT_TRUE(QFile::link(elsewhere.path(), link));
    EXPECT_EQ(TempFolder(), QString());
    QFile::remove(link);
    QFile f(link);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(TempFolder(), QString());
}

TEST(TextCodec, GbkRoundTripsChineseText) {
    const QString text = QStringLiteral("我最喜爱的列表 abc");
    const QByteArray gbk = ToGbk(text);
    // 7 Chinese characters take two bytes each in GBK, then " abc".
    EXPECT_EQ(gbk.size(), 7 * 2 + 4);
    EXPECT_EQ(quint8(gbk[0]), 0xCE); // 我 = CE D2
    EXPECT_EQ(quint8(gbk[1]), 0xD2);
    EXPECT_EQ(FromGbk(gbk), text);
}
