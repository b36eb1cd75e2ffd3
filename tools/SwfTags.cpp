#include "SwfTags.h"

#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace kz {

namespace {

// Copies go through a buffer of this size; nothing larger than one tag is held otherwise.
constexpr std::size_t kCopyChunk = 64 * 1024;

// Only regular files are read: a pipe or a device could block or never end.
bool IsRegularFile(const QString &path) {
    return QFileInfo(path).isFile();
}

bool ReadSignature(const QString &path, char sig[3]) {
    if (!IsRegularFile(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    return file.read(sig, 3) == 3;
}

bool IsSignature(const char sig[3], char first) {
    return sig[0] == first && sig[1] == 'W' && sig[2] == 'S';
}

class FileTagSource final : public TagSource {
public:
    explicit FileTagSource(const QString &path) : m_file(path) {}
    bool Open() {
        if (!IsRegularFile(m_file.fileName()) || !m_file.open(QIODevice::ReadOnly))
            return false;
        m_size = std::uint64_t(std::max<qint64>(m_file.size(), 0));
        return true;
    }
    bool Read(std::uint8_t *to, std::size_t n) override {
        if (n == 0)
            return true;
        const qint64 got = m_file.read(reinterpret_cast<char *>(to), qint64(n));
        if (got > 0)
            m_pos += std::uint64_t(got);
        return got == qint64(n);
    }
    bool Skip(std::uint64_t n) override {
        if (n > Remaining())
            return false;
        if (n == 0)
            return true;
        if (!m_file.seek(qint64(m_pos + n)))
            return false;
        m_pos += n;
        return true;
    }
    std::uint64_t Remaining() const override { return m_size - std::min(m_pos, m_size); }

private:
    QFile m_file;
    std::uint64_t m_size = 0;
    std::uint64_t m_pos = 0;
};

class MemoryTagSource final : public TagSource {
public:
    explicit MemoryTagSource(MovieBuffer buffer) : m_buffer(std::move(buffer)) {}
    bool Read(std::uint8_t *to, std::size_t n) override {
        if (n > m_buffer.size - m_pos)
            return false;
        if (n)
            std::memcpy(to, m_buffer.data.get() + m_pos, n);
        m_pos += n;
        return true;
    }
    bool Skip(std::uint64_t n) override {
        if (n > m_buffer.size - m_pos)
            return false;
        m_pos += std::size_t(n);
        return true;
    }
    std::uint64_t Remaining() const override { return m_buffer.size - m_pos; }

private:
    MovieBuffer m_buffer;
    std::size_t m_pos = 0;
};

// RECT, frame rate and frame count: what lies between the 8-byte header and the first tag.
bool SkipBodyHeader(TagSource &src) {
    std::uint8_t first = 0;
    if (!src.Read(&first, 1))
        return false;
    const std::size_t n = first >> 3;
    const std::size_t rectBytes = (5 + 4 * n + 7) / 8;
    std::array<std::uint8_t, 20> rest{};
    return src.Read(rest.data(), rectBytes - 1) && src.Read(rest.data(), 4);
}

} // namespace

bool IsFlashMovieFile(const QString &path) {
    char sig[3];
    return ReadSignature(path, sig) && (IsSignature(sig, 'F') || IsSignature(sig, 'C'));
}

bool IsCompressedMovieFile(const QString &path) {
    char sig[3];
    return ReadSignature(path, sig) && IsSignature(sig, 'C');
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
    const std::uint64_t declared = Le32(mapped + 4);
    const std::uint64_t input = std::uint64_t(fileSize) - 8;
    // Only what the header claims is known here: check it against what the bytes could hold
    // before asking for any memory.
    if (declared < 8 || declared - 8 > kMaxInflatedMovieBytes ||
        declared - 8 > input * kZlibMaxRatio + 64) {
        file.unmap(const_cast<uchar *>(mapped));
        return std::nullopt;
    }
    MovieBuffer out;
    const std::size_t capacity = std::size_t(declared - 8);
    out.data.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(capacity, 1)]);
    if (!out.data) {
        file.unmap(const_cast<uchar *>(mapped));
        return std::nullopt;
    }
    uLongf produced = uLongf(capacity);
    const int rc = uncompress(out.data.get(), &produced, mapped + 8, uLong(input));
    file.unmap(const_cast<uchar *>(mapped));
    file.close();
    if (rc != Z_OK)
        return std::nullopt;
    out.size = std::size_t(produced);
    return out;
}

std::unique_ptr<TagSource> OpenMovieTags(const QString &path) {
    auto file = std::make_unique<FileTagSource>(path);
    if (!file->Open())
        return nullptr;
    std::uint8_t head[8];
    if (!file->Read(head, 8))
        return nullptr;
    const char sig[3] = {char(head[0]), char(head[1]), char(head[2])};
    std::unique_ptr<TagSource> src;
    if (IsSignature(sig, 'F')) {
        src = std::move(file);
    } else if (IsSignature(sig, 'C')) {
        file.reset();
        auto buffer = InflateMovie(path);
        if (!buffer)
            return nullptr;
        src = std::make_unique<MemoryTagSource>(std::move(*buffer));
    } else {
        return nullptr;
    }
    if (!SkipBodyHeader(*src))
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

WalkEnd TagWalker::Walk(TagSource &source) const {
    for (;;) {
        std::uint8_t head[4];
        if (!source.Read(head, 2))
            return WalkEnd::EndOfData;
        const std::uint16_t value = Le16(head);
        const std::uint16_t code = value >> 6;
        std::uint32_t length = value & 0x3F;
        if (length == 0x3F) {
            if (!source.Read(head, 4))
                return WalkEnd::Truncated;
            length = Le32(head);
        }
        if (code == 0)
            return WalkEnd::EndTag;
        const auto handler = m_handlers.find(code);
        if (handler == m_handlers.end()) {
            if (!source.Skip(length))
                return WalkEnd::Truncated;
            continue;
        }
        TagBody body(source, code, length);
        if (handler->second(body) == TagStep::Stop)
            return WalkEnd::Stopped;
        if (!body.Skip(body.Left()))
            return WalkEnd::Truncated;
    }
}

} // namespace kz
