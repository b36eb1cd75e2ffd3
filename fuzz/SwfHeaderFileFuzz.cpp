// The movie header reader over a file: every signature's path, the colour walk, the first
// window of compressed bodies, and whether the result counts as playable.

#include "FuzzSupport.h"
#include "playback/SwfHeader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString path = kz::fuzz::WriteInput(data, size, "movie.swf");
    if (path.isEmpty())
        std::abort();
    kz::SwfReadCounter counter;
    kz::SwfHeaderInfo info;
    kz::ReadSwfHeader(path, info, &counter);
    // The reader takes a bounded first read whatever the file claims.
    if (counter.bytesRead > 2 * kz::kSwfWindowBytes + 64)
        std::abort();
    if (kz::IsPlayableMovie(info) && (info.right == info.left || info.bottom == info.top))
        std::abort();
    return 0;
}
