// The movie header reader over bytes in memory, as fetched by a probe: the uncompressed parser
// and the compressed one (the first byte of the input picks which).

#include "playback/SwfHeader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kz::SwfHeaderInfo info;
    kz::ParseUncompressedSwfBuffer(data, size, info);
    // The stage fallback leaves no empty or inverted stage behind.
    if (info.left >= info.right || info.bottom - info.top < 1)
        std::abort();
    kz::SwfHeaderInfo compressed;
    if (kz::ParseCompressedSwfBuffer(data, size, compressed) &&
        (compressed.left >= compressed.right || compressed.bottom - compressed.top < 1))
        std::abort();
    return 0;
}
