#pragma once
// The system's power-saving and screen-saver time-outs, so that a playing movie is not blanked:
// saved and zeroed when the first movie starts, put back when playback stops for good. On X11
// the display's DPMS standby and off time-outs and its screen-saver time-out; without an X11
// display nothing is read or changed.

#include <memory>
#include <optional>

namespace kz {

// Seconds; 0 means never.
struct PowerTimeouts {
    int lowPower = 0;
    int powerOff = 0;
    int screenSaver = 0;
    bool operator==(const PowerTimeouts &) const = default;
};

class PowerSettings {
public:
    virtual ~PowerSettings() = default;
    // Empty when the system cannot say.
    virtual std::optional<PowerTimeouts> Read() = 0;
    virtual void Write(const PowerTimeouts &t) = 0;
};

// The X11 display named by $DISPLAY; inert when there is none.
std::unique_ptr<PowerSettings> CreateX11PowerSettings();

// The saved copy: the first Suspend saves and zeroes, Restore writes the copy back once.
class PowerSaving {
public:
    explicit PowerSaving(std::unique_ptr<PowerSettings> settings);
    // Saves the time-outs and sets them to 0, unless a copy is already saved.
    void Suspend();
    // Writes the saved copy back and discards it; nothing when none is saved.
    void Restore();
    bool HasSavedCopy() const { return m_saved.has_value(); }
    PowerSettings *Settings() const { return m_settings.get(); }

private:
    std::unique_ptr<PowerSettings> m_settings;
    std::optional<PowerTimeouts> m_saved;
};

} // namespace kz
