#pragma once
// Fakes of the Flash and browser controls for widget tests: they keep the state a caller sets
// through the control's members, log every call, and let a test raise the control's signals.

#include "platform/flash/FlashControl.h"
#include "platform/flash/FlashState.h"

#include <QStringList>

#include <optional>

namespace kz::test {

class FakeFlashControl : public FlashControl {
    Q_OBJECT
public:
    explicit FakeFlashControl(QWidget *parent = nullptr);

    QString Movie() const override { return m_state.Movie(); }
    void Play() override;
    void Stop() override;
    void Zoom(int percent) override;
    void SetBackgroundColor(int rgb) override;
    int TotalFrames() const override { return m_state.TotalFrames(); }
    void StopPlay() override;
    void GotoFrame(int frame) override;
    int CurrentFrame() const override {
        return scriptedFrame ? *scriptedFrame : m_state.CurrentFrame();
    }
    bool IsPlaying() const override {
        return scriptedPlaying ? *scriptedPlaying : m_state.IsPlaying();
    }
    int PercentLoaded() const override { return m_state.PercentLoaded(); }
    int FlashVersion() const override { return 32 << 16; }
    void SetScale(const QString &scale) override;
    void LoadMovie(int layer, const QString &url) override;
    int ReadyState() const override { return m_state.ReadyState(); }

    // Finishes the current load as the engine would, with the given facts.
    void FinishLoad(const MovieFacts &facts, bool playing = true);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

public:
    // A test scripts the frame and the playing flag the controller polls; unset, the state
    // mirror answers.
    std::optional<int> scriptedFrame;
    std::optional<bool> scriptedPlaying;
    // The calls that start with a text ("Play", "LoadMovie 0 ").
    int CountCalls(const QString &prefix) const;

    QStringList calls;   // "LoadMovie 0 x.swf", "Zoom 80", …
    QStringList keys;    // "down 16777264", "up 65" for every key event the control receives
    int background = -2; // -2 never set
    QString scale;
    FlashState m_state;
};

class FakeBrowserControl : public BrowserControl {
    Q_OBJECT
public:
    using BrowserControl::BrowserControl;
    // Asks BeforeNavigate2 first, as the real control does; a cancelled address is not shown.
    void Navigate(const QString &url) override;
    QString LocationURL() const override { return m_location; }

    QStringList navigated; // every Navigate call
    QString m_location;
};

} // namespace kz::test
