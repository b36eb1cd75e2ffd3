// The real stub under a display: a movie packaged by kztool runs as a program, a screensaver
// quits on a key, and a stub without a movie says so.

#include "support/E2eSupport.h"
#include "support/KztoolRunner.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <set>

using namespace kz::test;

namespace {

QString ShotPath(const QString &name) {
    const QString dir = QDir::tempPath() + "/kz-e2e-shots";
    QDir().mkpath(dir);
    return dir + "/" + name + ".png";
}

QImage Shot(const QString &name) {
    return ScreenShot(ShotPath(name));
}

// The share of sampled pixels that are not the empty screen's black.
double Covered(const QImage &img) {
    int lit = 0, all = 0;
    for (int y = 0; y < img.height(); y += 8)
        for (int x = 0; x < img.width(); x += 8, ++all)
            lit += qGray(img.pixel(x, y)) > 16;
    return all ? double(lit) / all : 0;
}

// Window ids of visible windows whose title contains the text.
QStringList Windows(const QString &title) {
    QProcess p;
    p.start("xdotool", {"search", "--onlyvisible", "--name", title});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void Stop(QProcess &p) {
    if (p.state() != QProcess::NotRunning) {
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
}

} // namespace

TEST(ProjectorE2e, APackagedCorpusMovieRunsAsAProgram) {
    QTemporaryDir home;
    const QString movie = CorpusDir() + "/acid_acid-gradient.swf";
    ASSERT_TRUE(QFile::exists(movie));
    const ToolRun made = RunKztool({"exe", movie, home.path()});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString program = home.filePath("acid_acid-gradient.exe");
    ASSERT_TRUE(QFileInfo(program).isExecutable());

    QProcess p;
    p.setProcessEnvironment(PrivateEnvironment(home.path()));
    p.start(program, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    // The window carries the movie's name and shows the movie.
    EXPECT_TRUE(SleepUntil([] { return !Windows("acid_acid-gradient.swf").isEmpty(); }, 20000));
    // Drawn once the engine has started, however long a loaded machine takes.
    QImage shot;
    SleepUntil(
        [&] {
            shot = Shot("projector-window");
            return DistinctColours(shot) > 20;
        },
        60000);
    EXPECT_GT(DistinctColours(shot), 20);
    EXPECT_EQ(p.state(), QProcess::Running);
    Stop(p);
}

TEST(ProjectorE2e, AScreenSaverQuitsOnAKey) {
    QTemporaryDir home;
    QProcessEnvironment env = PrivateEnvironment(home.path());
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(BinDir() + "/kztool", {"scr", QDir(BinDir()).filePath("inflash/nonexist.swf")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QString saver = home.filePath("data/KZPlayer/screensavers/nonexist.scr");
    ASSERT_TRUE(QFile::exists(saver));

    QProcess p;
    p.setProcessEnvironment(env);
    p.start(saver, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(SleepUntil([] { return !Windows("nonexist.swf").isEmpty(); }, 20000));
    QImage shot;
    SleepUntil(
        [&] {
            shot = Shot("screensaver");
            return DistinctColours(shot) > 10 && Covered(shot) > 0.95;
        },
        60000);
    EXPECT_GT(DistinctColours(shot), 10);
    EXPECT_GT(Covered(shot), 0.95); // the movie covers the screen
    ASSERT_EQ(p.state(), QProcess::Running);
    const QString win = Windows("nonexist.swf").first();
    QProcess::execute("xdotool", {"windowactivate", "--sync", win});
    QProcess::execute("xdotool", {"key", "--window", win, "space"});
    // The window goes on the key going down; the key must not stay down on the display (its
    // auto-repeat would reach the next test's windows).
    QProcess::execute("xdotool", {"keyup", "space"});
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    Stop(p);
}

TEST(ProjectorE2e, AStubWithoutAMovieSaysSo) {
    QTemporaryDir home;
    const QString stub = home.filePath("Vantrel.dat");
    ASSERT_TRUE(QFile::copy(QDir(BinDir()).filePath("Vantrel.dat"), stub));
    QFile::setPermissions(stub, QFile::permissions(stub) | QFile::ExeOwner);
    QProcess p;
    p.setProcessEnvironment(PrivateEnvironment(home.path()));
    p.start(stub, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    // The message box stays until it is answered; the program then ends with a failure.
    ASSERT_TRUE(SleepUntil([] { return !Windows("Vobi Flash").isEmpty(); }, 20000));
    Shot("projector-no-movie");
    const QString win = Windows("Vobi Flash").first();
    QProcess::execute("xdotool", {"windowactivate", "--sync", win});
    QProcess::execute("xdotool", {"key", "--window", win, "Return"});
    // The window goes on the key going down; the key must not stay down on the display (its
    // auto-repeat would reach the next test's windows).
    QProcess::execute("xdotool", {"keyup", "Return"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    Stop(p);
}
