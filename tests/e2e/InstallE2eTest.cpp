// The installed program: `cmake --install` into a fresh prefix gives the programs on the path as
// links into the program directory, what the program directory ships, the desktop entry, the
// icon and the MIME types; the installed player, started through its link, plays a corpus movie
// and keeps its lists in the user's data folder, never in the program directory.

#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include "platform/TextRecords.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// Runs a program to its end; its exit code, or -1 when it did not finish normally.
int RunProgram(const QString &program, const QStringList &args, QByteArray *output = nullptr,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = p.readAll();
    return p.exitCode();
}

// Pixels of the blue of the corpus movie's ball.
int Blue(const QImage &img) {
    int blue = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) {
            const QColor c = img.pixelColor(x, y);
            blue += c.blue() > 150 && c.red() < 60 && c.green() < 160;
        }
    return blue;
}

} // namespace

TEST(InstallE2e, InstalledPlayerPlaysAMovieFromAReadOnlyProgramDirectory) {
    QTemporaryDir prefix, home, out;
    QByteArray log;
    ASSERT_EQ(RunProgram(QStringLiteral(KZ_CMAKE_COMMAND),
                         {"--install", QStringLiteral(KZ_BUILD_DIR), "--prefix", prefix.path()},
                         &log),
              0)
        << log.toStdString();

    const QString program = prefix.filePath("lib/kzplayer/");
    for (const char *name :
         {"KZPlayer", "kztool", "vupdate", "kzplayer.packaged", "Vantrel.dat", "VSaver.data",
          "sample.tpl", "res/KZPlayer.png", "res/Vobi_Flash_Error.html",
          "res/Vobi_Flash_Waitting.html", "inflash/nonexist.swf", "inflash/errorfmat.swf",
          "inweb/bindex.html", "ruffle/ruffle.js"})
        EXPECT_TRUE(QFileInfo(program + name).isFile()) << name;
    for (const char *name : {"KZPlayer", "kztool", "vupdate", "Vantrel.dat", "VSaver.data"})
        EXPECT_TRUE(QFileInfo(program + name).isExecutable()) << name;
    EXPECT_FALSE(QFileInfo::exists(program + "ruffle/.staged"));
    for (const char *name : {"KZPlayer", "kztool"}) {
        const QFileInfo link(prefix.filePath(QStringLiteral("bin/") + name));
        EXPECT_TRUE(link.isSymLink()) << name;
        EXPECT_EQ(link.symLinkTarget(), QFileInfo(program + name).canonicalFilePath()) << name;
    }
    const QByteArray desktop = ReadFile(prefix.filePath("share/applications/kzplayer.desktop"));
    EXPECT_TRUE(desktop.contains("Exec=KZPlayer %f")) << desktop.toStdString();
    EXPECT_TRUE(desktop.contains("application/x-kzplayer-tpl;"));
    EXPECT_FALSE(QImage(prefix.filePath("share/icons/hicolor/64x64/apps/kzplayer.png")).isNull());
    const QByteArray mime = ReadFile(prefix.filePath("share/mime/packages/kzplayer.xml"));
    EXPECT_TRUE(mime.contains("<glob pattern=\"*.tpl\"/>"));
    EXPECT_TRUE(mime.contains("<glob pattern=\"*.swf\"/>"));

    // What an installed copy is: nobody writes to it.
    RunProgram("chmod", {"-R", "a-w", program});
    const QProcessEnvironment env = PrivateEnvironment(home.path());

    // The companion, through its link, finds the stubs in the program directory.
    const QString movie = QDir(CorpusDir()).filePath("examples_timeline_Simple.swf");
    ASSERT_TRUE(QFileInfo(movie).isFile());
    EXPECT_EQ(RunProgram(prefix.filePath("bin/kztool"), {"exe", movie, out.path()}, &log, env), 0)
        << log.toStdString();
    EXPECT_TRUE(QFileInfo(out.filePath("examples_timeline_Simple.exe")).isExecutable());

    QProcess player;
    player.setProcessEnvironment(env);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(prefix.filePath("bin/KZPlayer"), {movie});
    ASSERT_TRUE(player.waitForStarted());
    ASSERT_TRUE(
        SleepUntil([&] { return QFile::exists(home.filePath("run/KZPlayer.socket")); }, 60000))
        << "the installed player never got ready";
    // However long a loaded machine takes to start the engine, the movie comes to move.
    QImage a, b;
    SleepUntil(
        [&] {
            a = ScreenShot(home.filePath("a.png"));
            QThread::msleep(700);
            b = ScreenShot(home.filePath("b.png"));
            // The movie's blue ball is on the screen and it moves.
            return Blue(a) > 50 && Blue(b) > 50 && a != b;
        },
        60000);
    ASSERT_FALSE(a.isNull());
    a.save(QDir::temp().filePath("kz-installed-player.png"));
    EXPECT_GT(DistinctColours(a), 10) << "nothing drawn";
    EXPECT_GT(Blue(a), 50) << "the movie is not on the screen";
    EXPECT_NE(a, b) << "the movie does not play";
    player.terminate();
    if (!player.waitForFinished(20000)) {
        player.kill();
        player.waitForFinished();
        ADD_FAILURE() << "the player did not close";
    }

    EXPECT_EQ(ReadTextRecordFile(home.filePath("data/KZPlayer/1list.ini")), QStringList{movie});
    for (const char *name : {"1list.ini", "2list.ini", "MyFavo.tpl", "Image"})
        EXPECT_FALSE(QFileInfo::exists(program + name)) << name;
    RunProgram("chmod", {"-R", "u+w", prefix.path()});
}
