// The player's sound on a real PulseAudio server of the test's own: a movie with a sound
// stream plays into the null sink, whose monitor hears it; the view's "静音" command silences
// it and brings it back; the panel's trackbar follows the sink.

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "platform/mixer/Mixer.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/SoundCtrlDlg.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/E2eSupport.h"
#include "support/PulseServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// Silence on a null sink is exact zeros; a playing sound stream peaks far above this.
constexpr int kSilentPeak = 8;
constexpr int kSoundPeak = 300;

} // namespace

TEST(SoundE2e, AMoviesSoundReachesTheSinkAndTheMuteCommandSilencesIt) {
    PulseServer server(2);
    ASSERT_TRUE(server.Running()) << "pulseaudio did not start";
    // Before the web engine opens its first audio stream, so it plays on this server.
    server.UseInThisProcess();
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "50000"}));

    KeepStateFiles keep;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    {
        ControlFactory controls;
        controls.flash = [](QWidget *p) { return new CMedia(p); };
        controls.browser = [](QWidget *p) { return new CExplorer1(p); };
        controls.mixer = [] { return CreatePulseMixer(5000); };
        CMainFrame frame(controls, {});
        frame.resize(900, 700);
        frame.show();
        CKZPlayerView *view = frame.View();
        view->OnInitialUpdate();
        auto *flash = static_cast<CMedia *>(view->Flash());
        ASSERT_TRUE(PumpUntil([&] { return flash->PageReady(); }, 30000));
        CSoundCtrlDlg *panel = view->PlayCtrl()->SoundPanel();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->Trackbar()->value(), 50000);

        const std::vector<std::int16_t> before = server.RecordMonitor(500);
        EXPECT_LE(PulseServer::Peak(before), kSilentPeak) << "nothing plays yet";

        const QString movie = QDir(CorpusDir()).filePath("examples_audio_sound2.swf");
        view->PlayCtrl()->PlayLocalItem(movie, "examples_audio_sound2.swf");
        ASSERT_EQ(view->PlayCtrl()->m_nPlayState, kStatePlaying);
        // The engine starts the movie and its sound after the load, which needs this thread's
        // events. A recording blocks the thread: listen once a second and let the events run in
        // between (back-to-back recordings starved the load for minutes).
        int peak = 0;
        QElapsedTimer sinceRecording;
        sinceRecording.start();
        PumpUntil(
            [&] {
                if (sinceRecording.elapsed() < 1000)
                    return false;
                peak = PulseServer::Peak(server.RecordMonitor(300));
                sinceRecording.restart();
                return peak > kSoundPeak;
            },
            90000);
        ASSERT_GT(peak, kSoundPeak) << "the movie's sound never reached the sink";
        RecordProperty("playing_peak", peak);
        ScreenShot(QDir::temp().filePath("kz-sound-playing.png"));

        ASSERT_TRUE(frame.Commands().Execute(ID_MUTE));
        EXPECT_TRUE(PumpUntil([&] { return server.SinkMuted() == true; }, 5000));
        PumpUntil([] { return false; }, 300);
        const int mutedPeak = PulseServer::Peak(server.RecordMonitor(1000));
        RecordProperty("muted_peak", mutedPeak);
        EXPECT_LE(mutedPeak, kSilentPeak) << "muted: silence";
        EXPECT_FALSE(panel->Button(IDC_SOUND)->isHidden());

        ASSERT_TRUE(frame.Commands().Execute(ID_MUTE));
        EXPECT_TRUE(PumpUntil([&] { return server.SinkMuted() == false; }, 5000));
        EXPECT_TRUE(PumpUntil(
            [&] { return PulseServer::Peak(server.RecordMonitor(300)) > kSoundPeak; }, 10000))
            << "sound again";
        view->PlayCtrl()->OnStop();
        frame.close();
    }
    EXPECT_EQ(server.SinkMuted(), false) << "the sink was not muted at start";
}
