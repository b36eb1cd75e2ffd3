#pragma once
// What the play controller needs from the frame, the list bar and the view, as one small
// interface: the frame implements it over its windows, tests over fakes.

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace kz {

class PlayHost {
public:
    virtual ~PlayHost() = default;

    // The play list: row count, a row's column text (0 path, 1 name), scrolling, redrawing.
    virtual int PlayListRowCount() const = 0;
    virtual QString PlayListText(int row, int column) const = 0;
    virtual void EnsurePlayListRowVisible(int row) = 0;
    virtual void RedrawPlayList() = 0;

    // The net search: the result addresses, and whether the list bar shows the search.
    virtual QStringList NetResultList() const = 0;
    virtual bool NetSearchViewShown() const = 0;

    // The frame: its end-of-list rule (closes the frame, true, when auto-close is armed and
    // closing at the end of the play list is on), its screen modes and their toggles,
    // activation.
    virtual bool CloseAtEndOfPlayList() = 0;
    virtual bool FullScreen() const = 0;
    virtual bool ActualSize() const = 0;
    virtual void ToggleFullScreen() = 0;
    virtual void ToggleActualSize() = 0;
    virtual void ActivateFrame() = 0;

    // The view: its information line (COLORREF colours), background colour setting, zoom,
    // the movie's layout, the browser, the loading strip, capture, and the play state it
    // lays itself out by.
    virtual void SetInfoText(const QString &text) = 0;
    virtual void SetInfoColours(std::uint32_t textColour, std::uint32_t backColour) = 0;
    virtual std::uint32_t BackColour() const = 0;
    virtual void SetZoom(int percent) = 0;
    virtual void LayOutMovie(QSize stage) = 0;
    // The browser takes the view back (stopped) or gives way to the movie.
    virtual void ShowBrowser() = 0;
    virtual void HideBrowser() = 0;
    virtual void SetLoadingProgress(int percent) = 0;
    virtual void Capture() = 0;
    virtual void PlayStateChanged(int state) = 0;
};

} // namespace kz
