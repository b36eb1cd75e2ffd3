#pragma once
// Small rules of the movie view that need no window: zoom steps, the browser's swf-link rule,
// the first erase, colours in the system's COLORREF form.

#include <QColor>
#include <QString>

#include <cstdint>

namespace kz {

// Zoom percentages: 100 (the start), 80, 60, 40, 20 inwards; outwards back to 0, the whole
// movie. Each returns the new percentage; a step that is not enabled returns the old one.
inline constexpr int kZoomStart = 100;
bool ZoomInEnabled(int percent);
bool ZoomOutEnabled(int percent);
int ZoomInStep(int percent);
int ZoomOutStep(int percent);

// The home page's links: an address (other than "about:blank") whose last path element is not
// "bindex.html" and has the extension "swf" in any case is played instead of opened.
bool IsSwfLinkToPlay(const QString &url);

// The colour the view's background is filled with: white for the very first erase of the
// process, the background colour for every later one.
QColor EraseColour(bool firstEraseOfProcess, std::uint32_t colorRef);

// COLORREF is 0x00BBGGRR.
QColor FromColorRef(std::uint32_t colorRef);
std::uint32_t ToColorRef(const QColor &colour);
// White minus the colour: every one of the 24 colour bits inverted.
std::uint32_t InvertColorRef(std::uint32_t colorRef);

// The notification icon's tip: at most 127 characters are kept.
QString TrayTip(const QString &text);

} // namespace kz
