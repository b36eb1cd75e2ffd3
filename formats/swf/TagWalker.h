#pragma once
// Opening a movie for tag walking and the walk itself. An uncompressed movie is read from its
// file piece by piece (bodies skipped by seeking); a compressed one (zlib or LZMA) is inflated
// into one buffer whose every read is bounds-checked. Handlers see one tag at a time through a
// TagBody that never reads past the tag or past the data.

#include "ByteSource.h"
#include "SwfTagCodes.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QIODevice;

namespace kz {

// An inflated movie is never larger than this, whatever its header says.
inline constexpr std::uint64_t kMaxInflatedMovieBytes = std::uint64_t(1) << 30;
// zlib's deflate expands by at most this ratio (plus a few bytes of stream overhead).
inline constexpr std::uint64_t kZlibMaxRatio = 1032;

// True when the file opens and starts with exactly "FWS", "CWS" or "ZWS".
bool IsFlashMovieFile(const QString &path);
// True when the file starts with exactly "CWS".
bool IsCompressedMovieFile(const QString &path);

// A movie body in memory: the bytes after the 8-byte header, RECT first.
struct MovieBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0; // bytes produced by inflating (the buffer may be larger)
    std::span<const std::uint8_t> Bytes() const { return {data.get(), size}; }
};

// Inflates a compressed movie's body ("CWS" zlib, "ZWS" LZMA) in one call. Fails, without
// allocating, when the declared length is below 8, beyond 1 GiB or beyond what the compressed
// bytes could inflate to; fails too when the data is damaged or cut short.
std::optional<MovieBuffer> InflateMovie(const QString &path);

// Opens a movie by its signature ("FWS" read from the file, "CWS" and "ZWS" inflated first) and
// skips its header (signature, version, length, RECT, frame rate and count). Empty on any
// failure.
std::unique_ptr<ByteSource> OpenMovieTags(const QString &path);

// The current tag as its handler sees it.
class TagBody {
public:
    TagBody(ByteSource &source, std::uint16_t code, std::uint32_t length)
        : m_source(source), m_code(code), m_length(length), m_left(length) {}

    std::uint16_t Code() const { return m_code; }
    std::uint32_t Length() const { return m_length; }
    // Body bytes not yet consumed.
    std::uint32_t Left() const { return m_left; }
    // The unconsumed rest of the body lies within the data.
    bool RestIsPresent() const { return m_source.Remaining() >= m_left; }

    // Reads exactly n bytes of the body; fails past the body's end or the data's.
    bool Read(std::uint8_t *to, std::size_t n);
    bool Skip(std::uint64_t n);
    // The whole unconsumed rest; fails without allocating when it is not all present.
    bool ReadRest(std::vector<std::uint8_t> &to);
    // Copies n body bytes to the device through a fixed buffer. Fails on a short read or a
    // failed write; `writeFailed` tells the two apart.
    bool CopyTo(QIODevice &to, std::uint64_t n, bool *writeFailed = nullptr);

private:
    ByteSource &m_source;
    std::uint16_t m_code;
    std::uint32_t m_length;
    std::uint32_t m_left;
};

enum class TagStep { Next, Stop };

// How a walk ended.
enum class WalkEnd {
    EndTag,    // the End tag
    EndOfData, // no further tag header
    Stopped,   // a handler asked to stop
    Truncated, // a length or a body ran past the data
};

class TagWalker {
public:
    using Handler = std::function<TagStep(TagBody &)>;

    TagWalker &On(std::uint16_t code, Handler handler);
    // Walks from the source's position. After each handler the rest of its body is skipped.
    WalkEnd Walk(ByteSource &source) const;

private:
    std::map<std::uint16_t, Handler> m_handlers;
};

} // namespace kz
