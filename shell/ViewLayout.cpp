#include "ViewLayout.h"

#include <algorithm>
#include <cstdint>

namespace kz {

namespace {
bool Positive(QSize s) {
    return s.width() > 0 && s.height() > 0;
}
} // namespace

QRect FullScreenFit(QSize client, QSize movie) {
    const int W = client.width(), H = client.height();
    const QRect whole(0, 0, W, H);
    const int w = movie.width(), h = movie.height();
    if (!Positive(movie) || w >= W || h >= H)
        return whole;
    const double rx = double(W) / w;
    const double ry = double(H) / h;
    if (ry <= rx) {
        const int width = int(std::int64_t(H) * w / h);
        if (width > W * 3 / 4)
            return QRect((W - width) / 2, 0, width, H);
    } else {
        const int height = int(std::int64_t(W) * h / w);
        if (height > H * 3 / 4)
            return QRect(0, (H - height) / 2, W, height);
    }
    return whole;
}

QRect ActualSizeRect(QSize client, QSize movie) {
    const int W = client.width(), H = client.height();
    if (Positive(movie) && movie.width() < W && movie.height() < H)
        return QRect((W - movie.width()) / 2, (H - movie.height()) / 2, movie.width(),
                     movie.height());
    return QRect(0, 0, W, H);
}

QRect WindowedFit(int W, int A, int Y, QSize movie) {
    const int w = movie.width(), h = movie.height();
    if (!Positive(movie) || W <= 0 || A <= 0)
        return QRect(0, Y, std::max(W, 0), std::max(A, 0));
    if (A < W) {
        const int width = int(std::min<std::int64_t>(std::int64_t(w) * A / h, W));
        return QRect((W - width) / 2, Y, width, A);
    }
    const int height = int(std::min<std::int64_t>(std::int64_t(W) * h / w, A));
    return QRect(0, Y + (A - height) / 2, W, height);
}

ViewLayout LayOutView(const ViewLayoutInput &in) {
    const int W = in.client.width(), H = in.client.height();
    const int T = in.infoHeight;
    const bool windowed = !in.fullScreen && !in.actualSize;
    const bool stopped = in.playState == kStateStopped;
    ViewLayout out;

    out.info = QRect(0, 0, W, T);
    out.infoVisible = windowed;

    out.back = QRect(W - in.backImage.width(), 0, in.backImage.width(), in.backImage.height());
    out.backVisible = !windowed && in.gameMode;

    out.controller = QRect(0, H - in.controllerHeight, W, in.controllerHeight);
    out.strip = QRect(0, H - in.controllerHeight - in.stripHeight, W, in.stripHeight);
    out.panelsVisible = windowed;

    const int panels = in.controllerHeight + in.stripHeight;
    out.browser =
        (stopped && windowed) ? QRect(0, T, W, std::max(0, H - panels - T)) : QRect(0, 0, 0, 0);

    if (windowed) {
        out.flash = QRect(0, T, W, std::max(0, H - T - T / 2 - 2 * in.stripHeightBefore));
        // A paused movie keeps its proportions as a playing one does.
        if (!stopped) {
            const int available = H - T - T / 2 - in.controllerHeight - in.stripHeight;
            out.flash = WindowedFit(W, available, T, in.movie);
        }
    } else if (stopped) {
        out.flash = QRect(0, 0, W, H);
    } else if (in.fullScreen) {
        out.flash = FullScreenFit(in.client, in.movie);
    } else {
        out.flash = ActualSizeRect(in.client, in.movie);
    }
    return out;
}

} // namespace kz
