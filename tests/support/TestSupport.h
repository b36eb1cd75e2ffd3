#pragma once
// Shared test material: the corpus, private scratch folders and crafted movie bytes.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

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

// Removes proxy settings from the environment so loopback requests go direct.
void ClearProxyEnvironment();

// Writes bytes to a file, creating its folder.
bool WriteFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);

// A crafted movie, built field by field so tests can damage any part of it.
struct SwfTag {
    std::uint16_t code = 0;
    QByteArray body;
    bool longHeader = false; // force the 32-bit length form
};

struct SwfSpec {
    char signature = 'F'; // 'F' uncompressed, 'C' zlib
    std::uint8_t version = 10;
    // RECT in twips and the bit count per field (0 = the smallest that fits).
    std::int32_t xMin = 0, xMax = 11000, yMin = 0, yMax = 8000;
    int rectBits = 0;
    std::uint8_t rateFraction = 0, rateInteger = 24;
    std::uint16_t frameCount = 1;
    std::vector<SwfTag> tags;
    bool endTag = true;
    std::int64_t declaredLength = -1; // -1 = the true uncompressed length
};

QByteArray BuildSwf(const SwfSpec &spec);
QByteArray TagBytes(const SwfTag &tag);
QByteArray BackgroundTag(std::uint8_t r, std::uint8_t g, std::uint8_t b);
// zlib stream of the bytes (default level).
QByteArray Deflate(const QByteArray &bytes);

} // namespace kz::test
