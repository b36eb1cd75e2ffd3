#include "JpegExtract.h"

#include "Mp3Extract.h"
#include "formats/swf/TagWalker.h"
#include "platform/Paths.h"

#include <QFile>

#include <algorithm>
#include <cstring>
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
    // One pass: bytes that stay are moved down over the dropped markers once each, so a body
    // made of nothing but marker pairs costs its length, not its length squared.
    const std::size_t size = s.size();
    std::size_t r = 2; // next byte read
    std::size_t w = 2; // next byte kept
    const auto keep = [&](std::size_t n) {
        n = std::min(n, size - r);
        if (w != r)
            std::memmove(s.data() + w, s.data() + r, n);
        w += n;
        r += n;
    };
    while (r + 4 <= size && s[r] == 0xFF) {
        const std::uint8_t marker = s[r + 1];
        if (marker == 0xD9 && s[r + 2] == 0xFF && s[r + 3] == 0xD8) {
            r += 4;
            continue;
        }
        if (marker == 0xD8) { // a repeated SOI
            r += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        if (marker == 0xFF) { // fill byte
            keep(1);
            continue;
        }
        keep(2 + ((std::size_t(s[r + 2]) << 8) | s[r + 3]));
    }
    keep(size - r);
    s.resize(w);
}

bool ExtractJpeg(const QString &moviePath, const QString &outputPrefix, QStringList *written) {
    return ExtractJpegNamed(moviePath, BaseNameOf(moviePath), outputPrefix, written);
}

bool ExtractJpegNamed(const QString &moviePath, const QString &base, const QString &outputPrefix,
                      QStringList *written) {
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

    // Creates the next image file and writes the stream; a file that cannot be made ends the
    // extraction with false, a failed write leaves no file behind. The stream is assembled in
    // the tag's own buffer, so an image never costs more than its tag and the tables.
    const auto writeImage = [&](std::vector<std::uint8_t> &image) {
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
    // Drops the bytes before the stream's start, moving the rest once.
    const auto fromStart = [](std::vector<std::uint8_t> &bytes, std::size_t start) {
        bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(start));
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
            fromStart(data, *start);
            return writeImage(data);
        }
        if (data.size() < kMarkerBytes)
            return TagStep::Stop;
        // The tables without their EOI, then the image without its SOI: one stream.
        data.erase(data.begin(), data.begin() + kMarkerBytes);
        data.insert(data.begin(), tables.begin(), tables.end() - kMarkerBytes);
        return writeImage(data);
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
        fromStart(data, *start);
        return writeImage(data);
    });
    walker.Walk(*movie);
    if (written)
        *written << images;
    return !failed && !images.isEmpty();
}

} // namespace kz
