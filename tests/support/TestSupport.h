#pragma once
// Shared test material: the corpus, private scratch folders and crafted movie bytes.

#include "SwfFixtures.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kz::test {

// The SWF corpus folder, and its movie files sorted by name.
QString CorpusDir();
QStringList CorpusFiles();
// The program directory of the build and the source tree.
QString BinDir();
QString SourceDir();

// Points HOME, the XDG configuration and data folders and a private runtime folder of this
// process at `home`, so a test's settings, associations and sockets stay there.
void UsePrivateHome(const QString &home);
// The test program's own private home, made on first use (UsePrivateHome), with the program
// directory pointed at its folder "program/". Every call gives the same folder.
QTemporaryDir &TestHome();
// TestHome()'s "program/" folder, with a trailing separator.
QString TestProgramDir();

// Runs the event loop until `done` or the time-out; false on the time-out.
bool PumpUntil(const std::function<bool()> &done, int ms = 10000);
// Runs the event loop for a while.
void Pump(int ms);
// Waits without an event loop (for other processes); false on the time-out.
bool SleepUntil(const std::function<bool()> &done, int ms);

// Removes proxy settings from the environment so loopback requests go direct.
void ClearProxyEnvironment();

// Writes bytes to a file, creating its folder.
bool WriteFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);

} // namespace kz::test
