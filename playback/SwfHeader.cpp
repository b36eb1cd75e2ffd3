#include "SwfHeader.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace kz {

std::optional<BitsRead> ReadBits(std::span<const std::uint8_t> bytes, std::size_t firstByte,
                                 int bitCount, int bitOffset) {
    if (bitCount < 0 || bitCount > 31 || bitOffset < 0 || bitOffset > 7)
        return std::nullopt;
    const std::size_t endBit = firstByte * 8 + std::size_t(bitOffset) + std::size_t(bitCount);
    if (firstByte > bytes.size() || (endBit + 7) / 8 > bytes.size())
        return std::nullopt;
    BitsRead r;
    std::size_t byte = firstByte;
    int bit = bitOffset;
    for (int i = 0; i < bitCount; ++i) {
        r.value = (r.value << 1) | ((bytes[byte] >> (7 - bit)) & 1u);
        if (++bit == 8) {
            bit = 0;
            ++byte;
        }
    }
    r.nextByte = byte;
    r.nextBit = bit;
    return r;
}

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

// Where the bytes after the 8-byte header come from: a file read piece by piece (tag bodies
// skipped by seeking) or a buffer in memory. Every read is checked against what is there.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool Read(std::uint8_t *to, std::size_t n) = 0;
    virtual bool Skip(std::uint64_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    bool Read(std::uint8_t *to, std::size_t n) override {
        if (n > m_bytes.size() - m_pos)
            return false;
        std::memcpy(to, m_bytes.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    bool Skip(std::uint64_t n) override {
        if (n > m_bytes.size() - m_pos)
            return false;
        m_pos += std::size_t(n);
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

class FileSource final : public ByteSource {
public:
    FileSource(QFile &file, SwfReadCounter *counter) : m_file(file), m_counter(counter) {
        m_size = std::uint64_t(file.size());
    }
    bool Read(std::uint8_t *to, std::size_t n) override {
        const qint64 got = m_file.read(reinterpret_cast<char *>(to), qint64(n));
        if (got > 0 && m_counter)
            m_counter->bytesRead += std::uint64_t(got);
        return got == qint64(n);
    }
    bool Skip(std::uint64_t n) override {
        const std::uint64_t pos = std::uint64_t(m_file.pos());
        if (n > m_size - std::min(pos, m_size))
            return false;
        return m_file.seek(qint64(pos + n));
    }

private:
    QFile &m_file;
    SwfReadCounter *m_counter;
    std::uint64_t m_size = 0;
};

std::uint16_t Le16(const std::uint8_t *p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::int32_t SignExtend(std::uint32_t value, int bits) {
    if (bits == 0)
        return 0;
    const std::uint32_t sign = 1u << (bits - 1);
    return std::int32_t((value ^ sign) - sign);
}

// Walks tags from the source's position until SetBackgroundColor or End, or until a header,
// length or body would run past the bytes there are. Leaves the colour black otherwise.
void WalkForBackground(ByteSource &src, SwfHeaderInfo &info) {
    for (;;) {
        std::uint8_t head[4];
        if (!src.Read(head, 2))
            return;
        const std::uint16_t h = Le16(head);
        const std::uint16_t code = h >> 6;
        std::uint32_t length = h & 0x3F;
        if (length == 0x3F) {
            if (!src.Read(head, 4))
                return;
            length = Le32(head);
        }
        if (code == kTagEnd)
            return;
        if (code == kTagSetBackgroundColor) {
            std::uint8_t rgb[3];
            // A body too short for the three colour bytes leaves the colour black.
            if (length >= 3 && src.Read(rgb, 3) && src.Skip(length - 3))
                info.backgroundColor = (rgb[0] << 16) | (rgb[1] << 8) | rgb[2];
            return;
        }
        if (!src.Skip(length))
            return;
    }
}

// The body after the 8-byte header: RECT, frame rate, frame count, then the colour walk.
// Stops at the first short read with what was gathered so far.
void ParseBody(ByteSource &src, SwfHeaderInfo &info) {
    std::array<std::uint8_t, 17> rect{}; // 5 + 4 * 31 bits at most
    if (!src.Read(rect.data(), 1))
        return;
    const int n = rect[0] >> 3;
    const std::size_t rectBytes = (5 + 4 * std::size_t(n) + 7) / 8;
    if (rectBytes > 1 && !src.Read(rect.data() + 1, rectBytes - 1))
        return;
    std::int32_t values[4];
    std::size_t byte = 0;
    int bit = 5;
    for (std::int32_t &v : values) {
        const auto r = ReadBits(std::span(rect.data(), rectBytes), byte, n, bit);
        if (!r)
            return;
        v = SignExtend(r->value, n) / 20;
        byte = r->nextByte;
        bit = r->nextBit;
    }
    info.left = values[0];
    info.right = values[1];
    info.top = values[2];
    info.bottom = values[3];

    std::uint8_t b[2];
    if (!src.Read(b, 2)) // fraction byte, then the integer part
        return;
    info.frameRate = b[1];
    if (!src.Read(b, 2))
        return;
    info.frameCount = Le16(b);
    WalkForBackground(src, info);
}

// One inflate call over at most one window of input into one window of output.
bool InflateFirstWindow(const std::uint8_t *in, std::size_t inCount, SwfHeaderInfo &info) {
    std::vector<std::uint8_t> out(kSwfWindowBytes);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef *>(in);
    zs.avail_in = uInt(std::min(inCount, kSwfWindowBytes));
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = out.size() - zs.avail_out;
    inflateEnd(&zs);
    if ((rc != Z_OK && rc != Z_STREAM_END) || produced < 32)
        return false;

    SwfHeaderInfo parsed = info;
    MemorySource src(std::span(out.data(), produced));
    ParseBody(src, parsed);
    ApplyStageFallback(parsed);
    info.frameRate = parsed.frameRate;
    info.frameCount = parsed.frameCount;
    info.left = parsed.left;
    info.right = parsed.right;
    info.top = parsed.top;
    info.bottom = parsed.bottom;
    info.backgroundColor = parsed.backgroundColor;
    return true;
}

bool IsSignature(const std::uint8_t *p, char first) {
    return p[0] == std::uint8_t(first) && p[1] == 'W' && p[2] == 'S';
}

} // namespace

bool ReadCompressedSwfBody(const QString &path, SwfHeaderInfo &info, SwfReadCounter *counter) {
    std::vector<std::uint8_t> in;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        const qint64 size = file.size();
        if (size <= 8 || !file.seek(8))
            return false;
        in.resize(std::size_t(std::min<qint64>(size - 8, qint64(kSwfWindowBytes))));
        const qint64 got = file.read(reinterpret_cast<char *>(in.data()), qint64(in.size()));
        if (got <= 0)
            return false;
        if (counter)
            counter->bytesRead += std::uint64_t(got);
        in.resize(std::size_t(got));
    } // the file is closed before parsing
    return InflateFirstWindow(in.data(), in.size(), info);
}

bool ParseCompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info) {
    if (bytes == nullptr || count <= 8)
        return false;
    if (!InflateFirstWindow(bytes + 8, count - 8, info))
        return false;
    info.version = bytes[3];
    info.isFlash = 1;
    return true;
}

void ParseUncompressedSwfBuffer(const std::uint8_t *bytes, std::size_t count, SwfHeaderInfo &info) {
    if (bytes == nullptr || count < 3 || !IsSignature(bytes, 'F'))
        return;
    info.isFlash = 1;
    if (count >= 4)
        info.version = bytes[3];
    if (count >= 8) {
        info.fileLength = Le32(bytes + 4);
        MemorySource src(std::span(bytes + 8, count - 8));
        ParseBody(src, info);
    }
    ApplyStageFallback(info);
}

void ReadSwfHeader(const QString &path, SwfHeaderInfo &info, SwfReadCounter *counter) {
    info = SwfHeaderInfo{};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    FileSource src(file, counter);
    std::uint8_t head[8];
    if (!src.Read(head, 3))
        return;
    const bool compressed = IsSignature(head, 'C');
    if (!compressed && !IsSignature(head, 'F'))
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
        file.close();
        ReadCompressedSwfBody(path, info, counter);
    } else {
        ParseBody(src, info);
    }
    ApplyStageFallback(info);
}

} // namespace kz
