#pragma once
// Reads the facts the player needs from a movie's header: signature, version, declared length,
// frame rate and count, stage rectangle and background colour, for uncompressed ("FWS"),
// zlib-compressed ("CWS") and LZMA-compressed ("ZWS") movies, from a file or from the first
// bytes fetched over HTTP.

#include "formats/swf/ByteSource.h"
#include "formats/swf/SwfBits.h"
#include "formats/swf/SwfTagCodes.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace kz {

struct SwfHeaderInfo {
    std::int32_t isFlash = 0;
    std::int32_t version = 0;
    std::uint32_t fileLength = 0; // declared uncompressed length, unsigned in the file
    std::int32_t frameRate = 22;
    std::int32_t frameCount = 1;
    std::int32_t left = 0;
    std::int32_t right = 550;
    std::int32_t top = 0;
    std::int32_t bottom = 440;
    std::int32_t backgroundColor = 0; // 0xRRGGBB

    bool operator==(const SwfHeaderInfo &) const = default;
};

// Bytes the compressed readers take from the body: one window in, one window out.
inline constexpr std::size_t kSwfWindowBytes = 4096;
// The colour walk of an uncompressed movie reads at most this many bytes of tag headers (and
// stops at the first frame): a movie of millions of tiny tags costs no more than the window.
inline constexpr std::size_t kBackgroundWalkBytes = kSwfWindowBytes;

// Counts the bytes a read took from the file, for tests and benchmarks.
using SwfReadCounter = ReadCounter;

void ReadSwfHeader(const QString &path, SwfHeaderInfo &info, SwfReadCounter *counter = nullptr);
// The same from a file already open for reading (from its start, whatever its position).
void ReadSwfHeader(QFile &file, SwfHeaderInfo &info, SwfReadCounter *counter = nullptr);
// The body of a compressed movie (LZMA for "ZWS", else zlib): one read of at most a window
// after the 8-byte header, one decode into a window.
bool ReadCompressedSwfBody(const QString &path, bool lzma, SwfHeaderInfo &info,
                           SwfReadCounter *counter = nullptr);
// The first bytes of a compressed movie, header included: LZMA when they start "ZWS", else zlib.
bool ParseCompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info);

// Parses an uncompressed movie's first bytes (as fetched by a probe): header, rectangle, rate,
// count and the colour walk within the bytes given. Sets isFlash when the signature is "FWS".
void ParseUncompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info);

bool IsPlayableMovie(const SwfHeaderInfo &info);

// The stage fallback: an empty or inverted rectangle becomes 550 x 440 at the origin.
void ApplyStageFallback(SwfHeaderInfo &info);

} // namespace kz
