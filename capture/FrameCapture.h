#pragma once
// The capture command's steps without a window: the movie's name and the output folder, the
// control's screen area clipped to the screen, the clipboard copy and the numbered files. The
// screen and the clipboard come in as services (the real ones in CaptureCommands.cpp).

#include "capture/CaptureFiles.h"
#include "settings/Settings.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

namespace kz {

struct CaptureScreen {
    QRect geometry; // the screen the control is on, in global coordinates
    int depth = 24; // its bits per pixel
    // Copies an area of the screen (global coordinates) as it shows, windows above included.
    std::function<QImage(const QRect &area)> grab;
    std::function<void(const QImage &image)> setClipboard;
};

struct CaptureOutcome {
    QImage image;     // null when nothing was grabbed
    int counter = -1; // the files' counter, -1 when no files were due
    QStringList files;
};

CaptureFormats FormatsOf(const FrameSettings &settings);

// The control's area on the screen, clipped to the screen; empty when nothing of it shows.
QRect ClipToScreen(const QRect &control, const QRect &screen);

// One capture of the control showing `movie` at `controlOnScreen`. Nothing happens without a
// movie or without any of the control on the screen. An empty output folder writes no files.
CaptureOutcome CaptureFrame(const QString &movie, const QRect &controlOnScreen,
                            const FrameSettings &settings, const CaptureScreen &screen);

} // namespace kz
