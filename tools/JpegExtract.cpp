#include "JpegExtract.h"

#include "Mp3Extract.h"
#include "SwfTags.h"
#include "platform/Paths.h"

#include <QFile>

#include <vector>

namespace kz {

namespace {
constexpr std::uint32_t kCharacterIdBytes = 2;
constexpr std::uint32_t kMarkerBytes = 2;
} // namespace

std::optional<std::size_t> JpegStreamStart(std::span<const std::uint8_t> data) {
    // The search stops 4 bytes before the data's end, as a stream needs at least an SOI and
    // an EOI to be worth a file.
    for (std::size_t i = 0; i + 4 < data.size(); ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xD8 && !(data[i + 2] == 0xFF && data[i + 3] == 0xD8))
            return i;
    }
    return std::nullopt;
}

bool ExtractJpeg(const QString &moviePath, const QString &outputPrefix, QStringList *written) {
    const QString base = BaseNameOf(moviePath);
    std::unique_ptr<TagSource> movie = OpenMovieTags(moviePath);
    if (!movie)
        return false;

    const QString stem = outputPrefix + base + QStringLiteral("_");
    const QString suffix = QStringLiteral(".jpg");
    int counter = 0;
    bool failed = false;
    QStringList images;
    std::vector<std::uint8_t> tables; // the last JPEGTables body, EOI included
    std::vector<std::uint8_t> data;

    // Creates the next image file and writes the parts; a file that cannot be made ends the
    // extraction with false, a failed write leaves no file behind.
    const auto writeImage = [&](std::span<const std::uint8_t> first,
                                std::span<const std::uint8_t> second) {
        QFile out(NextFreeName(stem, suffix, counter));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            failed = true;
            return TagStep::Stop;
        }
        const bool ok =
            out.write(reinterpret_cast<const char *>(first.data()), qint64(first.size())) ==
                qint64(first.size()) &&
            out.write(reinterpret_cast<const char *>(second.data()), qint64(second.size())) ==
                qint64(second.size()) &&
            out.flush();
        out.close();
        if (!ok) {
            out.remove();
            failed = true;
            return TagStep::Stop;
        }
        images << out.fileName();
        return TagStep::Next;
    };

    TagWalker walker;
    walker.On(kTagJpegTables, [&](TagBody &tag) {
        return tag.ReadRest(tables) ? TagStep::Next : TagStep::Stop;
    });
    walker.On(kTagDefineBits, [&](TagBody &tag) {
        std::uint8_t id[kCharacterIdBytes];
        if (!tag.Read(id, sizeof id) || !tag.ReadRest(data))
            return TagStep::Stop;
        if (tables.size() <= kMarkerBytes) {
            // No shared tables: many writers put a complete stream here instead. Anything
            // else could not be decoded and gets no file.
            const auto start = JpegStreamStart(data);
            if (!start)
                return TagStep::Next;
            return writeImage(std::span(data).subspan(*start), {});
        }
        if (data.size() < kMarkerBytes)
            return TagStep::Stop;
        // The tables without their EOI, then the image without its SOI: one stream.
        return writeImage(std::span(tables).first(tables.size() - kMarkerBytes),
                          std::span(data).subspan(kMarkerBytes));
    });
    walker.On(kTagDefineBitsJpeg2, [&](TagBody &tag) {
        std::uint8_t id[kCharacterIdBytes];
        if (!tag.Read(id, sizeof id) || !tag.ReadRest(data))
            return TagStep::Stop;
        const auto start = JpegStreamStart(data);
        if (!start)
            return TagStep::Next;
        return writeImage(std::span(data).subspan(*start), {});
    });
    walker.Walk(*movie);
    if (written)
        *written << images;
    return !failed && !images.isEmpty();
}

} // namespace kz
