// Playback with the real controls under a display: the player started with a movie plays it,
// a web movie from a loopback server loads to 100 with its header, and a list of three short
// movies with auto play and list loop plays them in turn.

#include "controls/MacSliderCtrl.h"
#include "formats/swf/SwfWriter.h"
#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "platform/power/PowerSaving.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/E2eSupport.h"
#include "support/RealFrame.h"
#include "support/RowsDrawn.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>
#include <set>

using namespace kz;

namespace {

using namespace kz::test;

// A short animated movie: a square crossing the stage, `frames` frames at 12 a second.
QByteArray Animated(int frames, QColor colour) {
    return AnimatedSquare(frames, colour, 60);
}

// "帧信息：f/n" of the information line: f, or -1 when it does not show.
int FrameShown(const QString &info) {
    static const QRegularExpression re(QStringLiteral("帧信息：(-?\\d+)/(\\d+)"));
    const auto m = re.match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

using Frame = RealFrame;

// The view's shot, judged at the margin beside the stage: halfway between the view's edge (or
// the information line) and the control when the control leaves room there, else at the
// control's own edge (the page's margin around a stage narrower than the control).
QRgb MarginBesideTheStage(const Frame &f, const char *shotName) {
    const QImage shot = f.frame->View()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    shot.save(QDir::temp().filePath(QString::fromLatin1(shotName)));
    const QRect c = f.flash->geometry();
    const QLabel *info = f.frame->View()->InfoLine();
    const int top = info->isVisible() ? info->geometry().bottom() + 1 : 0;
    if (c.left() > 4)
        return shot.pixel(c.left() / 2, c.center().y()) & 0xFFFFFF;
    if (c.top() - top > 4)
        return shot.pixel(c.center().x(), (top + c.top()) / 2) & 0xFFFFFF;
    return shot.pixel(c.left() + 2, c.center().y()) & 0xFFFFFF;
}

} // namespace

TEST(PlaybackE2e, ThePlayerStartedWithAMoviePlaysIt) {
    KeepStateFiles keep;
    QTemporaryDir home;
    const QString movie = home.filePath("start.swf");
    ASSERT_TRUE(test::WriteFile(movie, Animated(48, Qt::yellow)));
    // No session bus: the player starts and plays without the desktop's media panel.
    QProcessEnvironment env = test::PrivateEnvironment(home.path());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    QProcess player;
    player.setProcessEnvironment(env);
    player.start(QDir(test::BinDir()).filePath("KZPlayer"), {movie});
    ASSERT_TRUE(player.waitForStarted());
    ASSERT_TRUE(
        PumpUntil([&] { return QFile::exists(home.filePath("run/KZPlayer.socket")); }, 60000));
    // The movie plays: its own colour comes on the screen (however long a loaded machine takes
    // to start the engine), and the screen keeps changing where the home page would stand still.
    auto shot = [&](const QString &name) { return test::ScreenShot(home.filePath(name)); };
    QImage a;
    int yellow = 0;
    SleepUntil(
        [&] {
            a = shot("a.png");
            yellow = test::CountNear(a, Qt::yellow);
            return yellow > 50;
        },
        60000);
    QThread::msleep(700);
    const QImage b = shot("b.png");
    ASSERT_FALSE(a.isNull());
    a.save(QDir::temp().filePath("kz-playback-start.png"));
    EXPECT_NE(a, b) << "nothing moves on the screen";
    EXPECT_GT(yellow, 50) << "the movie is not on the screen";
    // Once the movie has drawn a moment, its thumbnail is where file managers look, under the
    // standard's name, and shows the movie.
    const QString uri = QUrl::fromLocalFile(movie).toString(QUrl::FullyEncoded);
    const QString thumb = home.filePath(
        "cache/thumbnails/normal/" +
        QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex() + ".png");
    EXPECT_TRUE(SleepUntil([&] { return QFile::exists(thumb); }, 15000)) << "no thumbnail";
    const QImage picture(thumb);
    EXPECT_EQ(std::max(picture.width(), picture.height()), 128);
    EXPECT_EQ(picture.text("Thumb::URI"), uri);
    EXPECT_GT(test::CountNear(picture, Qt::yellow), 10);
    EXPECT_EQ(player.state(), QProcess::Running);
    player.terminate();
    if (!player.waitForFinished(10000))
        player.kill();
}

TEST(PlaybackE2e, CommandLineMovieInTheViewWithStatusLinePowerSavingAndSkins) {
    QTemporaryDir dir;
    const QString movie = dir.filePath("cmd.swf");
    ASSERT_TRUE(test::WriteFile(movie, Animated(48, Qt::green)));
    auto x11 = CreateX11PowerSettings();
    const std::optional<PowerTimeouts> before = x11->Read();
    ASSERT_TRUE(before.has_value()) << "no X11 display";
    {
        // The display's screen saver is on before the movie.
        PowerTimeouts on = *before;
        on.screenSaver = 600;
        x11->Write(on);
    }
    Frame f(movie);
    ASSERT_NE(f.ctrl, nullptr);
    EXPECT_EQ(f.flash->Movie(), movie);
    EXPECT_EQ(f.ctrl->m_nPlayState, kStatePlaying);
    // The status line follows the frames.
    std::set<int> frames;
    EXPECT_TRUE(PumpUntil(
        [&] {
            const int fr = FrameShown(f.Info());
            if (fr >= 0)
                frames.insert(fr);
            return frames.size() >= 3;
        },
        30000))
        << f.Info().toStdString();
    EXPECT_TRUE(f.Info().contains(u"尺寸：320*240")) << f.Info().toStdString();
    EXPECT_TRUE(f.Info().contains(u"/00:00:04")) << f.Info().toStdString();
    EXPECT_EQ(f.ctrl->Trackbar()->maximum(), 48);
    EXPECT_EQ(x11->Read()->screenSaver, 0) << "the screen saver is off while playing";

    const QImage shot = f.frame->grab().toImage();
    shot.save(QDir::temp().filePath("kz-playback-controller.png"));
    f.ctrl->grab().save(QDir::temp().filePath("kz-playback-controller-only.png"));

    f.ctrl->OnStop();
    EXPECT_EQ(x11->Read()->screenSaver, 600) << "Stop puts the screen saver back";
    x11->Write(*before);
}

TEST(PlaybackE2e, WebMovieLoadsToHundredWithItsHeader) {
    QTemporaryDir site;
    ASSERT_TRUE(test::WriteFile(site.filePath("web.swf"), Animated(240, Qt::red)));
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    QProcess http;
    http.setWorkingDirectory(site.path());
    http.start("/usr/bin/python3",
               {QDir(test::SourceDir()).filePath("tests/support/trickle_http.py"),
                QString::number(port), "20"});
    ASSERT_TRUE(http.waitForStarted());
    QThread::msleep(500);

    Frame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    const QString url = QStringLiteral("http://127.0.0.1:%1/web.swf").arg(port);
    f.ctrl->PlayUrl(url);
    ASSERT_TRUE(PumpUntil([&] { return !f.ctrl->PlayUrlPending(); }, 5000));
    EXPECT_TRUE(f.ctrl->m_bUrlMode);
    QProgressBar *bar = f.frame->View()->LoadingBar();
    std::set<int> seen;
    EXPECT_TRUE(PumpUntil(
        [&] {
            seen.insert(bar->value());
            return bar->value() == 100 && f.ctrl->m_bFullyLoaded;
        },
        60000));
    EXPECT_TRUE(f.ctrl->m_bHeaderKnown);
    EXPECT_EQ(f.ctrl->Header().frameCount, 240);
    EXPECT_EQ(f.ctrl->Header().right - f.ctrl->Header().left, 320);
    int between = 0;
    for (int p : seen)
        between += p > 0 && p < 100;
    EXPECT_GE(between, 1) << "the strip jumped straight to 100";
    EXPECT_TRUE(PumpUntil([&] { return FrameShown(f.Info()) > 0; }, 20000))
        << f.Info().toStdString();
    EXPECT_TRUE(f.Info().contains(u"/00:00:20")) << f.Info().toStdString();
    f.frame->grab().save(QDir::temp().filePath("kz-playback-web.png"));
    http.kill();
    http.waitForFinished();
}

TEST(PlaybackE2e, AListOfThreeMoviesPlaysInTurn) {
    QTemporaryDir dir;
    Frame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    f.frame->PlayList()->RemoveAllRows();
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        const QString path = dir.filePath(QString("clip%1.swf").arg(i));
        ASSERT_TRUE(test::WriteFile(path, Animated(18, colours[i])));
        f.frame->PlayList()->AppendRow(path, FileNameOf(path));
    }
    f.ctrl->m_bAutoPlay = 1;
    f.ctrl->m_nPlayingMode = kModeListLoop;
    f.ctrl->m_nCurrentPlayingItem = 0;
    f.ctrl->OnPlay();
    QList<int> order{f.ctrl->m_nCurrentPlayingItem};
    int highest = -1;
    EXPECT_TRUE(PumpUntil(
        [&] {
            if (f.ctrl->m_nCurrentPlayingItem != order.last())
                order << f.ctrl->m_nCurrentPlayingItem;
            highest = std::max(highest, FrameShown(f.Info()));
            return order.size() >= 4;
        },
        90000))
        << order.size();
    EXPECT_EQ(order.mid(0, 4), (QList<int>{0, 1, 2, 0})) << "rows in turn, then round again";
    EXPECT_GT(highest, 0) << "the frame figures advanced";
    EXPECT_EQ(f.flash->Movie(), dir.filePath("clip0.swf"));
    // The current row is the red one.
    EXPECT_EQ(test::RowsDrawnRed(*f.frame->PlayList()), QList<int>{0});
    f.frame->grab().save(QDir::temp().filePath("kz-playback-list.png"));
}

TEST(PlaybackE2e, TheMarginsBesideTheStageTakeTheMoviesColour) {
    // Two ActionScript 3 movies of a non-white colour narrower than the movie area, and an
    // ActionScript 1 movie.
    struct Case {
        const char *movie;
        QRgb colour;
    };
    const Case cases[] = {{"acid_acid.swf", 0xFF33CC},
                          {"acid_acid-text-6.swf", 0x000000},
                          {"examples_pac_pac.swf", 0x003366}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.movie);
        Frame f(QDir(test::CorpusDir()).filePath(QString::fromLatin1(c.movie)));
        ASSERT_TRUE(PumpUntil([&] { return f.flash->ReadyState() == kReadyComplete; }, 30000));
        Pump(1500);
        ASSERT_LT(f.flash->width(), f.frame->View()->width()) << "no room beside the stage";
        EXPECT_EQ(MarginBesideTheStage(f, "kz-margin-window.png"), c.colour) << "in the window";

        ASSERT_TRUE(f.frame->Commands().Execute(ID_FULL_SCREEN));
        PumpUntil([&] { return f.frame->isFullScreen(); }, 2000);
        Pump(1500);
        EXPECT_EQ(MarginBesideTheStage(f, "kz-margin-full.png"), c.colour) << "in full screen";

        // Zoomed out, the stage shrinks inside the control.
        f.frame->View()->OnZoomOut();
        Pump(1500);
        const QImage zoomed = f.flash->grab().toImage().convertToFormat(QImage::Format_RGB32);
        zoomed.save(QDir::temp().filePath("kz-margin-zoomed.png"));
        EXPECT_EQ(zoomed.pixel(2, 2) & 0xFFFFFF, c.colour) << "zoomed out";
        ASSERT_TRUE(f.frame->Commands().Execute(ID_FULL_SCREEN));
        Pump(300);
    }
}
