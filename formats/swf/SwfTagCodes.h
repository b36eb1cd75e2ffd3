#pragma once
// Tag codes and fixed sizes of the movie format, in one place for the readers, the walker and
// the writers.

#include <cstddef>
#include <cstdint>

namespace kz {

inline constexpr std::uint16_t kTagEnd = 0;
inline constexpr std::uint16_t kTagShowFrame = 1;
inline constexpr std::uint16_t kTagDefineShape = 2;
inline constexpr std::uint16_t kTagDefineBits = 6;
inline constexpr std::uint16_t kTagJpegTables = 8;
inline constexpr std::uint16_t kTagSetBackgroundColor = 9;
inline constexpr std::uint16_t kTagDoAction = 12;
inline constexpr std::uint16_t kTagDefineSound = 14;
inline constexpr std::uint16_t kTagSoundStreamHead = 18;
inline constexpr std::uint16_t kTagSoundStreamBlock = 19;
inline constexpr std::uint16_t kTagDefineBitsJpeg2 = 21;
inline constexpr std::uint16_t kTagPlaceObject2 = 26;
inline constexpr std::uint16_t kTagRemoveObject2 = 28;
inline constexpr std::uint16_t kTagFrameLabel = 43;
inline constexpr std::uint16_t kTagSoundStreamHead2 = 45;
inline constexpr std::uint16_t kTagFileAttributes = 69;

// Signature (3), version (1), declared length (4).
inline constexpr std::size_t kSwfHeaderBytes = 8;
// The 6-bit length of a short tag header; this value means a 32-bit length follows.
inline constexpr std::uint32_t kTagShortLengthMax = 0x3F;
// A RECT: 5 bits of field width, then four fields of at most 31 bits.
inline constexpr int kRectMaxFieldBits = 31;
inline constexpr std::size_t kRectMaxBytes = (5 + 4 * 31 + 7) / 8;

} // namespace kz
