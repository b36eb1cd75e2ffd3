#pragma once
// The framing of a movie: its signature and 8-byte header, the frame rate and count after the
// RECT, and the tag headers (short and long form) that frame every tag.

#include "SwfBits.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace kz {

class ByteSource;

// True when the three bytes are exactly `first` followed by "WS" ('F' plain, 'C' zlib).
bool IsSwfSignature(const std::uint8_t *bytes, char first);

struct TagHeader {
    std::uint16_t code = 0;
    std::uint32_t length = 0;
};

enum class TagHeaderRead {
    Ok,
    NoHeader,  // not even the two bytes of a short header
    Truncated, // the long form's 32-bit length is cut off
};

TagHeaderRead ReadTagHeader(ByteSource &source, TagHeader &header);
// Appends a tag header: the short form when the length fits in it, unless `longForm` asks for
// the 32-bit length anyway.
void PutTagHeader(QByteArray &out, std::uint16_t code, std::uint32_t length, bool longForm = false);

// What follows the 8-byte header up to the first tag.
struct MovieBodyHeader {
    SwfRect stage;         // in twips
    int rectFieldBits = 0; // 0 = the fewest that fit
    std::uint8_t rateFraction = 0, rateInteger = 24;
    std::uint16_t frameCount = 1;
};

// Reads, and skips, the RECT, frame rate and frame count.
bool ReadMovieBodyHeader(ByteSource &source, MovieBodyHeader &header);
QByteArray MovieBodyHeaderBytes(const MovieBodyHeader &header);

// The start of a compressed movie's body. `body` is what follows the 8-byte header of a "CWS"
// (zlib) or "ZWS" (LZMA: the data's length, its properties, the data) movie, as much of it as is
// at hand; at most `capacity` bytes are inflated into `out`. The count made; 0 when the data is
// damaged.
std::size_t InflateBodyStart(bool lzma, const std::uint8_t *body, std::size_t count,
                             std::uint8_t *out, std::size_t capacity);

// The zlib stream of the bytes at the level (zlib's levels, -1 its default).
QByteArray ZlibCompress(const QByteArray &bytes, int level = -1);

// A whole movie: signature, version, the declared length and the body (everything after the
// 8-byte header), deflated when the signature is 'C'.
QByteArray MovieBytes(char signature, std::uint8_t version, std::uint32_t declaredLength,
                      const QByteArray &body, int zlibLevel = -1);

} // namespace kz
