#pragma once
// Writes the JPEG images embedded in a movie out as JPEG files, one per image.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kz {

// Extracts into outputPrefix + base name + "_<n>.jpg". True when at least one image was
// written; false at once when an image file cannot be created. The files written are appended
// to `written`.
bool ExtractJpeg(const QString &moviePath, const QString &outputPrefix,
                 QStringList *written = nullptr);
// The same with the output names built on `outputBase` instead of the movie's base name.
bool ExtractJpegNamed(const QString &moviePath, const QString &outputBase,
                      const QString &outputPrefix, QStringList *written = nullptr);

// Where the JPEG stream of a DefineBitsJPEG2 image starts (its data after the character id):
// the first SOI marker not immediately followed by another, so that leading marker pairs such
// as FF D9 FF D8 are dropped. Empty when the data holds no such marker (PNG or GIF data, say).
std::optional<std::size_t> JpegStreamStart(std::span<const std::uint8_t> data);

// Joins a stream whose header part is split by EOI and SOI markers (tables written as a
// stream of their own, an empty stream put in front, a repeated SOI) into one stream:
// decoders stop at the first EOI. Leaves anything else as it is.
void JoinJpegStream(std::vector<std::uint8_t> &stream);

} // namespace kz
