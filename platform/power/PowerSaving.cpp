#include "PowerSaving.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <algorithm>
#include <cstdlib>

namespace kz {

namespace {

// One short connection per call: the settings are the display server's, not the connection's.
class X11PowerSettings final : public PowerSettings {
public:
    std::optional<PowerTimeouts> Read() override {
        Display *d = Open();
        if (!d)
            return std::nullopt;
        PowerTimeouts t;
        int timeout = 0, interval = 0, blanking = 0, exposures = 0;
        XGetScreenSaver(d, &timeout, &interval, &blanking, &exposures);
        t.screenSaver = timeout;
        int base = 0, error = 0;
        if (DPMSQueryExtension(d, &base, &error)) {
            CARD16 standby = 0, suspend = 0, off = 0;
            if (DPMSGetTimeouts(d, &standby, &suspend, &off)) {
                t.lowPower = standby;
                t.powerOff = off;
            }
        }
        XCloseDisplay(d);
        return t;
    }

    void Write(const PowerTimeouts &t) override {
        Display *d = Open();
        if (!d)
            return;
        int timeout = 0, interval = 0, blanking = 0, exposures = 0;
        XGetScreenSaver(d, &timeout, &interval, &blanking, &exposures);
        XSetScreenSaver(d, t.screenSaver, interval, blanking, exposures);
        int base = 0, error = 0;
        if (DPMSQueryExtension(d, &base, &error)) {
            CARD16 standby = 0, suspend = 0, off = 0;
            DPMSGetTimeouts(d, &standby, &suspend, &off);
            // The server wants standby <= suspend <= off where they are set.
            const auto low = CARD16(std::clamp(t.lowPower, 0, 65535));
            const auto high = CARD16(std::clamp(t.powerOff, 0, 65535));
            CARD16 mid = suspend;
            if (low == 0 && high == 0)
                mid = 0;
            else if (mid != 0 && ((low && mid < low) || (high && mid > high)))
                mid = high ? high : low;
            DPMSSetTimeouts(d, low, mid, high);
        }
        XSync(d, False);
        XCloseDisplay(d);
    }

private:
    static Display *Open() {
        const char *name = std::getenv("DISPLAY");
        if (!name || !*name)
            return nullptr;
        return XOpenDisplay(name);
    }
};

} // namespace

std::unique_ptr<PowerSettings> CreateX11PowerSettings() {
    return std::make_unique<X11PowerSettings>();
}

PowerSaving::PowerSaving(std::unique_ptr<PowerSettings> settings)
    : m_settings(std::move(settings)) {}

void PowerSaving::Suspend() {
    if (m_saved || !m_settings)
        return;
    const std::optional<PowerTimeouts> now = m_settings->Read();
    if (!now)
        return;
    m_saved = now;
    m_settings->Write(PowerTimeouts{});
}

void PowerSaving::Restore() {
    if (!m_saved)
        return;
    if (m_settings)
        m_settings->Write(*m_saved);
    m_saved.reset();
}

} // namespace kz
