#pragma once
// Names and files of captured frames: "<folder>/<movie name>_<counter>.<ext>" in up to four
// formats. The counter is the first one for which no enabled format's file exists yet. The BMP
// is the source of the other formats (they are made from its pixels); it is kept as a file
// only when its format is on.

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace kz {

struct CaptureFormats {
    bool bmp = true;
    bool jpg = false;
    bool gif = false;
    bool png = false;
    bool Any() const { return bmp || jpg || gif || png; }
};

inline constexpr const char *kCaptureExtensions[4] = {".bmp", ".jpg", ".gif", ".png"};

// The movie's name: the text after the last "/" of the control's movie value (the whole value
// when it has none); for a web address its last part.
QString CaptureMovieName(const QString &movie);
// The folder with a separator appended when it does not end in one, then the movie name.
QString CaptureBase(const QString &folder, const QString &movieName);
// "%s_%d%s": base, counter, extension.
QString CaptureFileName(const QString &base, int counter, const QString &extension);

// The first counter from 0 for which none of the enabled formats' files exists (`exists`
// defaults to "the name is in the folder", as any kind of entry: a link, dangling or not, takes
// it too); -1 when no format is on or a very large number of counters is taken.
int FindCaptureCounter(const QString &base, const CaptureFormats &formats,
                       const std::function<bool(const QString &)> &exists = {});

// Writes the capture's files for a counter: the BMP (at the given bits per pixel) when its box
// is on, then JPEG, GIF and PNG in that order from the BMP's pixels. Each file is written
// beside its name and moved into place, so a failure leaves no half file; a name that exists
// meanwhile (a link planted there included) is neither followed nor replaced, and that file is
// not written. When the BMP is on and cannot be written, nothing is written. Returns the files
// written.
QStringList WriteCaptureFiles(const QImage &image, int bits, const QString &base, int counter,
                              const CaptureFormats &formats);

// The GIF of an image (through libgd, reduced to a 256-colour palette); empty on failure.
QByteArray EncodeGif(const QImage &image);

} // namespace kz
