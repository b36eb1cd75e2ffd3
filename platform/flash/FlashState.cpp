#include "FlashState.h"

#include "FlashControl.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace kz {

namespace {
std::int64_t SteadyMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
// Zoom stays within what a page can still draw.
constexpr double kMinZoom = 1.0 / 64;
constexpr double kMaxZoom = 64.0;
// A movie that reports no frame for this many frame times (and at least the minimum) stands.
constexpr double kStandStillFrames = 3.0;
constexpr std::int64_t kMinStandStillMs = 300;
} // namespace

FlashState::FlashState(Clock clock) : m_clock(std::move(clock)) {}

std::int64_t FlashState::Now() const {
    return m_clock ? m_clock() : SteadyMs();
}

void FlashState::BeginLoad(const QString &movie) {
    m_movie = movie;
    m_facts = {};
    m_ready = false;
    m_playing = false;
    m_percent = 0;
    m_readyState = kReadyLoading;
    m_frameAtStart = 0;
    m_reporting = false;
    m_reported = 0;
}

void FlashState::Progress(std::int64_t received, std::int64_t total) {
    if (total <= 0 || received < 0)
        return;
    // 100 only once the whole movie is in hand.
    const std::int64_t p = std::min<std::int64_t>(received, total) * 100 / total;
    m_percent = std::clamp<int>(int(p), m_percent, 99);
}

void FlashState::Loaded() {
    m_percent = 100;
    m_readyState = kReadyInteractive;
}

void FlashState::Ready(const MovieFacts &facts, bool playing) {
    m_facts = facts;
    m_ready = true;
    m_percent = 100;
    m_readyState = kReadyComplete;
    m_frameAtStart = 0;
    m_clockStart = Now();
    m_playing = playing;
}

void FlashState::Fail() {
    m_reporting = false;
    m_facts = {};
    m_ready = false;
    m_playing = false;
    m_percent = 0;
    m_readyState = kReadyComplete;
    m_frameAtStart = 0;
}

void FlashState::Clear() {
    m_reporting = false;
    m_movie.clear();
    m_facts = {};
    m_ready = false;
    m_playing = false;
    m_percent = 0;
    m_readyState = kReadyComplete;
    m_frameAtStart = 0;
}

int FlashState::CurrentFrame() const {
    if (!m_ready)
        return -1;
    if (m_reporting)
        return m_reported;
    if (m_facts.frameCount <= 0)
        return 0;
    if (!m_playing || m_facts.frameRate <= 0)
        return m_frameAtStart;
    const double elapsed = double(std::max<std::int64_t>(0, Now() - m_clockStart));
    const double advanced = std::floor(elapsed * m_facts.frameRate / 1000.0);
    const double frame = std::fmod(m_frameAtStart + advanced, double(m_facts.frameCount));
    return int(frame);
}

bool FlashState::IsPlaying() const {
    if (!m_ready || !m_playing)
        return false;
    return !m_reporting || Now() - m_lastReport <= StandStillMs();
}

std::int64_t FlashState::StandStillMs() const {
    if (m_facts.frameRate <= 0)
        return 10 * kMinStandStillMs;
    return std::max(kMinStandStillMs,
                    std::int64_t(std::ceil(kStandStillFrames * 1000.0 / m_facts.frameRate)));
}

void FlashState::ReportFrame(int frame) {
    if (frame < 1)
        return;
    m_reporting = true;
    m_reported = frame - 1;
    m_lastReport = Now();
}

bool FlashState::SeekTo(int frame) {
    if (!m_ready || !m_reporting)
        return false;
    const int last = std::max(0, m_facts.frameCount - 1);
    m_reported = std::clamp(frame, 0, last);
    m_lastReport = Now();
    return true;
}

void FlashState::Play() {
    // The movie may have halted itself: reports are awaited afresh.
    m_lastReport = Now();
    if (!m_ready || m_playing)
        return;
    m_clockStart = Now();
    m_playing = true;
}

void FlashState::Stop() {
    if (!m_ready || !m_playing)
        return;
    m_frameAtStart = CurrentFrame();
    m_playing = false;
}

void FlashState::Restart() {
    if (!m_ready)
        return;
    m_frameAtStart = 0;
    m_clockStart = Now();
}

void FlashState::EngineReportsPlaying(bool playing) {
    if (playing)
        Play();
    else
        Stop();
}

void FlashState::Zoom(int percent) {
    if (percent == 0) {
        m_zoom = 1.0;
    } else if (percent > 0) {
        m_zoom = std::clamp(m_zoom * 100.0 / percent, kMinZoom, kMaxZoom);
    }
}

} // namespace kz
