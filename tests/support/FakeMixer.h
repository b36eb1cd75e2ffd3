#pragma once
// A mixer for panel tests, with the real one's limits: reads give what the mixer last
// reported, writes clamp to the fader's range and fail without a line, and changes made
// elsewhere arrive later as queued notifications, never inside the call that made them.

#include "platform/mixer/Mixer.h"

#include <QMap>
#include <QMetaObject>
#include <QStringList>

#include <algorithm>

namespace kz::test {

class FakeMixer final : public Mixer {
public:
    std::optional<SpeakerLine> line;
    bool failReads = false; // a read that fails (the mixer cannot be asked)
    QStringList writes;     // "volume 1000", "mute 1 kz_null"
    // A copy of the writes that outlives the mixer (its owner may take it along when it goes).
    std::shared_ptr<QStringList> journal = std::make_shared<QStringList>();
    // Mute states of outputs other than the line, by name.
    QMap<QString, bool> otherMutes;

    explicit FakeMixer(std::optional<SpeakerLine> l = std::nullopt) : line(std::move(l)) {}

    static SpeakerLine Stereo(std::uint32_t left, std::uint32_t right, bool muted = false) {
        return SpeakerLine{QStringLiteral("speakers"), {left, right}, true, muted};
    }

    std::optional<SpeakerLine> Line() override {
        if (failReads)
            return std::nullopt;
        return line;
    }
    bool SetVolume(std::uint32_t value) override {
        if (!line || line->channels.empty())
            return false;
        value = std::min(value, kMixerVolumeMax);
        std::fill(line->channels.begin(), line->channels.end(), value);
        Write(QStringLiteral("volume %1").arg(value));
        return true;
    }
    bool SetMute(bool on, const QString &output, bool) override {
        if (output.isEmpty() || (line && output == line->name)) {
            if (!line)
                return false;
            line->muted = on;
        } else {
            otherMutes[output] = on;
        }
        Write(QStringLiteral("mute %1 %2").arg(on ? 1 : 0).arg(output));
        return true;
    }
    void Write(const QString &what) {
        writes << what;
        *journal << what;
    }

    // Changes made by another program, reported as the server does: afterwards, queued.
    void VolumeElsewhere(std::vector<std::uint32_t> channels) {
        if (line)
            line->channels = std::move(channels);
        Notify(kMixerVolumeControl);
    }
    void MuteElsewhere(bool on) {
        if (line)
            line->muted = on;
        Notify(kMixerMuteControl);
    }
    void LineElsewhere(std::optional<SpeakerLine> l) {
        line = std::move(l);
        QMetaObject::invokeMethod(
            this, [this] { emit LineChanged(); }, Qt::QueuedConnection);
    }
    void Notify(int controlId) {
        QMetaObject::invokeMethod(
            this, [this, controlId] { emit ControlChange(controlId); }, Qt::QueuedConnection);
    }
};

} // namespace kz::test
