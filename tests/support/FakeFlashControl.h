#pragma once
// Fakes of the Flash and browser controls for widget tests: they keep the state a caller sets
// through the control's members, log every call, and let a test raise the control's signals.

#include "platform/flash/FlashControl.h"
#include "platform/flash/FlashState.h"

#include <QStringList>

#include <optional>

namespace kz::test {

// What the fake's engine can do, as the two kinds of movie on the real control.
enum class FakeEngine {
    // An instrumented ActionScript 1/2 movie: it reports the frames it shows, seeks, and
    // stands still when it halts itself.
    Reports,
    // Any other movie: the frame is a clock over the frame rate, only frame 0 can be sought
    // (it restarts), and IsPlaying mirrors Play and StopPlay.
    Clock,
};

class FakeFlashControl : public FlashControl {
    Q_OBJECT
public:
    explicit FakeFlashControl(QWidget *parent = nullptr, FakeEngine engine = FakeEngine::Reports);

    QString Movie() const override { return m_state.Movie(); }
    void Play() override;
    void Stop() override;
    void Zoom(int percent) override;
    void SetBackgroundColor(int rgb) override;
    int TotalFrames() const override { return m_state.TotalFrames(); }
    void StopPlay() override;
    void GotoFrame(int frame) override;
    int CurrentFrame() const override {
        return Scripted() && scriptedFrame ? *scriptedFrame : m_state.CurrentFrame();
    }
    bool IsPlaying() const override {
        return Scripted() && scriptedPlaying ? *scriptedPlaying : m_state.IsPlaying();
    }
    bool ReportsFrames() const override {
        return engine == FakeEngine::Reports && (scriptedFrame || m_state.Reporting());
    }
    int PercentLoaded() const override { return m_state.PercentLoaded(); }
    int FlashVersion() const override { return 32 << 16; }
    void SetScale(const QString &scale) override;
    void LoadMovie(int layer, const QString &url) override;
    int ReadyState() const override { return m_state.ReadyState(); }
    // Taken up by the next load, as the engine takes its load options.
    void SetPlayOptions(const PlayOptions &o) override;

    // Finishes the current load as the engine would, with the given facts (the rate the movie
    // was loaded at stands for the header's); a reporting movie then shows its first frame.
    void FinishLoad(const MovieFacts &facts, bool playing = true);
    // Reports: the movie showed `frame` (from 1). Its playing flag drops when no frame follows
    // within a few frame times of the fake's clock.
    void ShowFrame(int frame);
    // Moves the fake's clock.
    void Advance(std::int64_t ms) { nowMs += ms; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

public:
    const FakeEngine engine;
    std::int64_t nowMs = 0;
    // With a reporting engine a test may script the frame and the playing flag the controller
    // polls (any frame and a halt are possible there); unset, or with the clock engine, the
    // state mirror answers.
    std::optional<int> scriptedFrame;
    std::optional<bool> scriptedPlaying;
    // The calls that start with a text ("Play", "LoadMovie 0 ").
    int CountCalls(const QString &prefix) const;

    QStringList calls;   // "LoadMovie 0 x.swf", "Zoom 80", …
    QStringList keys;    // "down 16777264", "up 65" for every key event the control receives
    int background = -2; // -2 never set
    QString scale;
    PlayOptions options;       // the last set
    PlayOptions loadedOptions; // those the movie in play was loaded with
    FlashState m_state;

private:
    bool Scripted() const { return engine == FakeEngine::Reports; }
};

class FakeBrowserControl : public BrowserControl {
    Q_OBJECT
public:
    using BrowserControl::BrowserControl;
    // Asks BeforeNavigate2 first, as the real control does; a cancelled address is not shown.
    void Navigate(const QString &url) override;
    QString LocationURL() const override { return m_location; }
    void SetLocalOnly(bool on) override { localOnly = on; }

    QStringList navigated; // every Navigate call
    bool localOnly = false;
    QString m_location;
};

} // namespace kz::test
