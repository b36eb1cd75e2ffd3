// Frames from the real engine under a display: an ActionScript 1/2 movie reports the frames it
// shows, halts are seen and answered, the trackbar seeks, the single-file loop replays a movie
// that stopped itself, an ActionScript 3 movie keeps its clock without being cut short, frame
// steps, and a movie's speed and quality.

#include "controls/MacSliderCtrl.h"
#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfWriter.h"
#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "shell/CommandTable.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/E2eSupport.h"
#include "support/RealFrame.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {

using namespace kz::test;

QString Corpus(const char *name) {
    return QDir(CorpusDir()).filePath(name);
}

// A square crossing the stage over `frames` frames; frames in [stillFrom, stillTo] show it
// standing in one place in its own colour, so any shot taken there is the same picture.
// `stops` lists frames whose actions call stop().
QByteArray Movie(int frames, int rate, QList<int> stops, int stillFrom = 0, int stillTo = -1,
                 int version = 6) {
    SwfWriter w(320, 240, rate, std::uint8_t(version));
    w.SetBackgroundColor(QColor(30, 30, 60));
    const std::uint16_t moving = w.DefinePolygon({{0, 0}, {40, 0}, {40, 40}, {0, 40}}, Qt::yellow);
    const std::uint16_t still = w.DefinePolygon({{0, 0}, {80, 0}, {80, 80}, {0, 80}}, Qt::green);
    bool showingStill = false;
    w.Place(moving, 1, SwfMatrix::Translate(0, 20));
    for (int f = 1; f <= frames; ++f) {
        const bool inStill = f >= stillFrom && f <= stillTo;
        if (inStill != showingStill) {
            w.Remove(1);
            w.Place(inStill ? still : moving, 1, SwfMatrix::Translate(inStill ? 120 : 0, 80));
            showingStill = inStill;
        } else if (!inStill && f > 1) {
            w.Move(1, SwfMatrix::Translate((f * 280.0) / frames, 20 + (f % 7) * 25));
        }
        if (stops.contains(f)) {
            ActionWriter stop;
            stop.Stop();
            w.AddTag(kTagDoAction, stop.Finished());
        }
        w.ShowFrame();
    }
    return w.Finish();
}

struct Player : RealFrame {
    Player() {
        EXPECT_TRUE(PumpUntil([&] { return flash->PageReady(); }, 30000));
        frame->PlayList()->RemoveAllRows();
    }
    // Plays the files as the play list's rows, from row 0.
    void PlayRows(const QStringList &paths, bool autoPlay, int mode) {
        for (const QString &p : paths)
            frame->PlayList()->AppendRow(p, FileNameOf(p));
        ctrl->m_bAutoPlay = autoPlay;
        ctrl->m_nPlayingMode = mode;
        ctrl->m_nCurrentPlayingItem = 0;
        ctrl->OnPlay();
    }
    bool Ready() {
        return PumpUntil([&] { return flash->PageReady(); }, 30000);
    }
    bool Reporting(int ms = 30000) {
        return PumpUntil([&] { return flash->ReportsFrames(); }, ms);
    }
    QImage Shot() const { return flash->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

QString WriteMovie(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
}

} // namespace

TEST(MovieFramesE2e, ACorpusMovieReportsItsFramesInOrderAtItsRate) {
    QWidget window;
    window.resize(640, 480);
    auto *flash = new CMedia(&window);
    flash->setGeometry(0, 0, 640, 480);
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return flash->PageReady(); }, 30000));
    // SWF 6, 50 frames at 31 a second: it plays inside our host movie.
    const QString movie = Corpus("examples_morphing_morph.swf");
    const QByteArray before = ReadFile(movie);
    flash->LoadMovie(0, movie);
    ASSERT_TRUE(PumpUntil([&] { return flash->ReportsFrames(); }, 30000)) << "no reports";
    EXPECT_EQ(flash->TotalFrames(), 50) << "the movie's count, not the host's";
    EXPECT_EQ(flash->Facts().swfVersion, 6);

    // Every frame is reported, in order, at about 31 a second (the machine is shared: the
    // rate is checked loosely, the order exactly).
    QSignalSpy reports(flash, &CShockwaveflash1::FrameReported);
    QElapsedTimer t;
    t.start();
    Pump(1500);
    const double seconds = t.elapsed() / 1000.0;
    QList<int> seen;
    for (const QList<QVariant> &r : reports)
        seen << r.at(0).toInt();
    ASSERT_GE(seen.size(), 10);
    for (qsizetype i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], seen[i - 1] == 50 ? 1 : seen[i - 1] + 1) << "report " << i;
    const double rate = seen.size() / seconds;
    EXPECT_GT(rate, 31 * 0.6);
    EXPECT_LT(rate, 31 * 1.3);
    EXPECT_TRUE(flash->IsPlaying());

    // Seek, stop and play act on the movie's own timeline.
    flash->StopPlay();
    flash->GotoFrame(20);
    Pump(500);
    EXPECT_EQ(flash->CurrentFrame(), 20);
    EXPECT_FALSE(flash->IsPlaying());
    flash->Play();
    ASSERT_TRUE(PumpUntil([&] { return flash->CurrentFrame() > 22; }, 3000));

    // Scale and colour change the running movie; it is not loaded again from the start.
    flash->StopPlay();
    Pump(300);
    const int at = flash->CurrentFrame();
    flash->SetScale("noScale");
    flash->SetBackgroundColor(0xFF0000);
    Pump(800);
    EXPECT_EQ(flash->CurrentFrame(), at);
    const QImage red = flash->grab().toImage();
    EXPECT_EQ(red.pixel(2, 2), qRgb(255, 0, 0)) << "noScale leaves a margin in the colour";
    flash->SetScale("ShowAll");
    Pump(500);
    EXPECT_EQ(flash->CurrentFrame(), at);
    EXPECT_FALSE(flash->IsPlaying());
    EXPECT_EQ(ReadFile(movie), before) << "the user's file is never touched";
}

TEST(MovieFramesE2e, AMovieThatHaltsItselfStandsThenAutoPlayRunsItToItsEnd) {
    QTemporaryDir dir;
    Player p;
    // SWF 8: instrumented directly, no host.
    const QString movie = WriteMovie(dir, "halt.swf", Movie(100, 24, {5}, 0, -1, 8));
    p.PlayRows({movie}, false, kModeListLoop);
    ASSERT_TRUE(p.Reporting());
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() == 4; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return !p.flash->IsPlaying(); }, 1000)) << "still playing";
    // The trackbar and the information line stand still with the movie.
    Pump(1100);
    EXPECT_EQ(p.ctrl->Trackbar()->value(), 4);
    EXPECT_EQ(p.flash->CurrentFrame(), 4);
    EXPECT_TRUE(p.frame->View()->InfoLine()->text().contains(QStringLiteral("帧信息：4/100")))
        << p.frame->View()->InfoLine()->text().toStdString();
    Pump(600);
    EXPECT_EQ(p.ctrl->Trackbar()->value(), 4);

    // Auto play: the halted movie gets Play and runs to its end.
    p.ctrl->OnAuto();
    p.ctrl->OnContinue();
    int highest = 0;
    EXPECT_TRUE(PumpUntil(
        [&] {
            highest = std::max(highest, p.flash->CurrentFrame());
            return highest >= 99;
        },
        10000))
        << highest;
}

TEST(MovieFramesE2e, DraggingTheTrackbarShowsThatFrameAndTheMovieGoesOn) {
    QTemporaryDir dir;
    Player p;
    const QString movie = WriteMovie(dir, "seek.swf", Movie(100, 20, {}, 45, 70));
    const QString other = WriteMovie(dir, "other.swf", Movie(30, 20, {}));
    p.PlayRows({movie, other}, true, kModeListLoop);
    ASSERT_TRUE(p.Reporting());
    // A shot as the movie passes the middle, then let it run on.
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() >= 50; }, 10000));
    const QImage passing = p.Shot();
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() >= 80; }, 10000));

    emit p.ctrl->Trackbar()->Scrolled(50); // the user let go of the knob at frame 50
    Pump(150);
    const QImage sought = p.Shot();
    passing.save(QDir::temp().filePath("kz-frames-passing.png"));
    sought.save(QDir::temp().filePath("kz-frames-sought.png"));
    EXPECT_EQ(sought, passing) << "the sought frame is the one passed before";
    EXPECT_GE(p.ctrl->Trackbar()->value(), 50);
    EXPECT_LT(p.ctrl->Trackbar()->value(), 60);
    // The movie is not taken for ended: it plays on, the same row.
    Pump(1000);
    EXPECT_EQ(p.ctrl->m_nCurrentPlayingItem, 0);
    EXPECT_EQ(p.flash->Movie(), movie);
    EXPECT_GT(p.flash->CurrentFrame(), 55);
    EXPECT_FALSE(p.ctrl->EndWaitPending());
}

TEST(MovieFramesE2e, TheSingleFileLoopReplaysAMovieThatEndsWithStop) {
    QTemporaryDir dir;
    Player p;
    const QString movie = WriteMovie(dir, "ends.swf", Movie(30, 24, {30}));
    p.PlayRows({movie}, true, kModeSingleLoop);
    ASSERT_TRUE(p.Reporting());
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() == 29; }, 10000));
    // It stands on its last frame, then starts again from the top and reaches the end again.
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() < 10; }, 5000)) << "no replay";
    EXPECT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() == 29; }, 5000));
    EXPECT_EQ(p.flash->Movie(), movie);
}

TEST(MovieFramesE2e, AnActionScript3MovieKeepsPlayingAfterADragAndIsNotCutShort) {
    Player p;
    const QString as3 = Corpus("examples_timeline_Timeline6.swf");
    const QString next = Corpus("examples_morphing_morph.swf");
    p.PlayRows({as3, next}, true, kModeListLoop);
    ASSERT_TRUE(PumpUntil([&] { return p.flash->TotalFrames() == 78; }, 30000));
    Pump(500);
    EXPECT_FALSE(p.flash->ReportsFrames()) << "the engine ignores our actions in AVM2 movies";
    const int before = p.flash->CurrentFrame();
    emit p.ctrl->Trackbar()->Scrolled(60);
    // The engine cannot go there: the trackbar stays with the movie.
    EXPECT_LT(p.ctrl->Trackbar()->value(), 40);
    EXPECT_LE(std::abs(p.ctrl->Trackbar()->value() - before), 2);
    const QImage a = p.Shot();
    Pump(700);
    const QImage b = p.Shot();
    EXPECT_NE(a, b) << "the movie stopped";
    EXPECT_EQ(p.ctrl->m_nCurrentPlayingItem, 0) << "the drag made the controller move on";
    EXPECT_EQ(p.flash->Movie(), as3);
    EXPECT_FALSE(p.ctrl->EndWaitPending());
}

// Twice the speed, chosen in the menu while the movie stands paused: it is loaded again at twice
// its rate, goes back to the frame it showed, and plays so again after a restart. How fast the
// reports come is measured and printed (the machine is shared), not asserted.
TEST(MovieFramesE2e, TwiceTheSpeedLoadsAgainWhereItWasAndComesBackAfterARestart) {
    QTemporaryDir dir;
    Player p;
    const QString movie = WriteMovie(dir, "speed.swf", Movie(600, 12, {}, 0, -1, 8));
    auto reportRate = [&] {
        QSignalSpy reports(p.flash, &CShockwaveflash1::FrameReported);
        QElapsedTimer t;
        t.start();
        Pump(2000);
        return reports.size() * 1000.0 / t.elapsed();
    };
    p.PlayRows({movie}, false, kModeListLoop);
    ASSERT_TRUE(p.Reporting());
    const double own = reportRate();
    ASSERT_TRUE(PumpUntil([&] { return p.flash->CurrentFrame() >= 10; }, 10000));
    p.ctrl->OnPause();
    Pump(300);
    const int at = p.flash->CurrentFrame();
    ASSERT_TRUE(p.frame->Commands().Execute(ID_SPEED_FIRST + 3)); // 2x
    EXPECT_TRUE(
        PumpUntil([&] { return p.flash->ReportsFrames() && p.flash->CurrentFrame() == at; }, 30000))
        << p.flash->CurrentFrame() << " for " << at;
    Pump(500);
    EXPECT_EQ(p.flash->CurrentFrame(), at) << "it stays paused there";
    EXPECT_EQ(p.ctrl->m_nPlayState, kStatePaused);
    EXPECT_DOUBLE_EQ(p.flash->Facts().frameRate, 24);
    EXPECT_EQ(p.ctrl->Header().frameRate, 24);
    // 600 frames at 24 a second.
    EXPECT_TRUE(p.Info().contains(QStringLiteral("/00:00:25   帧信息：%1/600").arg(at)))
        << p.Info().toStdString();
    p.ctrl->OnPlay();
    const double twice = reportRate();
    std::printf("[ note ] reports a second: %.1f at 1x, %.1f at 2x (header 12): %.2fx\n", own,
                twice, own > 0 ? twice / own : 0.0);
    EXPECT_GT(twice, 0);

    p.Restart();
    ASSERT_TRUE(p.Ready());
    p.frame->PlayList()->RemoveAllRows();
    p.PlayRows({movie}, false, kModeListLoop);
    ASSERT_TRUE(p.Reporting());
    EXPECT_EQ(p.ctrl->PlayingSettings().speed, 2.0);
    EXPECT_DOUBLE_EQ(p.flash->Facts().frameRate, 24);
    std::printf("[ note ] after a restart: %.1f reports a second\n", reportRate());
}

// The quality chosen for a row is the one the movie's own _quality reads when it is played: the
// movie goes to the frame labelled with it, each in a colour of its own. (Drawing differences
// need a GPU renderer; the movie's view of the setting does not.)
TEST(MovieFramesE2e, TheQualityChosenForARowIsTheOneTheMovieSees) {
    QTemporaryDir dir;
    Player p;
    SwfWriter w(320, 240, 12, 8);
    ActionWriter go;
    go.PushString("_quality").GetVariable().GotoFrame2(false);
    w.AddTag(kTagDoAction, go.Finished());
    w.ShowFrame();
    const struct {
        const char *label;
        QColor colour;
    } frames[] = {{"HIGH", Qt::green}, {"LOW", Qt::red}, {"BEST", Qt::blue}};
    for (const auto &f : frames) {
        w.AddTag(kTagFrameLabel, QByteArray(f.label) + '\0');
        w.Remove(1);
        w.Place(w.DefinePolygon({{0, 0}, {320, 0}, {320, 240}, {0, 240}}, f.colour), 1);
        ActionWriter stop;
        stop.Stop();
        w.AddTag(kTagDoAction, stop.Finished());
        w.ShowFrame();
    }
    const QString movie = WriteMovie(dir, "quality.swf", w.Finish());
    p.frame->PlayList()->AppendRow(movie, "quality.swf");
    p.frame->PlayList()->SelectOnly(0);
    const struct {
        int command; // 0: none chosen
        QRgb seen;
    } cases[] = {{0, qRgb(0, 255, 0)},
                 {ID_ROW_QUALITY_FIRST, qRgb(255, 0, 0)},
                 {ID_ROW_QUALITY_FIRST + 3, qRgb(0, 0, 255)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        p.ctrl->OnStop();
        if (c.command) {
            ASSERT_TRUE(p.frame->Commands().Execute(c.command));
        }
        p.ctrl->m_nCurrentPlayingItem = 0;
        p.ctrl->OnPlay();
        ASSERT_TRUE(p.Reporting());
        const QPoint middle(p.flash->width() / 2, p.flash->height() / 2);
        EXPECT_TRUE(PumpUntil([&] { return p.Shot().pixel(middle) == c.seen; }, 10000))
            << std::hex << p.Shot().pixel(middle);
    }
}

// The next-frame command on a paused ActionScript 1/2 movie shows the next frame; for an
// ActionScript 3 movie, which cannot seek, both steps are disabled.
TEST(MprisE2e, FrameStepsOnTheRealEngine) {
    QTemporaryDir dir;
    RealFrame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    f.frame->PlayList()->RemoveAllRows();
    const QString avm1 = dir.filePath("steps.swf");
    ASSERT_TRUE(WriteFile(avm1, AnimatedSquare(120, Qt::magenta, 80)));
    f.ctrl->PlayLocalItem(avm1, "steps.swf");
    ASSERT_TRUE(PumpUntil([&] { return f.flash->ReportsFrames(); }, 30000));
    Pump(500);
    CommandTable &t = f.frame->Commands();
    ASSERT_TRUE(t.Execute(ID_PAUSE));
    Pump(500);
    static const QRegularExpression re(QStringLiteral("帧信息：(\\d+)/"));
    auto frameShown = [&] {
        const auto m = re.match(f.Info());
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    ASSERT_TRUE(t.Execute(ID_NEXT_FRAME));
    Pump(500);
    const int first = frameShown();
    const QImage before = f.frame->grab().toImage();
    ASSERT_TRUE(t.Execute(ID_NEXT_FRAME));
    ASSERT_TRUE(PumpUntil([&] { return f.flash->CurrentFrame() == first + 1; }, 5000));
    Pump(500);
    const QImage after = f.frame->grab().toImage();
    EXPECT_EQ(frameShown(), first + 1);
    EXPECT_EQ(f.ctrl->Trackbar()->value(), first + 1);
    EXPECT_NE(before, after) << "the next frame is not on the screen";
    EXPECT_EQ(f.ctrl->m_nPlayState, kStatePaused);
    ASSERT_TRUE(t.Execute(ID_PREVIOUS_FRAME));
    EXPECT_TRUE(PumpUntil([&] { return f.flash->CurrentFrame() == first; }, 5000));
    after.save(QDir::temp().filePath("kz-frame-step.png"));

    f.ctrl->PlayLocalItem(QDir(CorpusDir()).filePath("examples_timeline_Timeline6.swf"), "t.swf");
    ASSERT_TRUE(PumpUntil([&] { return f.flash->TotalFrames() == 78; }, 30000));
    Pump(500);
    t.UpdateAll();
    EXPECT_FALSE(t.Action(ID_NEXT_FRAME)->isEnabled()) << "an AS3 movie cannot seek";
    EXPECT_FALSE(t.Action(ID_PREVIOUS_FRAME)->isEnabled());
    EXPECT_FALSE(t.Execute(ID_NEXT_FRAME));
}
