#include "CaptureFiles.h"

#include "capture/BmpWriter.h"
#include "platform/FdIo.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include <gd.h>

#include <sys/stat.h>

namespace kz {

namespace {

// More counters than any folder holds files: a file system that claims every name exists
// does not keep the capture looping.
constexpr int kMaxCounter = 100000;

// Any entry takes a name: a file we may not read, and a link of any kind, dangling or not.
bool Taken(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QByteArray EncodeWithQt(const QImage &image, const char *format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace

QString CaptureMovieName(const QString &movie) {
    return movie.mid(movie.lastIndexOf(u'/') + 1);
}

QString CaptureBase(const QString &folder, const QString &movieName) {
    QString base = folder;
    if (!base.endsWith(u'/'))
        base += u'/';
    return base + movieName;
}

QString CaptureFileName(const QString &base, int counter, const QString &extension) {
    return QStringLiteral("%1_%2%3").arg(base).arg(counter).arg(extension);
}

int FindCaptureCounter(const QString &base, const CaptureFormats &formats,
                       const std::function<bool(const QString &)> &existsIn) {
    if (!formats.Any())
        return -1;
    const std::function<bool(const QString &)> exists = existsIn ? existsIn : Taken;
    const bool on[4] = {formats.bmp, formats.jpg, formats.gif, formats.png};
    for (int counter = 0; counter < kMaxCounter; ++counter) {
        bool taken = false;
        for (int i = 0; i < 4 && !taken; ++i)
            taken = on[i] && exists(CaptureFileName(base, counter, kCaptureExtensions[i]));
        if (!taken)
            return counter;
    }
    return -1;
}

QByteArray EncodeGif(const QImage &image) {
    if (image.isNull())
        return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    gdImagePtr truecolour = gdImageCreateTrueColor(rgb.width(), rgb.height());
    if (!truecolour)
        return {};
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            gdImageSetPixel(truecolour, x, y,
                            gdTrueColor(qRed(line[x]), qGreen(line[x]), qBlue(line[x])));
    }
    QByteArray out;
    gdImagePtr palette = gdImageCreatePaletteFromTrueColor(truecolour, 0, 256);
    gdImageDestroy(truecolour);
    if (!palette)
        return {};
    int size = 0;
    if (void *data = gdImageGifPtr(palette, &size)) {
        out = QByteArray(static_cast<const char *>(data), size);
        gdFree(data);
    }
    gdImageDestroy(palette);
    return out;
}

QStringList WriteCaptureFiles(const QImage &image, int bits, const QString &base, int counter,
                              const CaptureFormats &formats) {
    QStringList written;
    const QByteArray bmp = EncodeBmp(image, bits);
    if (bmp.isEmpty() || counter < 0)
        return written;
    if (formats.bmp) {
        const QString name =
            CaptureFileName(base, counter, QString::fromLatin1(kCaptureExtensions[0]));
        if (!WriteNewFile(name, bmp))
            return written;
        written << name;
    }
    if (!formats.jpg && !formats.gif && !formats.png)
        return written;
    // The other formats are made from the BMP's pixels. When its box is off no BMP file is
    // made at all, so a BMP the user kept from an earlier capture is never overwritten.
    const QImage source = QImage::fromData(bmp, "BMP");
    if (source.isNull())
        return written;
    const struct {
        bool on;
        int index;
        std::function<QByteArray()> encode;
    } others[] = {
        {formats.jpg, 1, [&] { return EncodeWithQt(source, "jpeg"); }},
        {formats.gif, 2, [&] { return EncodeGif(source); }},
        {formats.png, 3, [&] { return EncodeWithQt(source, "png"); }},
    };
    for (const auto &o : others) {
        if (!o.on)
            continue;
        const QByteArray bytes = o.encode();
        const QString name =
            CaptureFileName(base, counter, QString::fromLatin1(kCaptureExtensions[o.index]));
        if (!bytes.isEmpty() && WriteNewFile(name, bytes))
            written << name;
    }
    return written;
}

} // namespace kz
