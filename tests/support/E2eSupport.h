#pragma once
// Shared pieces of the end-to-end tests (their main, support/TestMain.cpp, prepares the web
// engine before the application object and uses the build's program directory): waiting
// with and without the event loop, screenshots and their colours, a private home for a started
// program, and keeping the user's state files.

#include "TestSupport.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QApplication;

namespace kz::test {

// A movie of 320 x 240 at 12 frames a second over a dark stage: a square of `side` pixels in
// `colour` crossing the stage in `frames` frames.
QByteArray AnimatedSquare(int frames, QColor colour, int side);

// Distinct colours among the pixels sampled every `step` pixels.
int DistinctColours(const QImage &img, int step = 4);
// Pixels sampled every `step` pixels that lie within 40 of the colour in each channel.
int CountNear(const QImage &img, QColor colour, int step = 2);
// A screenshot of the whole display, saved at the path.
QImage ScreenShot(const QString &path);

// HOME, the XDG folders and the runtime folder of a started program, all under `home`.
QProcessEnvironment PrivateEnvironment(const QString &home);

// A player frame made in the test's own process writes its play lists into this process's user
// data folder when it closes; what was there before is put back when this goes.
struct KeepStateFiles {
    KeepStateFiles();
    ~KeepStateFiles();
    QList<std::pair<QString, std::optional<QByteArray>>> files;
};

} // namespace kz::test
