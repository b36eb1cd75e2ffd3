#include "FrameCapture.h"

#include "capture/BmpWriter.h"

#include <QDir>

namespace kz {

CaptureFormats FormatsOf(const FrameSettings &s) {
    return {s.m_bBmpFormat != 0, s.m_bJpgFormat != 0, s.m_bGifFormat != 0, s.m_bPngFormat != 0};
}

QRect ClipToScreen(const QRect &control, const QRect &screen) {
    if (control.isEmpty())
        return {};
    const QRect clipped = control.intersected(screen);
    return clipped.isEmpty() ? QRect() : clipped;
}

CaptureOutcome CaptureFrame(const QString &movie, const QRect &controlOnScreen,
                            const FrameSettings &settings, const CaptureScreen &screen) {
    CaptureOutcome out;
    if (movie.isEmpty())
        return out;
    const QString folder = settings.m_strSavedDirectory;
    const QString base = CaptureBase(folder, CaptureMovieName(movie));
    // The folder is made even when no files are due, so the browse command finds it.
    if (!folder.isEmpty())
        QDir().mkpath(folder);

    const QRect area = ClipToScreen(controlOnScreen, screen.geometry);
    if (area.isEmpty() || !screen.grab)
        return out;
    out.image = screen.grab(area);
    if (out.image.isNull())
        return out;

    if (settings.m_bSavedInClipboard && screen.setClipboard)
        screen.setClipboard(out.image);

    // Without a folder the names would land at the root of the file system.
    if (!settings.m_bSavedInFile || folder.isEmpty())
        return out;
    const CaptureFormats formats = FormatsOf(settings);
    out.counter = FindCaptureCounter(base, formats);
    if (out.counter < 0)
        return out;
    out.files =
        WriteCaptureFiles(out.image, BmpBitsForDepth(screen.depth), base, out.counter, formats);
    return out;
}

} // namespace kz
