#include "FakeFlashControl.h"

#include <QKeyEvent>

#include <algorithm>

namespace kz::test {

FakeFlashControl::FakeFlashControl(QWidget *parent, FakeEngine engine)
    : FlashControl(parent), engine(engine), m_state([this] { return nowMs; }) {}

void FakeFlashControl::Play() {
    calls << QStringLiteral("Play");
    m_state.Play();
}

void FakeFlashControl::Stop() {
    calls << QStringLiteral("Stop");
    m_state.Stop();
}

void FakeFlashControl::StopPlay() {
    calls << QStringLiteral("StopPlay");
    m_state.Stop();
}

void FakeFlashControl::Zoom(int percent) {
    calls << QStringLiteral("Zoom %1").arg(percent);
    m_state.Zoom(percent);
}

void FakeFlashControl::SetBackgroundColor(int rgb) {
    calls << QStringLiteral("BackgroundColor %1").arg(rgb);
    background = rgb;
}

void FakeFlashControl::GotoFrame(int frame) {
    calls << QStringLiteral("GotoFrame %1").arg(frame);
    if (engine == FakeEngine::Reports) {
        if (scriptedFrame && *scriptedFrame >= 0)
            scriptedFrame = std::clamp(frame, 0, std::max(0, m_state.TotalFrames() - 1));
        else
            m_state.SeekTo(frame);
        return;
    }
    if (frame == 0)
        m_state.Restart();
}

void FakeFlashControl::ShowFrame(int frame) {
    if (engine == FakeEngine::Reports)
        m_state.ReportFrame(frame);
}

void FakeFlashControl::SetScale(const QString &s) {
    calls << QStringLiteral("Scale ") + s;
    scale = s;
}

void FakeFlashControl::SetPlayOptions(const PlayOptions &o) {
    calls << QStringLiteral("SetPlayOptions %1 %2").arg(o.speed).arg(o.quality);
    options = o;
}

void FakeFlashControl::LoadMovie(int layer, const QString &url) {
    calls << QStringLiteral("LoadMovie %1 %2").arg(layer).arg(url);
    loadedOptions = options;
    if (url.isEmpty() || url == QLatin1String(kBlankMovie))
        m_state.Clear();
    else
        m_state.BeginLoad(url);
}

void FakeFlashControl::FinishLoad(const MovieFacts &given, bool playing) {
    MovieFacts facts = given;
    facts.frameRate *= loadedOptions.speed;
    m_state.Loaded();
    m_state.Ready(facts, playing);
    if (engine == FakeEngine::Reports)
        m_state.ReportFrame(1);
    emit MovieReady();
}

int FakeFlashControl::CountCalls(const QString &prefix) const {
    int n = 0;
    for (const QString &c : calls)
        n += c.startsWith(prefix);
    return n;
}

void FakeFlashControl::keyPressEvent(QKeyEvent *event) {
    keys << QStringLiteral("down %1").arg(event->key());
}

void FakeFlashControl::keyReleaseEvent(QKeyEvent *event) {
    keys << QStringLiteral("up %1").arg(event->key());
}

void FakeBrowserControl::Navigate(const QString &url) {
    navigated << url;
    bool cancel = false;
    emit BeforeNavigate2(url, &cancel);
    // Like the real control's request filter: a local-only page goes nowhere remote.
    const bool remote =
        url.startsWith(QLatin1String("http:")) || url.startsWith(QLatin1String("https:"));
    if (!cancel && !(localOnly && remote))
        m_location = url;
}

} // namespace kz::test
