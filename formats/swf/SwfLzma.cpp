#include "SwfLzma.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kz {

LzmaEnd DecodeLzma(const std::uint8_t *properties, const std::uint8_t *in, std::size_t inCount,
                   std::uint8_t *out, std::size_t capacity, std::size_t &produced) {
    produced = 0;
    if (properties == nullptr || (in == nullptr && inCount > 0) || out == nullptr)
        return LzmaEnd::Damaged;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, properties, kLzmaPropertiesBytes) != LZMA_OK)
        return LzmaEnd::Damaged;
    // liblzma allocated the options with malloc; they are ours to free.
    const std::unique_ptr<lzma_options_lzma, decltype(&std::free)> options(
        static_cast<lzma_options_lzma *>(filters[0].options), &std::free);
    // A match can reach back no further than the output there is.
    const std::uint64_t needed = std::max<std::uint64_t>(capacity, LZMA_DICT_SIZE_MIN);
    options->dict_size = std::uint32_t(std::min<std::uint64_t>(options->dict_size, needed));
    options->dict_size = std::max<std::uint32_t>(options->dict_size, LZMA_DICT_SIZE_MIN);

    lzma_stream zs = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&zs, filters) != LZMA_OK)
        return LzmaEnd::Damaged;
    zs.next_in = in;
    zs.avail_in = inCount;
    zs.next_out = out;
    zs.avail_out = capacity;
    LzmaEnd end = LzmaEnd::Damaged;
    for (;;) {
        const std::size_t inBefore = zs.avail_in, outBefore = zs.avail_out;
        const lzma_ret rc = lzma_code(&zs, LZMA_RUN);
        if (rc == LZMA_STREAM_END || (rc == LZMA_OK && zs.avail_out == 0)) {
            end = LzmaEnd::Complete;
            break;
        }
        if (rc != LZMA_OK)
            break; // damaged data (or liblzma out of memory)
        if (zs.avail_in == 0) {
            end = LzmaEnd::ShortInput;
            break;
        }
        if (zs.avail_in == inBefore && zs.avail_out == outBefore)
            break; // no progress with input and room left: nothing more will come
    }
    produced = capacity - zs.avail_out;
    lzma_end(&zs);
    return end;
}

} // namespace kz
