#pragma once
// LZMA movies ("ZWS", SWF 13 and later): after the 8-byte header come the length of the LZMA
// data (32 bits, not trusted), the five LZMA property bytes, then the raw LZMA data of the body
// (what follows the 8-byte header in an uncompressed movie), usually ending in an end marker.

#include <cstddef>
#include <cstdint>

namespace kz {

// Signature, version, declared length, LZMA data length, properties.
inline constexpr std::size_t kLzmaSwfHeaderBytes = 17;
inline constexpr std::size_t kLzmaPropertiesBytes = 5;
// LZMA's most compact code, a repeated longest match, still costs about 0.3 bits per 273
// bytes: no stream inflates by more than about 7100 to 1.
inline constexpr std::uint64_t kLzmaMaxRatio = 7200;

enum class LzmaEnd {
    Complete,   // the output is full or the data's end marker came
    ShortInput, // the input ran out first (what was produced is sound)
    Damaged,    // bad properties or data that does not decode
};

// Decodes raw LZMA data with the movie's properties into at most `capacity` bytes of `out`;
// `produced` tells how many. The dictionary is never larger than the output can use, whatever
// the properties claim, so memory stays bounded by `capacity`.
LzmaEnd DecodeLzma(const std::uint8_t *properties, const std::uint8_t *in, std::size_t inCount,
                   std::uint8_t *out, std::size_t capacity, std::size_t &produced);

} // namespace kz
