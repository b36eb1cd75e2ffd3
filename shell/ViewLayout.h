#pragma once
// Where the movie view puts its children for a client size: the information line, the "Back"
// button, the play controller and the loading strip, the home-page browser and the Flash
// control, in the windowed, full-screen and actual-size modes.

#include "playback/PlayState.h"

#include <QRect>
#include <QSize>

namespace kz {

inline constexpr int kPlayControllerHeight = 76;
inline constexpr int kLoadingStripHeight = 12;

struct ViewLayoutInput {
    QSize client;              // W x H
    int infoHeight = 0;        // T, the information line's own height
    int stripHeightBefore = 0; // S, the loading strip's client height before this layout
    QSize backImage;           // the "Back" button's image size
    bool fullScreen = false;
    bool actualSize = false;
    bool gameMode = false;
    int playState = kStateStopped;
    QSize movie; // the movie's stage in pixels; empty when unknown
    int controllerHeight = kPlayControllerHeight;
    int stripHeight = kLoadingStripHeight;
};

struct ViewLayout {
    QRect info;
    bool infoVisible = false;
    QRect back;
    bool backVisible = false;
    QRect controller;
    QRect strip;
    bool panelsVisible = false; // play controller and loading strip
    QRect browser;              // 0 x 0 at the origin when hidden
    QRect flash;
};

ViewLayout LayOutView(const ViewLayoutInput &in);

// The Flash control's rectangle in a full-screen mode: the full-screen fit, or (actual size)
// the movie's own size centred; the whole client area when the movie does not fit that way.
QRect FullScreenFit(QSize client, QSize movie);
QRect ActualSizeRect(QSize client, QSize movie);
// The Flash control's rectangle while a movie plays in a window: the movie's proportions in
// the space above the panels. `available` is the height for the movie, `top` its top edge.
QRect WindowedFit(int clientWidth, int available, int top, QSize movie);

} // namespace kz
