#pragma once
// The system mixer's speaker line: the default output's per-channel volume and its mute switch,
// with change notifications. The line is read from what the mixer last reported, so a read
// never waits; writes are sent and not waited for.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kz {

// The controls of the speaker line, by the ids the change notification carries.
inline constexpr int kMixerMuteControl = 1;
inline constexpr int kMixerVolumeControl = 2;
// The fader's range: silence to full volume, no amplification beyond it.
inline constexpr std::uint32_t kMixerVolumeMin = 0;
inline constexpr std::uint32_t kMixerVolumeMax = 0x10000;

struct SpeakerLine {
    QString name;                        // the output's name as the mixer reports it
    std::vector<std::uint32_t> channels; // the volume of each channel; empty: no volume control
    bool hasMute = true;
    bool muted = false;
    bool operator==(const SpeakerLine &) const = default;
};

class Mixer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // The line as the mixer last reported it; empty without a mixer or an output.
    virtual std::optional<SpeakerLine> Line() = 0;
    // Sets every channel of the line to `value` (clamped to the fader's range); false when
    // nothing could be sent.
    virtual bool SetVolume(std::uint32_t value) = 0;
    // Sets the mute switch of the line, or of the named output; false when nothing could be
    // sent. With `wait`, returns once the mixer has taken it (bounded), for the last write
    // before the mixer is closed.
    virtual bool SetMute(bool on, const QString &output = {}, bool wait = false) = 0;

signals:
    // A control of the line changed (kMixerMuteControl, kMixerVolumeControl); delivered on the
    // mixer object's thread.
    void ControlChange(int controlId);
    // The line appeared, went away, or is now another output (the default output changed).
    void LineChanged();
};

// The default output of the PulseAudio server the environment names (threaded main loop);
// inert while no server answers, and picks a server up when it comes (back). Waits at most
// `firstAnswerMs` for the server's first answer.
std::unique_ptr<Mixer> CreatePulseMixer(int firstAnswerMs = 100);

} // namespace kz
