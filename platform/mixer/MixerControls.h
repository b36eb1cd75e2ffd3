#pragma once
// The two wrappers the sound panel drives the mixer through: `mutecontrol` for the speaker
// line's mute switch, `volumcontrol` for its volume fader. Opening finds the control on the
// line as it is now; a wrapper that found none is inert: writes do nothing and reads give -1.

#include "platform/mixer/Mixer.h"

#include <QString>

#include <cstdint>

namespace kz {

class mutecontrol {
public:
    explicit mutecontrol(Mixer *mixer = nullptr) : m_mixer(mixer) {}
    // Finds the mute switch; false (inert) without a mixer, a line or a switch.
    bool Open();
    int ControlId() const { return m_controlId; }
    // The output the switch belongs to (empty while inert).
    const QString &LineName() const { return m_line; }
    // 1 muted, 0 not, -1 unknown.
    int GetMute() const;
    // Sets the switch of the line found by Open (also after the default output changed);
    // `wait` for the last write before closing.
    void SetMute(int value, bool wait = false);
    // Sets the switch of a named output (the one a state was found on).
    void SetMuteOf(const QString &output, int value, bool wait = false);
    void Close();

private:
    Mixer *m_mixer;
    int m_controlId = 0;
    QString m_line;
};

class volumcontrol {
public:
    explicit volumcontrol(Mixer *mixer = nullptr) : m_mixer(mixer) {}
    // Finds the volume fader; false (inert) without a mixer, a line or a fader.
    bool Open();
    int ControlId() const { return m_controlId; }
    const QString &Name() const { return m_name; }
    int ChannelCount() const { return m_channels; }
    int Minimum() const { return m_min; }
    int Maximum() const { return m_max; }
    // The fader's position: the mean of the channels, within minimum … maximum; -1 unknown.
    int GetVolume() const;
    // Every channel gets the same value.
    void SetVolume(int value);
    void Close();

private:
    Mixer *m_mixer;
    int m_controlId = 0;
    QString m_name;
    int m_channels = 0;
    int m_min = 0;
    int m_max = 0;
};

} // namespace kz
