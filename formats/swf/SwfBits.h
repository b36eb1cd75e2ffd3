#pragma once
// Byte and bit level pieces of the movie format: little-endian fields, bit fields packed most
// significant first (read and written), and the RECT record built from them.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kz {

class ByteSource;

inline std::uint16_t Le16(const std::uint8_t *p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
// Appends the low `bytes` bytes of v, least significant first.
void PutLe(QByteArray &out, std::uint64_t v, int bytes);

struct BitsRead {
    std::uint32_t value = 0;
    std::size_t nextByte = 0; // index of the byte holding the first unread bit
    int nextBit = 0;          // that bit's offset, 0 = most significant
};

// Reads `bitCount` bits (at most 31), most significant first, starting at bit `bitOffset` of
// bytes[firstByte]. Empty when the field would run past the bytes.
std::optional<BitsRead> ReadBits(std::span<const std::uint8_t> bytes, std::size_t firstByte,
                                 int bitCount, int bitOffset);

// The two's complement value of the low `bits` bits (0 bits read as 0).
std::int32_t SignExtend(std::uint32_t value, int bits);

// Reads consecutive bit fields from bytes in memory.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::optional<std::uint32_t> Unsigned(int bits);
    std::optional<std::int32_t> Signed(int bits);

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_byte = 0;
    int m_bit = 0;
};

// Writes bits most significant first, as the format packs them.
class BitWriter {
public:
    void Put(std::uint32_t value, int bits);
    void PutSigned(std::int32_t value, int bits);
    void Align(); // pad to the next byte
    QByteArray Bytes();

private:
    QByteArray m_bytes;
    std::uint32_t m_acc = 0;
    int m_count = 0;
};

// The fewest bits that hold a signed value in two's complement (1 for 0 and -1).
int MinSignedBits(std::int32_t v);
// Bits the writer gives a signed value: at least 2, so a sign bit always stands apart.
int SignedBits(std::int32_t v);

// A RECT in twips.
struct SwfRect {
    std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool operator==(const SwfRect &) const = default;
};

// A RECT's size in bytes, known from its first byte.
std::size_t RectByteCount(std::uint8_t firstByte);
// Parses a RECT from the start of the bytes; empty when they are too few.
std::optional<SwfRect> ParseRect(std::span<const std::uint8_t> bytes);
// Reads a RECT from the source, taking exactly its bytes; empty on a short read.
std::optional<SwfRect> ReadRect(ByteSource &source);
// The bytes of a RECT with `fieldBits` per field (0 = the fewest that hold every value, by
// MinSignedBits); a field is never wider than 31 bits.
QByteArray RectBytes(const SwfRect &rect, int fieldBits = 0);

} // namespace kz
