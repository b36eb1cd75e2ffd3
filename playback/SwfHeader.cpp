#include "SwfHeader.h"

#include "formats/swf/SwfFraming.h"

#include <QFile>

#include <algorithm>
#include <vector>

namespace kz {

void ApplyStageFallback(SwfHeaderInfo &info) {
    if (info.left >= info.right) {
        info.left = 0;
        info.right = 550;
        info.top = 0;
        info.bottom = 440;
    }
    if (info.bottom - info.top < 1) {
        info.left = 0;
        info.right = 550;
        info.top = 0;
        info.bottom = 440;
    }
}

bool IsPlayableMovie(const SwfHeaderInfo &info) {
    return info.isFlash != 0 && info.frameRate != 0 && info.frameCount != 0 &&
           info.fileLength != 0 && info.right != info.left && info.bottom != info.top;
}

namespace {

// Walks tags from the source's position until SetBackgroundColor, ShowFrame or End, until a
// header, length or body would run past the bytes there are, or until the next header could
// pass the walk's budget of bytes read. Leaves the colour black otherwise.
void WalkForBackground(ByteSource &src, SwfHeaderInfo &info) {
    constexpr std::size_t kLongHeaderBytes = 6;
    std::size_t read = 0;
    for (;;) {
        if (read + kLongHeaderBytes > kBackgroundWalkBytes)
            return;
        TagHeader tag;
        if (ReadTagHeader(src, tag) != TagHeaderRead::Ok)
            return;
        read += tag.length >= kTagShortLengthMax ? kLongHeaderBytes : 2;
        // The colour belongs before the first frame; one set later is not the movie's.
        if (tag.code == kTagEnd || tag.code == kTagShowFrame)
            return;
        if (tag.code == kTagSetBackgroundColor) {
            std::uint8_t rgb[3];
            // A body too short for the three colour bytes leaves the colour black.
            if (tag.length >= 3 && src.Read(rgb, 3) && src.Skip(tag.length - 3))
                info.backgroundColor = (rgb[0] << 16) | (rgb[1] << 8) | rgb[2];
            return;
        }
        if (!src.Skip(tag.length))
            return;
    }
}

// The body after the 8-byte header: RECT, frame rate, frame count, then the colour walk.
// Stops at the first short read with what was gathered so far.
void ParseBody(ByteSource &src, SwfHeaderInfo &info) {
    const auto rect = ReadRect(src);
    if (!rect)
        return;
    info.left = rect->xMin / 20;
    info.right = rect->xMax / 20;
    info.top = rect->yMin / 20;
    info.bottom = rect->yMax / 20;

    std::uint8_t b[2];
    if (!src.Read(b, 2)) // fraction byte, then the integer part
        return;
    info.frameRate = b[1];
    if (!src.Read(b, 2))
        return;
    info.frameCount = Le16(b);
    WalkForBackground(src, info);
}

// The fields a window's parse gives, with the stage fallback.
void TakeWindow(const std::uint8_t *body, std::size_t count, SwfHeaderInfo &info) {
    SwfHeaderInfo parsed = info;
    MemorySource src(std::span(body, count));
    ParseBody(src, parsed);
    ApplyStageFallback(parsed);
    info.frameRate = parsed.frameRate;
    info.frameCount = parsed.frameCount;
    info.left = parsed.left;
    info.right = parsed.right;
    info.top = parsed.top;
    info.bottom = parsed.bottom;
    info.backgroundColor = parsed.backgroundColor;
}

// A window too small for a header's fields is no movie body.
constexpr std::size_t kMinWindowBytes = 32;

// One window of a compressed body (zlib or LZMA) inflated into one window of output.
bool TakeCompressedWindow(bool lzma, const std::uint8_t *in, std::size_t inCount,
                          SwfHeaderInfo &info) {
    std::vector<std::uint8_t> out(kSwfWindowBytes);
    const std::size_t produced =
        InflateBodyStart(lzma, in, std::min(inCount, kSwfWindowBytes), out.data(), out.size());
    if (produced < kMinWindowBytes)
        return false;
    TakeWindow(out.data(), produced, info);
    return true;
}

// The first window of a compressed movie's body, from a file open for reading.
bool ReadCompressedWindow(QFile &file, std::vector<std::uint8_t> &in, SwfReadCounter *counter) {
    const qint64 size = file.size();
    if (size <= qint64(kSwfHeaderBytes) || !file.seek(qint64(kSwfHeaderBytes)))
        return false;
    in.resize(std::size_t(std::min<qint64>(size - 8, qint64(kSwfWindowBytes))));
    const qint64 got = file.read(reinterpret_cast<char *>(in.data()), qint64(in.size()));
    if (got <= 0)
        return false;
    if (counter)
        counter->bytesRead += std::uint64_t(got);
    in.resize(std::size_t(got));
    return true;
}

} // namespace

bool ReadCompressedSwfBody(const QString &path, bool lzma, SwfHeaderInfo &info,
                           SwfReadCounter *counter) {
    std::vector<std::uint8_t> in;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        if (!ReadCompressedWindow(file, in, counter))
            return false;
    } // the file is closed before parsing
    return TakeCompressedWindow(lzma, in.data(), in.size(), info);
}

bool ParseCompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info) {
    if (bytes == nullptr || count <= kSwfHeaderBytes)
        return false;
    const std::uint8_t *body = bytes + kSwfHeaderBytes;
    const std::size_t bodyCount = count - kSwfHeaderBytes;
    if (!TakeCompressedWindow(IsSwfSignature(bytes, 'Z'), body, bodyCount, info))
        return false;
    info.version = bytes[3];
    info.isFlash = 1;
    return true;
}

void ParseUncompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info) {
    if (bytes == nullptr || count < 3 || !IsSwfSignature(bytes, 'F'))
        return;
    info.isFlash = 1;
    if (count >= 4)
        info.version = bytes[3];
    if (count >= kSwfHeaderBytes) {
        info.fileLength = Le32(bytes + 4);
        MemorySource src(std::span(bytes + kSwfHeaderBytes, count - kSwfHeaderBytes));
        ParseBody(src, info);
    }
    ApplyStageFallback(info);
}

void ReadSwfHeader(const QString &path, SwfHeaderInfo &info, SwfReadCounter *counter) {
    info = SwfHeaderInfo{};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    ReadSwfHeader(file, info, counter);
}

void ReadSwfHeader(QFile &file, SwfHeaderInfo &info, SwfReadCounter *counter) {
    info = SwfHeaderInfo{};
    if (!file.isOpen() || !file.seek(0))
        return;
    FileSource src(file, counter);
    std::uint8_t head[kSwfHeaderBytes];
    if (!src.Read(head, 3))
        return;
    const bool compressed = IsSwfSignature(head, 'C') || IsSwfSignature(head, 'Z');
    if (!compressed && !IsSwfSignature(head, 'F'))
        return;
    info.isFlash = 1;
    if (!src.Read(head + 3, 1)) {
        ApplyStageFallback(info);
        return;
    }
    info.version = head[3];
    if (!src.Read(head + 4, 4)) {
        ApplyStageFallback(info);
        return;
    }
    info.fileLength = Le32(head + 4);
    if (compressed) {
        // The window comes from the same open file: the searches hand in files they opened
        // themselves, by descriptor, and the name may already mean another file.
        std::vector<std::uint8_t> in;
        if (ReadCompressedWindow(file, in, counter))
            TakeCompressedWindow(IsSwfSignature(head, 'Z'), in.data(), in.size(), info);
    } else {
        ParseBody(src, info);
    }
    ApplyStageFallback(info);
}

} // namespace kz
