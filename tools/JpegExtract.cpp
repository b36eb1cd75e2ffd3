#include "JpegExtract.h"

#include "Mp3Extract.h"
#include "formats/swf/TagWalker.h"
#include "platform/Paths.h"

#include <QFile>

#include <algorithm>
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

namespace {

// Walks the marker segments from the SOI at `start` up to the scan: true when the stream
// defines its own quantisation tables, so it decodes without shared ones.
bool HasOwnTables(std::span<const std::uint8_t> data, std::size_t start) {
    std::size_t p = start + 2;
    while (p + 4 <= data.size() && data[p] == 0xFF) {
        const std::uint8_t marker = data[p + 1];
        if (marker == 0xDB)
            return true;
        if (marker == 0xDA || marker == 0xD9)
            return false;
        if (marker == 0xFF || marker == 0xD8) { // fill bytes and repeated markers
            p += 1;
            continue;
        }
        p += 2 + ((std::size_t(data[p + 2]) << 8) | data[p + 3]);
    }
    return false;
}

bool IsPngOrGif(const std::vector<std::uint8_t> &data) {
    static constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static constexpr std::uint8_t kGif[] = {'G', 'I', 'F', '8'};
    const auto startsWith = [&](std::span<const std::uint8_t> sig) {
        return data.size() >= sig.size() && std::equal(sig.begin(), sig.end(), data.begin());
    };
    return startsWith(kPng) || startsWith(kGif);
}

} // namespace

void JoinJpegStream(std::vector<std::uint8_t> &s) {
    if (s.size() < 4 || s[0] != 0xFF || s[1] != 0xD8)
        return;
    std::size_t p = 2;
    while (p + 4 <= s.size() && s[p] == 0xFF) {
        const std::uint8_t marker = s[p + 1];
        if (marker == 0xD9 && s[p + 2] == 0xFF && s[p + 3] == 0xD8) {
            s.erase(s.begin() + std::ptrdiff_t(p), s.begin() + std::ptrdiff_t(p + 4));
            continue;
        }
        if (marker == 0xD8) { // a repeated SOI
            s.erase(s.begin() + std::ptrdiff_t(p), s.begin() + std::ptrdiff_t(p + 2));
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return;
        if (marker == 0xFF) { // fill byte
            ++p;
            continue;
        }
        p += 2 + ((std::size_t(s[p + 2]) << 8) | s[p + 3]);
    }
}

bool ExtractJpeg(const QString &moviePath, const QString &outputPrefix, QStringList *written) {
    const QString base = BaseNameOf(moviePath);
    std::unique_ptr<ByteSource> movie = OpenMovieTags(moviePath);
    if (!movie)
        return false;

    const QString stem = outputPrefix + base + QStringLiteral("_");
    const QString suffix = QStringLiteral(".jpg");
    int counter = 0;
    bool failed = false;
    QStringList images;
    std::vector<std::uint8_t> tables; // the last JPEGTables body, EOI included
    std::vector<std::uint8_t> data;

    // Creates the next image file and writes the parts as one stream; a file that cannot be
    // made ends the extraction with false, a failed write leaves no file behind.
    std::vector<std::uint8_t> image;
    const auto writeImage = [&](std::span<const std::uint8_t> first,
                                std::span<const std::uint8_t> second) {
        image.assign(first.begin(), first.end());
        image.insert(image.end(), second.begin(), second.end());
        JoinJpegStream(image);
        QFile out(NextFreeName(stem, suffix, counter));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            failed = true;
            return TagStep::Stop;
        }
        const bool ok = out.write(reinterpret_cast<const char *>(image.data()),
                                  qint64(image.size())) == qint64(image.size()) &&
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
    walker.On(kTagJpegTables,
              [&](TagBody &tag) { return tag.ReadRest(tables) ? TagStep::Next : TagStep::Stop; });
    walker.On(kTagDefineBits, [&](TagBody &tag) {
        std::uint8_t id[kCharacterIdBytes];
        if (!tag.Read(id, sizeof id) || !tag.ReadRest(data))
            return TagStep::Stop;
        if (tables.size() <= kMarkerBytes) {
            // No shared tables: many writers put a complete stream here instead. Anything
            // else could not be decoded and gets no file.
            const auto start = JpegStreamStart(data);
            if (!start || !HasOwnTables(data, *start))
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
        // Later movies keep PNG and GIF images in this tag too; their bytes may hold a stray
        // FF D8 that is no JPEG.
        if (IsPngOrGif(data))
            return TagStep::Next;
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
