#pragma once
// A small writer of Flash movies: header, background, JPEG bitmaps, filled polygon shapes
// (solid or bitmap fills), placing and moving them, frames, and an optional MP3 sound stream.
// The program's own movies (samples, fallbacks) are made with it at build time, and tests use
// it for movies with a known content.

#include "SwfBits.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPointF>

#include <cstdint>

namespace kz {

// A placement: scale and rotation (skew) terms and a translation in pixels.
struct SwfMatrix {
    double scaleX = 1, scaleY = 1, rotateSkew0 = 0, rotateSkew1 = 0;
    double translateX = 0, translateY = 0;
    static SwfMatrix Translate(double x, double y);
    static SwfMatrix RotateAbout(double degrees, double x, double y);
};

class SwfWriter {
public:
    SwfWriter(int widthPx, int heightPx, int frameRate, std::uint8_t version = 8);

    void SetBackgroundColor(QColor color);
    // A DefineBitsJPEG2 bitmap from complete JPEG bytes; returns its character id.
    std::uint16_t DefineJpeg(const QByteArray &jpeg);
    // A closed polygon (pixels, relative to the shape's origin) filled with a colour.
    std::uint16_t DefinePolygon(const QList<QPointF> &points, QColor fill);
    // A rectangle of widthPx x heightPx showing a bitmap of `pixelRatio` bitmap pixels per
    // pixel (2 for a sharper picture when the movie is scaled up), its top-left at the origin.
    std::uint16_t DefineBitmapRect(std::uint16_t bitmapId, int widthPx, int heightPx,
                                   int pixelRatio = 1);
    void Place(std::uint16_t characterId, std::uint16_t depth, const SwfMatrix &m = {});
    void Move(std::uint16_t depth, const SwfMatrix &m);
    void Remove(std::uint16_t depth);
    // An MP3 sound stream: the head, then one block per frame with the frames' MP3 data.
    void SoundStreamHeadMp3(int sampleRate, bool stereo, int samplesPerFrame);
    void SoundStreamBlockMp3(const QByteArray &mp3Frames, int sampleCount, int seekSamples = 0);
    void ShowFrame();
    void AddTag(std::uint16_t code, const QByteArray &body);

    int FrameCount() const { return m_frames; }
    // The whole movie, with the End tag; "CWS" when compressed.
    QByteArray Finish(bool compressed = false) const;

private:
    std::uint16_t NextId() { return m_nextId++; }
    QByteArray m_tags;
    int m_width, m_height, m_rate, m_frames = 0;
    std::uint8_t m_version;
    std::uint16_t m_nextId = 1;
};

} // namespace kz
