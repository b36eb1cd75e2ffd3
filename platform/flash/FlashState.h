#pragma once
// The C++ side's mirror of the engine's player state, so that the control's getters answer at
// once. The engine has no frame API. A movie we instrumented reports every frame it shows:
// then the frame is the one reported, and the movie plays while reports keep coming. Until
// reports arrive (and for movies that cannot report) the frame is a clock over the frame rate
// while the movie plays, wrapping at the frame count, frozen while it is stopped.

#include <QString>

#include <cstdint>
#include <functional>

namespace kz {

struct MovieFacts {
    int width = 0;
    int height = 0;
    double frameRate = 0;
    int frameCount = 0;
    int swfVersion = 0;
    int backgroundColor = -1; // 0xRRGGBB, -1 unknown
};

class FlashState {
public:
    using Clock = std::function<std::int64_t()>; // milliseconds, monotonic
    explicit FlashState(Clock clock = {});

    // A load begins: the movie address is known, nothing else yet.
    void BeginLoad(const QString &movie);
    // Bytes of a web movie arrived (total -1 when unknown).
    void Progress(std::int64_t received, std::int64_t total);
    // The whole movie is in hand and goes to the engine.
    void Loaded();
    // The engine reports the movie; playback starts when autoplay is on.
    void Ready(const MovieFacts &facts, bool playing);
    // Loading failed: no movie to report, the address stays.
    void Fail();
    // The control was emptied.
    void Clear();

    void Play();
    void Stop();
    void Restart();
    // The engine's own play flag, reported now and then; resynchronises the clock.
    void EngineReportsPlaying(bool playing);
    // The movie showed `frame` (counted from 1, as the movie counts).
    void ReportFrame(int frame);
    // A seek the movie carries out (counted from 0); only a reporting movie can seek.
    bool SeekTo(int frame);
    // True once the movie reports its frames.
    bool Reporting() const { return m_reporting; }
    // How long without a report before a playing movie counts as standing still.
    std::int64_t StandStillMs() const;

    QString Movie() const { return m_movie; }
    bool HasMovie() const { return m_ready; }
    int CurrentFrame() const;
    int TotalFrames() const { return m_ready ? m_facts.frameCount : 0; }
    bool IsPlaying() const;
    int PercentLoaded() const { return m_percent; }
    int ReadyState() const { return m_readyState; }
    const MovieFacts &Facts() const { return m_facts; }

    // Zoom as the control's method takes it; the factor is what the page applies.
    void Zoom(int percent);
    double ZoomFactor() const { return m_zoom; }

private:
    std::int64_t Now() const;

    Clock m_clock;
    QString m_movie;
    MovieFacts m_facts;
    bool m_ready = false;
    bool m_playing = false;
    int m_percent = 0;
    int m_readyState = 4;
    std::int64_t m_clockStart = 0; // when the frame clock last (re)started
    int m_frameAtStart = 0;        // the frame it started from
    double m_zoom = 1.0;
    bool m_reporting = false;
    int m_reported = 0;            // the last reported frame, from 0
    std::int64_t m_lastReport = 0; // when it came
};

} // namespace kz
