#include "BmpWriter.h"

#include <QtEndian>

#include <cstdint>
#include <limits>

namespace kz {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void Put16(char *p, std::uint16_t v) {
    qToLittleEndian(v, p);
}
void Put32(char *p, std::uint32_t v) {
    qToLittleEndian(v, p);
}

} // namespace

int BmpBitsForDepth(int depth) {
    if (depth <= 1)
        return 1;
    if (depth <= 4)
        return 4;
    if (depth <= 8)
        return 8;
    if (depth <= 24)
        return 24;
    return 32;
}

QList<QRgb> DefaultPalette(int bits) {
    QList<QRgb> table;
    switch (bits) {
    case 1:
        table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        break;
    case 4:
        table = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
                 qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
                 qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
                 qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        break;
    case 8:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    table << qRgb(r * 51, g * 51, b * 51);
        while (table.size() < 256) {
            const int i = int(table.size()) - 216; // 0..39
            const int grey = 6 + i * 6;
            table << qRgb(grey, grey, grey);
        }
        break;
    default:
        break;
    }
    return table;
}

QByteArray EncodeBmp(const QImage &image, int bits) {
    if (image.isNull() || !(bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32))
        return {};
    const std::int64_t width = image.width(), height = image.height();
    const std::int64_t rowBytes = (bits * width + 31) / 32 * 4;
    const QList<QRgb> palette = DefaultPalette(bits);
    const std::int64_t paletteBytes = std::int64_t(palette.size()) * 4;
    const std::int64_t pixelBytes = rowBytes * height;
    const std::int64_t fileSize = kFileHeaderSize + kInfoHeaderSize + paletteBytes + pixelBytes;
    if (fileSize > std::numeric_limits<std::int32_t>::max())
        return {};

    QByteArray out(qsizetype(fileSize), '\0');
    char *h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, std::uint32_t(fileSize));
    Put32(h + 10, std::uint32_t(kFileHeaderSize + kInfoHeaderSize + paletteBytes));
    char *info = h + kFileHeaderSize;
    Put32(info + 0, kInfoHeaderSize);
    Put32(info + 4, std::uint32_t(width));
    Put32(info + 8, std::uint32_t(height)); // positive: rows bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, std::uint16_t(bits));
    Put32(info + 16, 0);                         // no compression
    Put32(info + 20, std::uint32_t(pixelBytes)); // as the device-independent-bits call fills it
    char *table = info + kInfoHeaderSize;
    for (qsizetype i = 0; i < palette.size(); ++i) {
        table[i * 4 + 0] = char(qBlue(palette[i]));
        table[i * 4 + 1] = char(qGreen(palette[i]));
        table[i * 4 + 2] = char(qRed(palette[i]));
    }
    char *pixels = table + paletteBytes;

    if (bits >= 24) {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
        const int step = bits / 8;
        for (int y = 0; y < height; ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            char *row = pixels + (height - 1 - y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                row[x * step + 0] = char(qBlue(line[x]));
                row[x * step + 1] = char(qGreen(line[x]));
                row[x * step + 2] = char(qRed(line[x]));
            }
        }
        return out;
    }
    const QImage indexed =
        image.convertToFormat(QImage::Format_RGB32)
            .convertToFormat(QImage::Format_Indexed8, palette,
                             Qt::ThresholdDither | Qt::AvoidDither | Qt::ColorOnly);
    const int perByte = 8 / bits;
    for (int y = 0; y < height; ++y) {
        const uchar *line = indexed.constScanLine(y);
        auto *row = reinterpret_cast<uchar *>(pixels + (height - 1 - y) * rowBytes);
        for (int x = 0; x < width; ++x) {
            const int shift = (perByte - 1 - x % perByte) * bits;
            row[x / perByte] |= uchar((line[x] & ((1 << bits) - 1)) << shift);
        }
    }
    return out;
}

} // namespace kz
