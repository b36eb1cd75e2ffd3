// The projector trailer: finding the movie again in a packaged program.

#include "FuzzSupport.h"
#include "tools/Packaging.h"

#include <QFileInfo>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString path = kz::fuzz::WriteInput(data, size, "program.exe");
    if (path.isEmpty())
        std::abort();
    QString written;
    if (kz::ExtractMovieFromProjector(path, kz::fuzz::Folder() + QStringLiteral("out_"),
                                      &written)) {
        // The movie comes from before the trailer: it cannot be larger than the file.
        if (QFileInfo(written).size() > qint64(size) - kz::kProjectorTrailerBytes)
            std::abort();
    }
    kz::fuzz::ClearFolder();
    return 0;
}
