// The speaker line on a real PulseAudio server of the test's own (null sinks on a private
// socket), and the two wrappers' rules over a fake line.

#include "platform/mixer/Mixer.h"
#include "platform/mixer/MixerControls.h"
#include "support/FakeMixer.h"
#include "support/PulseServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// Long enough for a loaded machine; the player itself waits 100 ms.
constexpr int kFirstAnswerMs = 5000;

} // namespace

TEST(MixerControls, WrappersOverALine) {
    FakeMixer mixer(FakeMixer::Stereo(20000, 40000, true));
    volumcontrol volume(&mixer);
    mutecontrol mute(&mixer);
    ASSERT_TRUE(volume.Open());
    ASSERT_TRUE(mute.Open());
    EXPECT_EQ(volume.ControlId(), kMixerVolumeControl);
    EXPECT_EQ(mute.ControlId(), kMixerMuteControl);
    EXPECT_EQ(volume.ChannelCount(), 2);
    EXPECT_EQ(volume.Name(), "speakers");
    EXPECT_EQ(volume.Minimum(), 0);
    EXPECT_EQ(volume.Maximum(), 0x10000);
    EXPECT_EQ(volume.GetVolume(), 30000) << "(left + right) / 2";
    EXPECT_EQ(mute.GetMute(), 1);

    volume.SetVolume(50000);
    EXPECT_EQ(mixer.line->channels, (std::vector<std::uint32_t>{50000, 50000}));
    volume.SetVolume(1 << 20);
    EXPECT_EQ(mixer.line->channels[0], 0x10000u) << "no amplification";
    volume.SetVolume(-5);
    EXPECT_EQ(mixer.line->channels[1], 0u);
    mute.SetMute(0);
    EXPECT_FALSE(mixer.line->muted);

    // An amplified line reads as full volume; mono reads its one value; five channels their
    // mean.
    mixer.line->channels = {0x18000, 0x18000};
    EXPECT_EQ(volume.GetVolume(), 0x10000);
    mixer.line = SpeakerLine{"mono", {12345}, true, false};
    ASSERT_TRUE(volume.Open());
    EXPECT_EQ(volume.ChannelCount(), 1);
    EXPECT_EQ(volume.GetVolume(), 12345);
    mixer.line = SpeakerLine{"surround", {10, 20, 30, 40, 50}, true, false};
    ASSERT_TRUE(volume.Open());
    EXPECT_EQ(volume.GetVolume(), 30);

    // A read that fails gives -1; so does a line that is now another output.
    mixer.failReads = true;
    EXPECT_EQ(volume.GetVolume(), -1);
    EXPECT_EQ(mute.GetMute(), -1);
    mixer.failReads = false;
    EXPECT_EQ(mute.GetMute(), -1) << "opened on 'speakers', the line is 'surround' now";
}

TEST(MixerControls, InertWithoutMixerLineOrControl) {
    volumcontrol none;
    mutecontrol noMute;
    EXPECT_FALSE(none.Open());
    EXPECT_FALSE(noMute.Open());
    EXPECT_EQ(none.GetVolume(), -1);
    EXPECT_EQ(noMute.GetMute(), -1);
    none.SetVolume(100);
    noMute.SetMute(1);

    FakeMixer empty;
    volumcontrol v(&empty);
    mutecontrol m(&empty);
    EXPECT_FALSE(v.Open());
    EXPECT_FALSE(m.Open());
    v.SetVolume(100);
    m.SetMute(1);
    EXPECT_TRUE(empty.writes.isEmpty());

    // A line without a volume fader or without a mute switch.
    FakeMixer bare(SpeakerLine{"bare", {}, false, false});
    volumcontrol bv(&bare);
    mutecontrol bm(&bare);
    EXPECT_FALSE(bv.Open());
    EXPECT_FALSE(bm.Open());
    bv.SetVolume(1);
    bm.SetMute(1);
    EXPECT_TRUE(bare.writes.isEmpty());
}

TEST(PulseMixer, FollowsTheDefaultSinkItsVolumeAndMute) {
    PulseServer server(2);
    ASSERT_TRUE(server.Running()) << "pulseaudio did not start";
    server.UseInThisProcess();
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "30000", "40000"}));
    ASSERT_TRUE(server.Run({"set-sink-mute", "kz_null", "1"}));

    std::unique_ptr<Mixer> mixer = CreatePulseMixer(kFirstAnswerMs);
    std::optional<SpeakerLine> line = mixer->Line();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->name, "kz_null");
    EXPECT_EQ(line->channels, (std::vector<std::uint32_t>{30000, 40000}));
    EXPECT_TRUE(line->muted);

    QSignalSpy changes(mixer.get(), &Mixer::ControlChange);
    QSignalSpy lines(mixer.get(), &Mixer::LineChanged);

    // Our writes reach the server, every channel the same.
    ASSERT_TRUE(mixer->SetVolume(20000));
    ASSERT_TRUE(mixer->SetMute(false));
    EXPECT_TRUE(test::PumpUntil([&] {
        return server.SinkVolume() == std::vector<std::uint32_t>{20000, 20000};
    }));
    EXPECT_TRUE(test::PumpUntil([&] { return server.SinkMuted() == false; }));
    ASSERT_TRUE(mixer->SetVolume(0x30000));
    EXPECT_TRUE(test::PumpUntil([&] {
        return server.SinkVolume() == std::vector<std::uint32_t>{0x10000, 0x10000};
    })) << "clamped to full volume";
    // Our own writes are no news.
    test::PumpUntil([] { return false; }, 300);
    EXPECT_EQ(changes.count(), 0);

    // Changes made elsewhere come as notifications, on this thread.
    ASSERT_TRUE(server.Run({"set-sink-volume", "kz_null", "1000", "3000"}));
    ASSERT_TRUE(test::PumpUntil([&] { return changes.count() > 0; }));
    EXPECT_EQ(changes.takeFirst().at(0).toInt(), kMixerVolumeControl);
    EXPECT_EQ(mixer->Line()->channels, (std::vector<std::uint32_t>{1000, 3000}));
    ASSERT_TRUE(server.Run({"set-sink-mute", "kz_null", "1"}));
    ASSERT_TRUE(test::PumpUntil([&] { return changes.count() > 0; }));
    EXPECT_EQ(changes.takeFirst().at(0).toInt(), kMixerMuteControl);
    EXPECT_TRUE(mixer->Line()->muted);
    EXPECT_EQ(lines.count(), 0);

    // Another default sink: the line follows it; the first one is still reachable by name.
    ASSERT_TRUE(
        server.Run({"load-module", "module-null-sink", "sink_name=kz_other", "channels=1"}));
    ASSERT_TRUE(server.Run({"set-default-sink", "kz_other"}));
    ASSERT_TRUE(test::PumpUntil([&] { return lines.count() > 0; }));
    line = mixer->Line();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->name, "kz_other");
    EXPECT_EQ(line->channels.size(), 1u);
    ASSERT_TRUE(mixer->SetMute(false, "kz_null", true));
    EXPECT_EQ(server.SinkMuted("kz_null"), false) << "a waited write has been taken";
    EXPECT_EQ(server.SinkMuted("kz_other"), false);
}

TEST(PulseMixer, ServerThatGoesAwayAndComesBack) {
    PulseServer server(2);
    ASSERT_TRUE(server.Running());
    server.UseInThisProcess();
    std::unique_ptr<Mixer> mixer = CreatePulseMixer(kFirstAnswerMs);
    ASSERT_TRUE(mixer->Line().has_value());
    QSignalSpy lines(mixer.get(), &Mixer::LineChanged);

    server.Kill();
    ASSERT_TRUE(test::PumpUntil([&] { return lines.count() > 0; }));
    EXPECT_FALSE(mixer->Line().has_value());
    EXPECT_FALSE(mixer->SetVolume(100)) << "inert";
    EXPECT_FALSE(mixer->SetMute(true));
    EXPECT_FALSE(mixer->SetMute(true, "kz_null", true));

    lines.clear();
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(test::PumpUntil([&] { return lines.count() > 0; }, 20000))
        << "the server is picked up again";
    ASSERT_TRUE(mixer->Line().has_value());
    EXPECT_EQ(mixer->Line()->name, "kz_null");
    ASSERT_TRUE(mixer->SetVolume(4242));
    EXPECT_TRUE(test::PumpUntil([&] {
        return server.SinkVolume() == std::vector<std::uint32_t>{4242, 4242};
    }));
}

TEST(PulseMixer, NoServerIsInert) {
    QTemporaryDir nowhere;
    const QByteArray old = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toUtf8());
    {
        std::unique_ptr<Mixer> mixer = CreatePulseMixer(kFirstAnswerMs);
        EXPECT_FALSE(mixer->Line().has_value());
        EXPECT_FALSE(mixer->SetVolume(1));
        EXPECT_FALSE(mixer->SetMute(true));
        volumcontrol v(mixer.get());
        mutecontrol m(mixer.get());
        EXPECT_FALSE(v.Open());
        EXPECT_FALSE(m.Open());
    }
    if (old.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", old);
}
