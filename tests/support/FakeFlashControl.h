#pragma once
// Fakes of the Flash and browser controls for widget tests: they keep the state a caller sets
// through the control's members, log every call, and let a test raise the control's signals.

#include "platform/flash/FlashControl.h"
#include "platform/flash/FlashState.h"

#include <QStringList>

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
    int CurrentFrame() const override { return m_state.CurrentFrame(); }
    bool IsPlaying() const override { return m_state.IsPlaying(); }
    int PercentLoaded() const override { return m_state.PercentLoaded(); }
    int FlashVersion() const override { return 32 << 16; }
    void SetScale(const QString &scale) override;
    void LoadMovie(int layer, const QString &url) override;
    int ReadyState() const override { return m_state.ReadyState(); }

    // Finishes the current load as the engine would, with the given facts.
    void FinishLoad(const MovieFacts &facts, bool playing = true);

    QStringList calls;   // "LoadMovie 0 x.swf", "Zoom 80", …
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
