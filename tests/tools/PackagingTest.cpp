// Projector and screensaver packaging: layout, round trips, trailers that do not fit, and the
// screensaver folder and settings.

#include "tools/Packaging.h"
#include "ToolsTestSupport.h"
#include "platform/Paths.h"
#include "platform/launcher/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QByteArray Pattern(int n, std::uint32_t seed) {
    QByteArray b(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 24);
    }
    return b;
}

QByteArray TrailerFor(std::uint32_t m) {
    QByteArray t("\x56\x34\x12\xFA", 4);
    for (int i = 0; i < 4; ++i)
        t.append(char((m >> (8 * i)) & 0xFF));
    return t;
}

// A program directory with stand-in stubs, and a private data folder for screensavers.
class Packaging : public ::testing::Test {
protected:
    void SetUp() override {
        m_projectorStub = Pattern(3000, 1);
        m_saverStub = Pattern(10240, 2); // exactly one chunk
        ASSERT_TRUE(WriteFile(m_program.filePath(kProjectorStubName), m_projectorStub));
        ASSERT_TRUE(WriteFile(m_program.filePath(kScreenSaverStubName), m_saverStub));
        SetProgramDirOverride(m_program.path());
        m_oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    }
    void TearDown() override {
        SetProgramDirOverride(QString());
        qputenv("XDG_DATA_HOME", m_oldData);
    }
    QString Out() const { return m_out.path() + u'/'; }

    QTemporaryDir m_program, m_data, m_in, m_out;
    QByteArray m_projectorStub, m_saverStub, m_oldData;
};

} // namespace

TEST_F(Packaging, ProjectorLayoutAndRoundTripAroundBlockSizes) {
    for (const int size : {0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 10239, 10240, 10241, 70000}) {
        const QByteArray movie = Pattern(size, std::uint32_t(size));
        const QString path = m_in.filePath(QStringLiteral("m%1.swf").arg(size));
        ASSERT_TRUE(WriteFile(path, movie));
        QString exe;
        ASSERT_TRUE(MakeProjector(path, Out(), &exe)) << size;
        EXPECT_EQ(exe, Out() + QStringLiteral("m%1.exe").arg(size));
        const QByteArray packed = ReadFile(exe);
        EXPECT_EQ(packed, m_projectorStub + movie + TrailerFor(std::uint32_t(size))) << size;
        EXPECT_TRUE(QFile::permissions(exe) & QFile::ExeOwner);

        QTemporaryDir back;
        QString swf;
        ASSERT_TRUE(ExtractMovieFromProjector(exe, back.path() + u'/', &swf)) << size;
        EXPECT_EQ(swf, back.path() + QStringLiteral("/m%1.swf").arg(size));
        EXPECT_TRUE(ReadFile(swf) == movie) << size;
    }
}

TEST_F(Packaging, ScreenSaverGoesToItsFolderAndExtractsLikeAProjector) {
    const QString folder = m_data.path() + "/KZPlayer/screensavers/";
    ASSERT_FALSE(QFileInfo::exists(folder));
    for (const int size : {0, 5, 10240, 20480, 20481}) {
        const QByteArray movie = Pattern(size, 9);
        const QString path = m_in.filePath(QStringLiteral("s%1.swf").arg(size));
        ASSERT_TRUE(WriteFile(path, movie));
        QString scr;
        ASSERT_TRUE(MakeScreenSaver(path, &scr)) << size;
        EXPECT_EQ(scr, folder + QStringLiteral("s%1.scr").arg(size));
        EXPECT_EQ(ReadFile(scr), m_saverStub + movie + TrailerFor(std::uint32_t(size)));

        const QString renamed = m_in.filePath(QStringLiteral("s%1.exe").arg(size));
        ASSERT_TRUE(QFile::copy(scr, renamed));
        QString swf;
        ASSERT_TRUE(ExtractMovieFromProjector(renamed, Out(), &swf));
        EXPECT_TRUE(ReadFile(swf) == movie) << size;
    }
    EXPECT_EQ(ScreenSaverFolder(), folder);
}

TEST_F(Packaging, MissingStubsMakeNothing) {
    const QString movie = m_in.filePath("m.swf");
    ASSERT_TRUE(WriteFile(movie, "FWS movie"));
    QFile::remove(m_program.filePath(kProjectorStubName));
    QFile::remove(m_program.filePath(kScreenSaverStubName));
    EXPECT_FALSE(MakeProjector(movie, Out()));
    EXPECT_FALSE(MakeScreenSaver(movie));
    EXPECT_TRUE(FilesIn(m_out.path()).isEmpty());
    EXPECT_TRUE(FilesIn(ScreenSaverFolder()).isEmpty());
    // And a movie that cannot be read, or an output folder that does not exist.
    ASSERT_TRUE(WriteFile(m_program.filePath(kProjectorStubName), "stub"));
    EXPECT_FALSE(MakeProjector(m_in.filePath("missing.swf"), Out()));
    EXPECT_FALSE(MakeProjector(movie, Out() + "nope/"));
    EXPECT_TRUE(FilesIn(m_out.path()).isEmpty());
}

TEST_F(Packaging, TrailersThatDoNotFitLeaveNoOutput) {
    const auto expectRefused = [&](const QByteArray &bytes, const char *why) {
        const QString path = m_in.filePath("p.exe");
        ASSERT_TRUE(WriteFile(path, bytes));
        EXPECT_FALSE(ExtractMovieFromProjector(path, Out())) << why;
        EXPECT_TRUE(FilesIn(m_out.path()).isEmpty()) << why;
    };
    expectRefused(QByteArray(), "empty");
    expectRefused("\x56\x34\x12", "shorter than a trailer");
    expectRefused(Pattern(5000, 3), "no magic");
    expectRefused("stub" + TrailerFor(5), "length beyond the file");
    expectRefused(TrailerFor(1), "length of the trailer itself");
    expectRefused(QByteArray("ab") + TrailerFor(0xFFFFFFFF), "huge length");
    EXPECT_FALSE(ExtractMovieFromProjector(m_in.filePath("missing.exe"), Out()));

    // A movie exactly as long as what precedes the trailer, and an empty movie.
    const QString path = m_in.filePath("bare.exe");
    ASSERT_TRUE(WriteFile(path, "abc" + TrailerFor(3)));
    ASSERT_TRUE(ExtractMovieFromProjector(path, Out()));
    EXPECT_EQ(ReadFile(m_out.filePath("bare.swf")), "abc");
    ASSERT_TRUE(WriteFile(path, "abc" + TrailerFor(0)));
    ASSERT_TRUE(ExtractMovieFromProjector(path, Out()));
    EXPECT_EQ(ReadFile(m_out.filePath("bare.swf")), QByteArray());
}

TEST_F(Packaging, OutputsAreReplacedOnlyBySuccess) {
    const QString movie = m_in.filePath("intro.swf");
    ASSERT_TRUE(WriteFile(movie, "FWS v1"));
    ASSERT_TRUE(WriteFile(m_out.filePath("intro.exe"), "old program"));
    ASSERT_TRUE(MakeProjector(movie, Out()));
    EXPECT_EQ(ReadFile(m_out.filePath("intro.exe")), m_projectorStub + "FWS v1" + TrailerFor(6));

    // A failed extraction keeps the movie already there; a good one replaces it.
    ASSERT_TRUE(WriteFile(m_out.filePath("intro.swf"), "precious"));
    ASSERT_TRUE(WriteFile(m_in.filePath("intro.exe"), "not a projector at all"));
    EXPECT_FALSE(ExtractMovieFromProjector(m_in.filePath("intro.exe"), Out()));
    EXPECT_EQ(ReadFile(m_out.filePath("intro.swf")), "precious");
    EXPECT_TRUE(ExtractMovieFromProjector(m_out.filePath("intro.exe"), Out()));
    EXPECT_EQ(ReadFile(m_out.filePath("intro.swf")), "FWS v1");
    EXPECT_EQ(FilesIn(m_out.path()), (QStringList{"intro.exe", "intro.swf"}));

    // Packaging a file onto itself reads it whole before replacing it.
    EXPECT_TRUE(MakeProjector(m_out.filePath("intro.exe"), Out()));
    const QByteArray twice = ReadFile(m_out.filePath("intro.exe"));
    EXPECT_TRUE(twice.startsWith(m_projectorStub + m_projectorStub));
}

TEST(DesktopSettings, StartsTheFirstSettingsProgramThatIsThere) {
    FakeLauncher fake;
    LauncherScope scope(&fake);
    // Nothing installed: nothing starts, and the install command stays quiet.
    InstallScreenSaver();
    EXPECT_TRUE(fake.started.isEmpty());
    EXPECT_FALSE(OpenDesktopSettings(DesktopSettingsPage::ScreenSaver));

    fake.installed = {"xscreensaver-settings", "gnome-control-center", "cinnamon-settings"};
    fake.failing = {"cinnamon-settings"};
    InstallScreenSaver();
    ASSERT_EQ(fake.started.size(), 1);
    EXPECT_EQ(fake.started[0],
              (LaunchCommand{"/fake/bin/gnome-control-center", QStringList{"privacy"}}));

    fake.started.clear();
    EXPECT_TRUE(OpenDesktopSettings(DesktopSettingsPage::Wallpaper));
    ASSERT_EQ(fake.started.size(), 1);
    EXPECT_EQ(fake.started[0],
              (LaunchCommand{"/fake/bin/gnome-control-center", QStringList{"background"}}));
    // Every page has candidates, and no program appears twice on one page.
    for (const auto page : {DesktopSettingsPage::Wallpaper, DesktopSettingsPage::ScreenSaver}) {
        const auto cmds = DesktopSettingsCommands(page);
        EXPECT_GE(cmds.size(), 3);
        QStringList programs;
        for (const auto &c : cmds)
            programs << c.program;
        programs.removeDuplicates();
        EXPECT_EQ(programs.size(), cmds.size());
    }
}
