#include "SwfWriter.h"

#include "SwfFraming.h"
#include "SwfTagCodes.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace kz {

namespace {

constexpr int kTwips = 20;

std::int32_t Twips(double px) {
    return std::int32_t(std::lround(px * kTwips));
}

// The writer's RECTs keep its own field width rule: at least 2 bits.
int RectBits(const SwfRect &r) {
    return std::max(
        {SignedBits(r.xMin), SignedBits(r.xMax), SignedBits(r.yMin), SignedBits(r.yMax)});
}

// Two signed fields behind their 5-bit width; a width of 0 writes no fields.
void PutSignedPair(BitWriter &w, std::int32_t a, std::int32_t b, int width) {
    w.Put(std::uint32_t(width), 5);
    if (width) {
        w.PutSigned(a, width);
        w.PutSigned(b, width);
    }
}

int PairBits(std::int32_t a, std::int32_t b) {
    return std::max(SignedBits(a), SignedBits(b));
}

void PutMatrix(BitWriter &w, const SwfMatrix &m) {
    auto fixed = [](double v) { return std::int32_t(std::lround(v * 65536.0)); };
    const bool hasScale = m.scaleX != 1 || m.scaleY != 1;
    w.Put(hasScale, 1);
    if (hasScale) {
        const std::int32_t sx = fixed(m.scaleX), sy = fixed(m.scaleY);
        PutSignedPair(w, sx, sy, PairBits(sx, sy));
    }
    const bool hasRotate = m.rotateSkew0 != 0 || m.rotateSkew1 != 0;
    w.Put(hasRotate, 1);
    if (hasRotate) {
        const std::int32_t r0 = fixed(m.rotateSkew0), r1 = fixed(m.rotateSkew1);
        PutSignedPair(w, r0, r1, PairBits(r0, r1));
    }
    const std::int32_t tx = Twips(m.translateX), ty = Twips(m.translateY);
    PutSignedPair(w, tx, ty, (tx == 0 && ty == 0) ? 0 : PairBits(tx, ty));
    w.Align();
}

QByteArray MatrixBytes(const SwfMatrix &m) {
    BitWriter w;
    PutMatrix(w, m);
    return w.Bytes();
}

// Shape records for one closed polygon drawn with fill style 1.
QByteArray PolygonRecords(const QList<QPointF> &points) {
    BitWriter w;
    w.Put(1, 4); // one fill bit
    w.Put(0, 4); // no line bits
    // Style change: move to the first point, fill style 1.
    const std::int32_t x0 = Twips(points.first().x()), y0 = Twips(points.first().y());
    w.Put(0, 1); // not an edge
    w.Put(0, 1); // new styles
    w.Put(0, 1); // line style
    w.Put(1, 1); // fill style 1
    w.Put(0, 1); // fill style 0
    w.Put(1, 1); // move to
    PutSignedPair(w, x0, y0, PairBits(x0, y0));
    w.Put(1, 1); // fill style 1 index
    std::int32_t cx = x0, cy = y0;
    QList<QPointF> closed = points;
    closed.append(points.first());
    for (qsizetype i = 1; i < closed.size(); ++i) {
        const std::int32_t nx = Twips(closed[i].x()), ny = Twips(closed[i].y());
        const std::int32_t dx = nx - cx, dy = ny - cy;
        if (dx == 0 && dy == 0)
            continue;
        const int nb = std::min(17, std::max({SignedBits(dx), SignedBits(dy), 2}));
        w.Put(1, 1);                     // edge
        w.Put(1, 1);                     // straight
        w.Put(std::uint32_t(nb - 2), 4); // bits - 2
        w.Put(1, 1);                     // general line
        w.PutSigned(dx, nb);
        w.PutSigned(dy, nb);
        cx = nx;
        cy = ny;
    }
    w.Put(0, 6); // end of shape
    w.Align();
    return w.Bytes();
}

QByteArray Bounds(const QList<QPointF> &points) {
    double x0 = points.first().x(), x1 = x0, y0 = points.first().y(), y1 = y0;
    for (const QPointF &p : points) {
        x0 = std::min(x0, p.x());
        x1 = std::max(x1, p.x());
        y0 = std::min(y0, p.y());
        y1 = std::max(y1, p.y());
    }
    const SwfRect bounds{Twips(x0), Twips(x1), Twips(y0), Twips(y1)};
    return RectBytes(bounds, RectBits(bounds));
}

} // namespace

SwfMatrix SwfMatrix::Translate(double x, double y) {
    SwfMatrix m;
    m.translateX = x;
    m.translateY = y;
    return m;
}

SwfMatrix SwfMatrix::RotateAbout(double degrees, double x, double y) {
    const double r = qDegreesToRadians(degrees);
    SwfMatrix m;
    m.scaleX = m.scaleY = std::cos(r);
    m.rotateSkew0 = std::sin(r);
    m.rotateSkew1 = -std::sin(r);
    m.translateX = x;
    m.translateY = y;
    return m;
}

SwfWriter::SwfWriter(int widthPx, int heightPx, int frameRate, std::uint8_t version)
    : m_width(widthPx), m_height(heightPx), m_rate(frameRate), m_version(version) {}

void SwfWriter::AddTag(std::uint16_t code, const QByteArray &body) {
    // Bitmaps and sound blocks always take the long form; players expect it for them.
    const bool longForm = code == kTagDefineBitsJpeg2 || code == kTagSoundStreamBlock;
    PutTagHeader(m_tags, code, std::uint32_t(body.size()), longForm);
    m_tags += body;
}

void SwfWriter::SetBackgroundColor(QColor c) {
    QByteArray body;
    body.append(char(c.red())).append(char(c.green())).append(char(c.blue()));
    AddTag(kTagSetBackgroundColor, body);
}

std::uint16_t SwfWriter::DefineJpeg(const QByteArray &jpeg) {
    const std::uint16_t id = NextId();
    QByteArray body;
    PutLe(body, id, 2);
    AddTag(kTagDefineBitsJpeg2, body + jpeg);
    return id;
}

std::uint16_t SwfWriter::DefinePolygon(const QList<QPointF> &points, QColor fill) {
    const std::uint16_t id = NextId();
    QByteArray body;
    PutLe(body, id, 2);
    body += Bounds(points);
    body.append(char(1)); // one fill style
    body.append(char(0x00))
        .append(char(fill.red()))
        .append(char(fill.green()))
        .append(char(fill.blue()));
    body.append(char(0)); // no line styles
    body += PolygonRecords(points);
    AddTag(kTagDefineShape, body);
    return id;
}

std::uint16_t SwfWriter::DefineBitmapRect(std::uint16_t bitmapId, int widthPx, int heightPx,
                                          int pixelRatio) {
    const std::uint16_t id = NextId();
    const QList<QPointF> points{
        {0, 0}, {double(widthPx), 0}, {double(widthPx), double(heightPx)}, {0, double(heightPx)}};
    QByteArray body;
    PutLe(body, id, 2);
    body += Bounds(points);
    body.append(char(1));
    body.append(char(0x41)); // clipped bitmap fill
    PutLe(body, bitmapId, 2);
    SwfMatrix m; // one bitmap pixel is 20 twips at ratio 1
    m.scaleX = m.scaleY = double(kTwips) / std::max(1, pixelRatio);
    body += MatrixBytes(m);
    body.append(char(0));
    body += PolygonRecords(points);
    AddTag(kTagDefineShape, body);
    return id;
}

void SwfWriter::Place(std::uint16_t characterId, std::uint16_t depth, const SwfMatrix &m) {
    QByteArray body;
    body.append(char(0x02 | 0x04)); // has character, has matrix
    PutLe(body, depth, 2);
    PutLe(body, characterId, 2);
    body += MatrixBytes(m);
    AddTag(kTagPlaceObject2, body);
}

void SwfWriter::Move(std::uint16_t depth, const SwfMatrix &m) {
    QByteArray body;
    body.append(char(0x01 | 0x04)); // move, has matrix
    PutLe(body, depth, 2);
    body += MatrixBytes(m);
    AddTag(kTagPlaceObject2, body);
}

void SwfWriter::Remove(std::uint16_t depth) {
    QByteArray body;
    PutLe(body, depth, 2);
    AddTag(kTagRemoveObject2, body);
}

void SwfWriter::SoundStreamHeadMp3(int sampleRate, bool stereo, int samplesPerFrame) {
    const int rateCode = sampleRate >= 44100   ? 3
                         : sampleRate >= 22050 ? 2
                         : sampleRate >= 11025 ? 1
                                               : 0;
    const std::uint8_t fmt = std::uint8_t((rateCode << 2) | (1 << 1) | (stereo ? 1 : 0));
    QByteArray body;
    body.append(char(fmt));            // playback format
    body.append(char((2 << 4) | fmt)); // stream: MP3
    PutLe(body, std::uint32_t(samplesPerFrame), 2);
    PutLe(body, 0, 2); // latency seek
    AddTag(kTagSoundStreamHead2, body);
}

void SwfWriter::SoundStreamBlockMp3(const QByteArray &mp3Frames, int sampleCount, int seekSamples) {
    QByteArray body;
    PutLe(body, std::uint32_t(sampleCount), 2);
    PutLe(body, std::uint32_t(std::uint16_t(seekSamples)), 2);
    AddTag(kTagSoundStreamBlock, body + mp3Frames);
}

void SwfWriter::ShowFrame() {
    AddTag(kTagShowFrame, {});
    ++m_frames;
}

QByteArray SwfWriter::Finish(bool compressed) const {
    MovieBodyHeader head;
    head.stage = {0, m_width * kTwips, 0, m_height * kTwips};
    head.rectFieldBits = RectBits(head.stage);
    head.rateFraction = 0;
    head.rateInteger = std::uint8_t(m_rate);
    head.frameCount = std::uint16_t(m_frames);
    QByteArray body = MovieBodyHeaderBytes(head) + m_tags;
    PutLe(body, kTagEnd, 2);
    return MovieBytes(compressed ? 'C' : 'F', m_version,
                      std::uint32_t(kSwfHeaderBytes + body.size()), body, 9);
}

} // namespace kz
