#include "SwfBits.h"

#include "ByteSource.h"
#include "SwfTagCodes.h"

#include <algorithm>
#include <array>

namespace kz {

void PutLe(QByteArray &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

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

std::int32_t SignExtend(std::uint32_t value, int bits) {
    if (bits <= 0)
        return 0;
    if (bits >= 32)
        return std::int32_t(value);
    const std::uint32_t sign = 1u << (bits - 1);
    const std::uint32_t low = value & ((1u << bits) - 1);
    return std::int32_t((low ^ sign) - sign);
}

std::optional<std::uint32_t> BitReader::Unsigned(int bits) {
    const auto r = ReadBits(m_bytes, m_byte, bits, m_bit);
    if (!r)
        return std::nullopt;
    m_byte = r->nextByte;
    m_bit = r->nextBit;
    return r->value;
}

std::optional<std::int32_t> BitReader::Signed(int bits) {
    const auto v = Unsigned(bits);
    if (!v)
        return std::nullopt;
    return SignExtend(*v, bits);
}

void BitWriter::Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        m_acc = (m_acc << 1) | ((value >> i) & 1u);
        if (++m_count == 8) {
            m_bytes.append(char(m_acc));
            m_acc = 0;
            m_count = 0;
        }
    }
}

void BitWriter::PutSigned(std::int32_t value, int bits) {
    Put(std::uint32_t(value), bits);
}

void BitWriter::Align() {
    if (m_count)
        Put(0, 8 - m_count);
}

QByteArray BitWriter::Bytes() {
    Align();
    return m_bytes;
}

int MinSignedBits(std::int32_t v) {
    int bits = 1;
    while (bits < 32 &&
           (v < -(std::int64_t(1) << (bits - 1)) || v >= (std::int64_t(1) << (bits - 1))))
        ++bits;
    return bits;
}

int SignedBits(std::int32_t v) {
    return std::max(2, MinSignedBits(v));
}

std::size_t RectByteCount(std::uint8_t firstByte) {
    const std::size_t n = firstByte >> 3;
    return (5 + 4 * n + 7) / 8;
}

std::optional<SwfRect> ParseRect(std::span<const std::uint8_t> bytes) {
    BitReader bits(bytes);
    const auto n = bits.Unsigned(5);
    if (!n)
        return std::nullopt;
    std::int32_t values[4];
    for (std::int32_t &v : values) {
        const auto field = bits.Signed(int(*n));
        if (!field)
            return std::nullopt;
        v = *field;
    }
    return SwfRect{values[0], values[1], values[2], values[3]};
}

std::optional<SwfRect> ReadRect(ByteSource &source) {
    std::array<std::uint8_t, kRectMaxBytes> bytes{};
    if (!source.Read(bytes.data(), 1))
        return std::nullopt;
    const std::size_t count = RectByteCount(bytes[0]);
    if (!source.Read(bytes.data() + 1, count - 1))
        return std::nullopt;
    return ParseRect(std::span(bytes.data(), count));
}

QByteArray RectBytes(const SwfRect &rect, int fieldBits) {
    int n = fieldBits;
    if (n <= 0)
        n = std::max({MinSignedBits(rect.xMin), MinSignedBits(rect.xMax), MinSignedBits(rect.yMin),
                      MinSignedBits(rect.yMax)});
    n = std::min(n, kRectMaxFieldBits);
    BitWriter w;
    w.Put(std::uint32_t(n), 5);
    for (std::int32_t v : {rect.xMin, rect.xMax, rect.yMin, rect.yMax})
        w.PutSigned(v, n);
    return w.Bytes();
}

} // namespace kz
