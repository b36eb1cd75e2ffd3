#include "TagWalker.h"

#include "SwfBits.h"
#include "SwfFraming.h"
#include "SwfLzma.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace kz {

namespace {

// Copies go through a buffer of this size; nothing larger than one tag is held otherwise.
constexpr std::size_t kCopyChunk = 64 * 1024;

bool ReadSignature(const QString &path, std::uint8_t sig[3]) {
    if (!IsRegularFile(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    return file.read(reinterpret_cast<char *>(sig), 3) == 3;
}

} // namespace

bool IsFlashMovieFile(const QString &path) {
    std::uint8_t sig[3];
    return ReadSignature(path, sig) &&
           (IsSwfSignature(sig, 'F') || IsSwfSignature(sig, 'C') || IsSwfSignature(sig, 'Z'));
}

bool IsCompressedMovieFile(const QString &path) {
    std::uint8_t sig[3];
    return ReadSignature(path, sig) && IsSwfSignature(sig, 'C');
}

std::optional<MovieBuffer> InflateMovie(const QString &path) {
    if (!IsRegularFile(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    const qint64 fileSize = file.size();
    if (fileSize < 8)
        return std::nullopt;
    // The whole compressed file, read-only, released before the walk.
    const uchar *mapped = file.map(0, fileSize);
    if (mapped == nullptr)
        return std::nullopt;
    const auto unmap = [&] { file.unmap(const_cast<uchar *>(mapped)); };
    const bool lzma = IsSwfSignature(mapped, 'Z');
    if (!lzma && !IsSwfSignature(mapped, 'C')) {
        unmap();
        return std::nullopt;
    }
    const std::uint64_t dataStart = lzma ? kLzmaSwfHeaderBytes : kSwfHeaderBytes;
    if (std::uint64_t(fileSize) < dataStart) {
        unmap();
        return std::nullopt;
    }
    const std::uint64_t declared = Le32(mapped + 4);
    const std::uint64_t input = std::uint64_t(fileSize) - dataStart;
    const std::uint64_t ratio = lzma ? kLzmaMaxRatio : kZlibMaxRatio;
    // Only what the header claims is known here: check it against what the bytes could hold
    // before asking for any memory.
    if (declared < 8 || declared - 8 > kMaxInflatedMovieBytes ||
        declared - 8 > input * ratio + 64) {
        unmap();
        return std::nullopt;
    }
    MovieBuffer out;
    const std::size_t capacity = std::size_t(declared - 8);
    out.data.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(capacity, 1)]);
    if (!out.data) {
        unmap();
        return std::nullopt;
    }
    bool ok = false;
    std::size_t produced = 0;
    if (lzma) {
        // Data cut short fails as a cut zlib stream does.
        ok = DecodeLzma(mapped + kSwfHeaderBytes + 4, mapped + dataStart, std::size_t(input),
                        out.data.get(), capacity, produced) == LzmaEnd::Complete;
    } else {
        uLongf inflated = uLongf(capacity);
        ok = uncompress(out.data.get(), &inflated, mapped + dataStart, uLong(input)) == Z_OK;
        produced = std::size_t(inflated);
    }
    unmap();
    file.close();
    if (!ok)
        return std::nullopt;
    out.size = produced;
    return out;
}

std::unique_ptr<ByteSource> OpenMovieTags(const QString &path) {
    auto file = FileSource::Open(path);
    if (!file)
        return nullptr;
    std::uint8_t head[kSwfHeaderBytes];
    if (!file->Read(head, sizeof head))
        return nullptr;
    std::unique_ptr<ByteSource> src;
    if (IsSwfSignature(head, 'F')) {
        src = std::move(file);
    } else if (IsSwfSignature(head, 'C') || IsSwfSignature(head, 'Z')) {
        file.reset();
        auto buffer = InflateMovie(path);
        if (!buffer)
            return nullptr;
        src = std::make_unique<MemorySource>(std::move(buffer->data), buffer->size);
    } else {
        return nullptr;
    }
    MovieBodyHeader skipped;
    if (!ReadMovieBodyHeader(*src, skipped))
        return nullptr;
    return src;
}

bool TagBody::Read(std::uint8_t *to, std::size_t n) {
    if (n > m_left || !m_source.Read(to, n))
        return false;
    m_left -= std::uint32_t(n);
    return true;
}

bool TagBody::Skip(std::uint64_t n) {
    if (n > m_left || !m_source.Skip(n))
        return false;
    m_left -= std::uint32_t(n);
    return true;
}

bool TagBody::ReadRest(std::vector<std::uint8_t> &to) {
    if (!RestIsPresent())
        return false;
    to.resize(m_left);
    return Read(to.data(), to.size());
}

bool TagBody::CopyTo(QIODevice &to, std::uint64_t n, bool *writeFailed) {
    if (writeFailed)
        *writeFailed = false;
    if (n > m_left)
        return false;
    std::array<std::uint8_t, kCopyChunk> chunk;
    while (n > 0) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(n, chunk.size()));
        if (!Read(chunk.data(), step))
            return false;
        if (to.write(reinterpret_cast<const char *>(chunk.data()), qint64(step)) != qint64(step)) {
            if (writeFailed)
                *writeFailed = true;
            return false;
        }
        n -= step;
    }
    return true;
}

TagWalker &TagWalker::On(std::uint16_t code, Handler handler) {
    m_handlers[code] = std::move(handler);
    return *this;
}

WalkEnd TagWalker::Walk(ByteSource &source) const {
    for (;;) {
        TagHeader header;
        switch (ReadTagHeader(source, header)) {
        case TagHeaderRead::NoHeader:
            return WalkEnd::EndOfData;
        case TagHeaderRead::Truncated:
            return WalkEnd::Truncated;
        case TagHeaderRead::Ok:
            break;
        }
        if (header.code == kTagEnd)
            return WalkEnd::EndTag;
        const auto handler = m_handlers.find(header.code);
        if (handler == m_handlers.end()) {
            if (!source.Skip(header.length))
                return WalkEnd::Truncated;
            continue;
        }
        TagBody body(source, header.code, header.length);
        if (handler->second(body) == TagStep::Stop)
            return WalkEnd::Stopped;
        if (!body.Skip(body.Left()))
            return WalkEnd::Truncated;
    }
}

} // namespace kz
