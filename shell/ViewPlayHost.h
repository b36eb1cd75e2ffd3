#pragma once
// The play controller's host over the movie view and the main frame. Until the list bar's
// play list exists, the rows are a plain list here (the command-line movie).

#include "playback/PlayHost.h"

#include <QList>
#include <QPair>

namespace kz {

class CKZPlayerView;
class CMainFrame;

class CViewPlayHost final : public PlayHost {
public:
    CViewPlayHost(CKZPlayerView *view, CMainFrame *frame) : m_view(view), m_frame(frame) {}

    void AppendRow(const QString &path, const QString &name) { m_rows.append({path, name}); }

    int PlayListRowCount() const override { return int(m_rows.size()); }
    QString PlayListText(int row, int column) const override;
    void EnsurePlayListRowVisible(int) override {}
    void RedrawPlayList() override {}
    QStringList NetResultList() const override { return {}; }
    bool NetSearchViewShown() const override { return false; }
    bool AutoCloseArmed() const override { return false; }
    bool CloseEndOfPlayingList() const override { return false; }
    void CloseFrame() override;
    bool FullScreen() const override;
    bool ActualSize() const override;
    void ToggleFullScreen() override;
    void ToggleActualSize() override;
    void ActivateFrame() override;
    void SetInfoText(const QString &text) override;
    void SetInfoColours(std::uint32_t textColour, std::uint32_t backColour) override;
    std::uint32_t BackColour() const override;
    void SetZoom(int percent) override;
    void LayOutMovie(QSize stage) override;
    void ShowBrowser() override;
    void HideBrowser() override;
    void SetLoadingProgress(int percent) override;
    void Capture() override;
    void PlayStateChanged(int state) override;

private:
    CKZPlayerView *m_view;
    CMainFrame *m_frame;
    QList<QPair<QString, QString>> m_rows;
};

} // namespace kz
