#pragma once
// The capture's BMP file: a 54-byte header (file header and a 40-byte information header),
// a colour table for 1, 4 and 8 bits only, then the rows bottom-up, each padded to 4 bytes.

#include <QByteArray>
#include <QImage>
#include <QList>

namespace kz {

// Bits per pixel for a display depth: 1, 4 or 8 up to those, 24 up to 24, else 32.
int BmpBitsForDepth(int depth);

// The colour table used for 1, 4 and 8 bits (2^bits entries): black and white; the 16 VGA
// colours; a 6x6x6 colour cube followed by a grey ramp. Empty for other depths.
QList<QRgb> DefaultPalette(int bits);

// The whole file for the image at the given bits per pixel (1, 4, 8, 24 or 32); empty for an
// empty image, another bit count, or a size whose file would not fit the format's 32-bit sizes.
QByteArray EncodeBmp(const QImage &image, int bits);

} // namespace kz
