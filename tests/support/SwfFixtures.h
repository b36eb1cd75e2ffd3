#pragma once
// Crafted movies for tests, built field by field so a test can damage any part of them.

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace kz::test {

struct SwfTag {
    std::uint16_t code = 0;
    QByteArray body;
    bool longHeader = false; // force the 32-bit length form
};

struct SwfSpec {
    char signature = 'F'; // 'F' uncompressed, 'C' zlib, 'Z' LZMA (through LzmaMovie)
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
// A "CWS" copy of an uncompressed movie, with its true declared length.
QByteArray CompressMovie(const QByteArray &fws);
// A playable uncompressed movie of exactly `bytes` bytes (at least 64), padded by a metadata
// tag the header reader skips.
QByteArray MovieOfSize(qsizetype bytes);
// A "ZWS" copy of an "FWS" or "CWS" movie with the same declared length, written by Python's
// lzma module (tests/support/zws_pack.py), an encoder independent of our decoder's use of
// liblzma. Empty when the packer fails.
QByteArray LzmaMovie(const QByteArray &movie);
// The same from file to file; false when the packer fails.
bool PackLzmaMovie(const QString &from, const QString &to);

} // namespace kz::test
