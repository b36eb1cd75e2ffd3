// The sound panel in the play controller: against a fake mixer for its rules (start with sound
// on, buttons, notifications, inert mixers, game mode, layout, keys, the setting), and against
// a real PulseAudio server of the test's own for what a user sees on a real mixer.

#include "FakePlayHost.h"

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "platform/Paths.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/SoundCtrlDlg.h"
#include "settings/Settings.h"
#include "support/FakeFlashControl.h"
#include "support/FakeMixer.h"
#include "support/PulseServer.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// The program directory with the panel's skins, copied from the build's.
void UseSkins() {
    static const bool done = [] {
        const QString program = TestProgramDir();
        QDir().mkpath(program + "res");
        for (const char *name : {"mutesel.jpg", "muteup.jpg", "soundsel.jpg", "soundup.jpg"})
            QFile::copy(BinDir() + "/res/" + name, program + "res/" + name);
        return true;
    }();
    (void)done;
}

// A controller with its sound panel over the mixer the factory makes; the mixer object the
// panel owns is reachable through `fake` while the panel lives.
struct Rig {
    FakePlayHost host;
    QTemporaryDir storeDir;
    std::unique_ptr<IniRegistryStore> registry;
    std::unique_ptr<QWidget> parent;
    FakeFlashControl *flash = nullptr;
    CPlayCtrlDlg *ctrl = nullptr;
    FakeMixer *fake = nullptr;

    explicit Rig(std::function<std::unique_ptr<Mixer>()> mixer, const QString &store = {},
                 int width = 700) {
        UseSkins();
        registry = std::make_unique<IniRegistryStore>(
            store.isEmpty() ? storeDir.filePath("registry.ini") : store);
        parent = std::make_unique<QWidget>();
        flash = new FakeFlashControl(parent.get());
        CPlayCtrlDlg::Services s;
        s.registry = registry.get();
        s.mixer = std::move(mixer);
        ctrl = new CPlayCtrlDlg(flash, &host, std::move(s), parent.get());
        ctrl->setGeometry(0, 0, width, 76);
        ctrl->OnInitDialog();
        parent->resize(width, 76);
        parent->show();
    }
    static std::function<std::unique_ptr<Mixer>()> Fake(std::optional<SpeakerLine> line,
                                                        FakeMixer **out) {
        return [line, out] {
            auto m = std::make_unique<FakeMixer>(line);
            *out = m.get();
            return m;
        };
    }
    explicit Rig(std::optional<SpeakerLine> line) : Rig(Fake(line, &fake)) {}

    CSoundCtrlDlg *Panel() const { return ctrl->SoundPanel(); }
    bool MuteShown() const { return !Panel()->Button(IDC_MUTE)->isHidden(); }
    bool SoundShown() const { return !Panel()->Button(IDC_SOUND)->isHidden(); }
    int Position() const { return Panel()->Trackbar()->value(); }
    void Close() {
        delete ctrl;
        ctrl = nullptr;
        fake = nullptr;
    }
};

} // namespace

TEST(SoundPanel, ControlsIdsImagesTipsAndLayout) {
    Rig r(FakeMixer::Stereo(30000, 30000));
    CSoundCtrlDlg *p = r.Panel();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->objectName(), "IDD_136");
    EXPECT_EQ(p->parentWidget(), r.ctrl);
    EXPECT_EQ(p->Button(IDC_MUTE)->toolTip(), "静音");
    EXPECT_EQ(p->Button(IDC_SOUND)->toolTip(), "打开音乐");
    EXPECT_EQ(p->Trackbar()->objectName(), "IDC_1042");
    EXPECT_EQ(p->Trackbar()->toolTip(), "调整声音大小");
    EXPECT_EQ(p->GameModeBox()->objectName(), "IDC_1029");
    EXPECT_EQ(p->GameModeBox()->text(), "游戏模式");
    EXPECT_TRUE(p->Button(IDC_MUTE)->HasImages()) << "mutesel.jpg, muteup.jpg";
    EXPECT_TRUE(p->Button(IDC_SOUND)->HasImages()) << "soundsel.jpg, soundup.jpg";
    EXPECT_EQ(p->Trackbar()->minimum(), 0);
    EXPECT_EQ(p->Trackbar()->maximum(), 0x10000);
    EXPECT_EQ(p->Trackbar()->TickFreq(), 0x10000 / 15);
    EXPECT_EQ(p->Trackbar()->SelectionStart(), 25);
    EXPECT_EQ(p->Trackbar()->SelectionEnd(), 75);
    EXPECT_EQ(p->Trackbar()->palette().color(QPalette::Window), QColor(0x68, 0x9D, 0x99));

    // Inside the panel: Mute/Sound left, the trackbar right of them, the box below it.
    const int w = p->width(), h = p->height();
    EXPECT_EQ(w, kSoundPanelWidth);
    EXPECT_EQ(p->Button(IDC_MUTE)->geometry(), QRect(0, 0, 48, h));
    EXPECT_EQ(p->Button(IDC_SOUND)->geometry(), QRect(0, 0, 48, h));
    EXPECT_EQ(p->Trackbar()->geometry(), QRect(49, 0, w - 49, h / 2));
    const QRect ch = p->Trackbar()->ChannelRect();
    EXPECT_EQ(p->GameModeBox()->geometry(), QRect(49 + ch.left(), h / 2, ch.width(), h - h / 2));

    // In the controller: with the Cycle/Continue button's top and height, right-aligned when
    // there is room, else right after that button.
    const QRect cont = r.ctrl->Button(IDC_CONTINUE)->geometry();
    EXPECT_EQ(p->geometry(), QRect(r.ctrl->width() - w, cont.top(), w, cont.height()));
    r.ctrl->resize(cont.right() + 1 + w - 10, 76);
    EXPECT_EQ(p->x(), r.ctrl->Button(IDC_CONTINUE)->geometry().right() + 1);
}

TEST(SoundPanel, StartsWithSoundOnAndPutsTheMuteStateBackAtClose) {
    Rig r(FakeMixer::Stereo(20000, 40000, true));
    EXPECT_EQ(r.Panel()->StartMuteState(), 1);
    EXPECT_EQ(r.Panel()->m_nMuted, 0);
    EXPECT_FALSE(r.fake->line->muted) << "sound on while the player runs";
    EXPECT_TRUE(r.MuteShown());
    EXPECT_FALSE(r.SoundShown());
    EXPECT_EQ(r.Position(), 30000) << "(left + right) / 2";

    // The user mutes and unmutes and mutes again; the start state still goes back.
    r.Panel()->OnMute();
    r.Panel()->OnSound();
    FakeMixer *fake = r.fake;
    EXPECT_EQ(fake->writes, (QStringList{"mute 0 speakers", "mute 1 speakers", "mute 0 speakers"}));
    // The closing write goes to the output the state was found on, even when another output is
    // the default by then.
    fake->LineElsewhere(SpeakerLine{"headphones", {100, 100}, true, false});
    ASSERT_TRUE(test::PumpUntil([&] { return r.Position() == 100; }));
    EXPECT_FALSE(r.fake->line->muted);
    const std::shared_ptr<QStringList> journal = fake->journal;
    r.Close();
    EXPECT_EQ(journal->last(), "mute 1 speakers");
}

TEST(SoundPanel, ButtonsSwapAndWriteTheSwitchTheTrackbarWritesEveryChannel) {
    Rig r(FakeMixer::Stereo(10000, 10000));
    QTest::mouseClick(r.Panel()->Button(IDC_MUTE), Qt::LeftButton);
    EXPECT_TRUE(r.fake->line->muted);
    EXPECT_TRUE(r.SoundShown());
    EXPECT_FALSE(r.MuteShown());
    EXPECT_EQ(r.Panel()->m_nMuted, 1);
    QTest::mouseClick(r.Panel()->Button(IDC_SOUND), Qt::LeftButton);
    EXPECT_FALSE(r.fake->line->muted);
    EXPECT_TRUE(r.MuteShown());

    // A click on the trackbar's channel: every channel gets the same value.
    CMacSliderCtrl *bar = r.Panel()->Trackbar();
    const QRect ch = bar->ChannelRect();
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      QPoint(ch.left() + ch.width() * 3 / 4, ch.center().y()));
    const std::uint32_t expected = std::uint32_t(bar->value());
    EXPECT_NEAR(double(expected), 0.75 * 0x10000, 0x10000 / 50.0);
    EXPECT_EQ(r.fake->line->channels, (std::vector<std::uint32_t>{expected, expected}));
    // While dragging, too.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(ch.left() + 2, ch.center().y()));
    QMouseEvent move(QEvent::MouseMove, QPointF(ch.left() + ch.width() / 2, ch.center().y()),
                     bar->mapToGlobal(QPointF(ch.left() + ch.width() / 2, ch.center().y())),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &move);
    EXPECT_EQ(r.fake->line->channels[0], std::uint32_t(bar->sliderPosition()));
    QTest::mouseRelease(bar, Qt::LeftButton, {},
                        QPoint(ch.left() + ch.width() / 2, ch.center().y()));
}

TEST(SoundPanel, FollowsChangesMadeElsewhere) {
    Rig r(FakeMixer::Stereo(10000, 10000));
    r.fake->VolumeElsewhere({50000, 30000});
    ASSERT_TRUE(test::PumpUntil([&] { return r.Position() == 40000; }));
    r.fake->MuteElsewhere(true);
    ASSERT_TRUE(test::PumpUntil([&] { return r.SoundShown(); }));
    EXPECT_FALSE(r.MuteShown());
    EXPECT_EQ(r.Panel()->m_nMuted, 1);
    r.fake->MuteElsewhere(false);
    ASSERT_TRUE(test::PumpUntil([&] { return r.MuteShown(); }));

    // A notification whose read fails leaves the panel as it was (not "muted").
    r.fake->failReads = true;
    r.fake->Notify(kMixerMuteControl);
    r.fake->Notify(kMixerVolumeControl);
    test::PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(r.MuteShown());
    EXPECT_EQ(r.Panel()->m_nMuted, 0);
    EXPECT_EQ(r.Position(), 40000);
    // Notifications of controls the panel does not know change nothing.
    r.fake->failReads = false;
    r.fake->line->muted = true;
    r.fake->Notify(0);
    r.fake->Notify(77);
    test::PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(r.MuteShown());

    // Another default output: the panel shows it as it is.
    r.fake->LineElsewhere(SpeakerLine{"mono", {7000}, true, true});
    ASSERT_TRUE(test::PumpUntil([&] { return r.Position() == 7000; }));
    EXPECT_TRUE(r.SoundShown());
    EXPECT_EQ(r.Panel()->VolumeControl().ChannelCount(), 1);
}

TEST(SoundPanel, WithoutAMixerTheButtonsSwapAndTheTrackbarMoves) {
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        // No mixer at all; a mixer without a line; a line without controls.
        std::unique_ptr<Rig> r;
        if (kind == 0)
            r = std::make_unique<Rig>(std::function<std::unique_ptr<Mixer>()>{});
        else if (kind == 1)
            r = std::make_unique<Rig>(std::nullopt);
        else
            r = std::make_unique<Rig>(SpeakerLine{"bare", {}, false, false});
        CSoundCtrlDlg *p = r->Panel();
        EXPECT_EQ(p->VolumeControl().ControlId(), 0);
        EXPECT_EQ(p->MuteControl().ControlId(), 0);
        EXPECT_EQ(p->StartMuteState(), -1);
        p->OnMute();
        EXPECT_TRUE(r->SoundShown());
        p->OnSound();
        EXPECT_TRUE(r->MuteShown());
        QTest::mouseClick(p->Trackbar(), Qt::LeftButton, {}, QPoint(p->Trackbar()->width() - 1, 5));
        EXPECT_EQ(r->Position(), 0x10000);
        if (r->fake) {
            EXPECT_TRUE(r->fake->writes.isEmpty());
        }
    }
}

TEST(SoundPanel, AMixerThatAnswersLaterIsTakenUpThen) {
    Rig r(std::nullopt);
    r.Panel()->OnMute(); // the user's choice before the mixer answered
    r.fake->LineElsewhere(FakeMixer::Stereo(5000, 5000, false));
    ASSERT_TRUE(test::PumpUntil([&] { return r.Position() == 5000; }));
    EXPECT_EQ(r.Panel()->StartMuteState(), 0);
    EXPECT_TRUE(r.fake->line->muted) << "the panel's state reaches the mixer";
    EXPECT_TRUE(r.SoundShown());
    // It goes away: the panel keeps working.
    r.fake->LineElsewhere(std::nullopt);
    test::PumpUntil([] { return false; }, 100);
    r.Panel()->OnSound();
    EXPECT_TRUE(r.MuteShown());
}

TEST(SoundPanel, GameModeInTheWindow) {
    Rig r(FakeMixer::Stereo(1, 1));
    r.ctrl->OnAuto();
    ASSERT_EQ(r.ctrl->m_bAutoPlay, 1);
    QTest::mouseClick(r.Panel()->GameModeBox(), Qt::LeftButton);
    EXPECT_EQ(r.Panel()->m_bGameMode, 1);
    EXPECT_TRUE(r.host.gameMode) << "the view's double-clicks follow it";
    EXPECT_EQ(r.ctrl->m_bAutoPlay, 0) << "auto play off";
    EXPECT_FALSE(r.ctrl->Button(IDC_AUTO)->isHidden());
    EXPECT_TRUE(r.ctrl->Button(IDC_HAND)->isHidden());
    EXPECT_FALSE(r.host.log.contains("back for game mode"));

    // Off again: auto play stays off; turning auto play on under game mode is the user's.
    QTest::mouseClick(r.Panel()->GameModeBox(), Qt::LeftButton);
    EXPECT_EQ(r.Panel()->m_bGameMode, 0);
    EXPECT_FALSE(r.host.gameMode);
    EXPECT_EQ(r.ctrl->m_bAutoPlay, 0);

    // The view's command toggles the flag and shows it in the box.
    r.ctrl->OnAuto();
    r.Panel()->ToggleGameMode();
    EXPECT_TRUE(r.Panel()->GameModeBox()->isChecked());
    EXPECT_EQ(r.ctrl->m_bAutoPlay, 0);
    r.Panel()->ToggleGameMode();
    EXPECT_FALSE(r.Panel()->GameModeBox()->isChecked());
}

TEST(SoundPanel, GameModeInTheScreenModes) {
    for (bool full : {true, false}) {
        SCOPED_TRACE(full);
        Rig r(FakeMixer::Stereo(1, 1));
        r.ctrl->OnAuto();
        r.host.fullScreen = full;
        r.host.actualSize = !full;
        r.Panel()->ToggleGameMode();
        EXPECT_EQ(r.host.log.count("back for game mode"), 1);
        EXPECT_EQ(r.ctrl->m_bAutoPlay, 1) << "nothing else in a screen mode";
        r.Panel()->ToggleGameMode();
        EXPECT_EQ(r.host.log.count("back for game mode"), 1) << "off changes nothing at once";
    }
}

TEST(SoundPanel, GameModeSettingIsReadAndWritten) {
    QTemporaryDir dir;
    const QString store = dir.filePath("registry.ini");
    {
        IniRegistryStore s(store);
        SaveSoundPanelSettings(s, SoundPanelSettings{1});
    }
    {
        Rig r(std::function<std::unique_ptr<Mixer>()>{}, store);
        EXPECT_EQ(r.Panel()->m_bGameMode, 1);
        EXPECT_TRUE(r.Panel()->GameModeBox()->isChecked());
        EXPECT_TRUE(r.host.gameMode);
        r.Panel()->ToggleGameMode();
        r.Close();
    }
    IniRegistryStore s(store);
    SoundPanelSettings read{7};
    LoadSoundPanelSettings(s, read);
    EXPECT_EQ(read.m_bGameMode, 0);
}

TEST(SoundPanel, KeysGoAsTheControllersDo) {
    Rig r(FakeMixer::Stereo(1, 1));
    auto press = [&](int key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(r.Panel(), &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(r.Panel(), &up);
    };
    press(Qt::Key_F8);
    EXPECT_TRUE(r.host.log.contains("capture"));
    r.flash->keys.clear();
    press(Qt::Key_Left);
    EXPECT_EQ(r.flash->keys, (QStringList{"down 16777234", "up 16777234"}));
    r.host.fullScreen = true;
    press(Qt::Key_Escape);
    EXPECT_FALSE(r.host.fullScreen);
    EXPECT_TRUE(r.host.log.contains("activate"));
    r.host.log.clear();
    r.host.actualSize = true;
    press(Qt::Key_Escape);
    EXPECT_FALSE(r.host.actualSize);
    EXPECT_FALSE(r.host.log.contains("activate")) << "actual size is left without activating";
}

// --- a real PulseAudio server ------------------------------------------------------------------

namespace {

std::function<std::unique_ptr<Mixer>()> Pulse() {
    // The player waits 100 ms for the first answer; a loaded test machine gets longer.
    return [] { return CreatePulseMixer(5000); };
}

} // namespace

TEST(SoundPanelOnPulseAudio, FollowsPactlAndPutsTheMuteBackAtClose) {
    PulseServer server(2);
    ASSERT_TRUE(server.Running()) << "pulseaudio did not start";
    server.UseInThisProcess();
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "20000"}));
    ASSERT_TRUE(server.Run({"set-sink-mute", "kz_null", "1"}));
    {
        Rig r(Pulse());
        EXPECT_EQ(r.Position(), 20000);
        EXPECT_EQ(r.Panel()->StartMuteState(), 1);
        EXPECT_TRUE(test::PumpUntil([&] { return server.SinkMuted() == false; }))
            << "unmuted while the player runs";
        EXPECT_TRUE(r.MuteShown());

        ASSERT_TRUE(server.Run({"set-sink-mute", "kz_null", "1"}));
        EXPECT_TRUE(test::PumpUntil([&] { return r.SoundShown() && !r.MuteShown(); }))
            << "Mute swapped for Sound";
        ASSERT_TRUE(server.Run({"set-sink-mute", "kz_null", "0"}));
        EXPECT_TRUE(test::PumpUntil([&] { return r.MuteShown() && !r.SoundShown(); }));

        ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "10000", "50000"}));
        EXPECT_TRUE(test::PumpUntil([&] { return r.Position() == 30000; }))
            << "the trackbar follows";

        // Moving the trackbar sets both channels.
        CMacSliderCtrl *bar = r.Panel()->Trackbar();
        const QRect ch = bar->ChannelRect();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          QPoint(ch.left() + ch.width() / 4, ch.center().y()));
        const std::uint32_t v = std::uint32_t(bar->value());
        EXPECT_TRUE(test::PumpUntil([&] {
            return server.SinkVolume() == std::vector<std::uint32_t>{v, v};
        }));

        // The panel's own buttons reach the server.
        QTest::mouseClick(r.Panel()->Button(IDC_MUTE), Qt::LeftButton);
        EXPECT_TRUE(test::PumpUntil([&] { return server.SinkMuted() == true; }));
        QTest::mouseClick(r.Panel()->Button(IDC_SOUND), Qt::LeftButton);
        EXPECT_TRUE(test::PumpUntil([&] { return server.SinkMuted() == false; }));
    }
    EXPECT_EQ(server.SinkMuted(), true) << "muted again at close";
}

TEST(SoundPanelOnPulseAudio, MonoSinkShowsItsSingleValue) {
    PulseServer server(1);
    ASSERT_TRUE(server.Running());
    server.UseInThisProcess();
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "12345"}));
    Rig r(Pulse());
    EXPECT_EQ(r.Panel()->VolumeControl().ChannelCount(), 1);
    EXPECT_EQ(r.Position(), 12345);
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "54321"}));
    EXPECT_TRUE(test::PumpUntil([&] { return r.Position() == 54321; }));
}

TEST(SoundPanelOnPulseAudio, AServerKilledLeavesThePanelWorkingAndInert) {
    PulseServer server(2);
    ASSERT_TRUE(server.Running());
    server.UseInThisProcess();
    Rig r(Pulse());
    ASSERT_NE(r.Panel()->MuteControl().ControlId(), 0);
    server.Kill();
    ASSERT_TRUE(test::PumpUntil([&] { return r.Panel()->MuteControl().ControlId() == 0; }));
    EXPECT_EQ(r.Panel()->VolumeControl().ControlId(), 0);
    r.Panel()->OnMute();
    EXPECT_TRUE(r.SoundShown());
    r.Panel()->OnSound();
    EXPECT_TRUE(r.MuteShown());
    QTest::mouseClick(r.Panel()->Trackbar(), Qt::LeftButton, {},
                      QPoint(r.Panel()->Trackbar()->ChannelRect().left(), 5));
    EXPECT_EQ(r.Position(), 0);

    // The server comes back: the panel shows it again.
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "33333"}));
    EXPECT_TRUE(test::PumpUntil([&] { return r.Position() == 33333; }, 20000));
    EXPECT_NE(r.Panel()->MuteControl().ControlId(), 0);
}
