#pragma once
// The play controller's host over the movie view, the main frame and the list bar's play list.

#include "playback/PlayHost.h"

#include <functional>

namespace kz {

class CKZPlayerView;
class CMainFrame;

class CViewPlayHost final : public PlayHost {
public:
    CViewPlayHost(CKZPlayerView *view, CMainFrame *frame) : m_view(view), m_frame(frame) {}

    int PlayListRowCount() const override;
    QString PlayListText(int row, int column) const override;
    void EnsurePlayListRowVisible(int row) override;
    void RedrawPlayList() override;
    QStringList NetResultList() const override;
    bool NetSearchViewShown() const override;
    bool CloseAtEndOfPlayList() override;
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
};

} // namespace kz
