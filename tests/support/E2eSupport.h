#pragma once
// Shared pieces of the end-to-end tests (their main, support/TestMain.cpp, prepares the web
// engine before the application object and uses the build's program directory): waiting
// with and without the event loop, screenshots and their colours, a private home for a started
// program, and keeping the user's state files.

#include "TestSupport.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QApplication;

namespace kz::test {

// Distinct colours among the pixels sampled every `step` pixels.
int DistinctColours(const QImage &img, int step = 4);
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
