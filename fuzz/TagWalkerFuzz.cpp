// The tag walker with the MP3 and JPEG extraction over a movie file: opening by signature,
// inflating, walking, and writing what was found (removed again after each input). The JPEG
// marker helpers also see the raw bytes.

#include "FuzzSupport.h"
#include "formats/swf/TagWalker.h"
#include "tools/JpegExtract.h"
#include "tools/Mp3Extract.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString path = kz::fuzz::WriteInput(data, size, "movie.swf");
    if (path.isEmpty())
        std::abort();
    QStringList written;
    kz::ExtractMp3(path, kz::fuzz::Folder() + QStringLiteral("out_"), &written);
    kz::ExtractJpeg(path, kz::fuzz::Folder() + QStringLiteral("out_"), &written);
    kz::fuzz::ClearFolder();

    // Every tag of the movie, each handler reading a little and leaving the rest to the walker.
    if (auto movie = kz::OpenMovieTags(path)) {
        kz::TagWalker walker;
        for (std::uint16_t code = 0; code < 100; ++code) {
            walker.On(code, [](kz::TagBody &tag) {
                std::uint8_t head[3];
                tag.Read(head, std::min<std::size_t>(sizeof head, tag.Left()));
                return kz::TagStep::Next;
            });
        }
        walker.Walk(*movie);
    }

    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto start = kz::JpegStreamStart(bytes); start && *start >= size)
        std::abort();
    std::vector<std::uint8_t> stream(data, data + size);
    kz::JoinJpegStream(stream);
    if (stream.size() > size)
        std::abort();
    return 0;
}
