#include "SwfWriter.h"

#include <QtMath>

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace kz {

namespace {

constexpr int kTwips = 20;

void PutLe(QByteArray &out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

std::int32_t Twips(double px) { return std::int32_t(std::lround(px * kTwips)); }

QByteArray Rect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
    const int n = std::max({SignedBits(xMin), SignedBits(xMax), SignedBits(yMin), SignedBits(yMax)});
    BitWriter w;
    w.Put(std::uint32_t(n), 5);
    for (std::int32_t v : {xMin, xMax, yMin, yMax})
        w.PutSigned(v, n);
    return w.Bytes();
}

void PutMatrix(BitWriter &w, const SwfMatrix &m) {
    auto fixed = [](double v) { return std::int32_t(std::lround(v * 65536.0)); };
    const bool hasScale = m.scaleX != 1 || m.scaleY != 1;
    w.Put(hasScale, 1);
    if (hasScale) {
        const std::int32_t sx = fixed(m.scaleX), sy = fixed(m.scaleY);
        const int n = std::max(SignedBits(sx), SignedBits(sy));
        w.Put(std::uint32_t(n), 5);
        w.PutSigned(sx, n);
        w.PutSigned(sy, n);
    }
    const bool hasRotate = m.rotateSkew0 != 0 || m.rotateSkew1 != 0;
    w.Put(hasRotate, 1);
    if (hasRotate) {
        const std::int32_t r0 = fixed(m.rotateSkew0), r1 = fixed(m.rotateSkew1);
        const int n = std::max(SignedBits(r0), SignedBits(r1));
        w.Put(std::uint32_t(n), 5);
        w.PutSigned(r0, n);
        w.PutSigned(r1, n);
    }
    const std::int32_t tx = Twips(m.translateX), ty = Twips(m.translateY);
    const int n = (tx == 0 && ty == 0) ? 0 : std::max(SignedBits(tx), SignedBits(ty));
    w.Put(std::uint32_t(n), 5);
    if (n) {
        w.PutSigned(tx, n);
        w.PutSigned(ty, n);
    }
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
    const int mb = std::max(SignedBits(x0), SignedBits(y0));
    w.Put(std::uint32_t(mb), 5);
    w.PutSigned(x0, mb);
    w.PutSigned(y0, mb);
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
        w.Put(1, 1);                          // edge
        w.Put(1, 1);                          // straight
        w.Put(std::uint32_t(nb - 2), 4);      // bits - 2
        w.Put(1, 1);                          // general line
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
    return Rect(Twips(x0), Twips(x1), Twips(y0), Twips(y1));
}

} // namespace

void BitWriter::Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        m_acc = (m_acc << 1) | ((value >> i) & 1u);
        if (++m_count == 8) {
            m_bytes.append(char(m_acc));
            m_acc = 0;
            m_count = 0;
        }
    }
}

void BitWriter::PutSigned(std::int32_t value, int bits) { Put(std::uint32_t(value), bits); }

void BitWriter::Align() {
    if (m_count)
        Put(0, 8 - m_count);
}

QByteArray BitWriter::Bytes() {
    Align();
    return m_bytes;
}

int SignedBits(std::int32_t v) {
    int bits = 2;
    while (bits < 32 && (v < -(std::int64_t(1) << (bits - 1)) || v >= (std::int64_t(1) << (bits - 1))))
        ++bits;
    return bits;
}

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
    const auto len = std::uint32_t(body.size());
    // Bitmaps and sound blocks always take the long form; players expect it for them.
    const bool longForm = len >= 0x3F || code == 21 || code == 19;
    PutLe(m_tags, (std::uint32_t(code) << 6) | (longForm ? 0x3F : len), 2);
    if (longForm)
        PutLe(m_tags, len, 4);
    m_tags += body;
}

void SwfWriter::SetBackgroundColor(QColor c) {
    QByteArray body;
    body.append(char(c.red())).append(char(c.green())).append(char(c.blue()));
    AddTag(9, body);
}

std::uint16_t SwfWriter::DefineJpeg(const QByteArray &jpeg) {
    const std::uint16_t id = NextId();
    QByteArray body;
    PutLe(body, id, 2);
    AddTag(21, body + jpeg);
    return id;
}

std::uint16_t SwfWriter::DefinePolygon(const QList<QPointF> &points, QColor fill) {
    const std::uint16_t id = NextId();
    QByteArray body;
    PutLe(body, id, 2);
    body += Bounds(points);
    body.append(char(1)); // one fill style
    body.append(char(0x00)).append(char(fill.red())).append(char(fill.green())).append(char(fill.blue()));
    body.append(char(0)); // no line styles
    body += PolygonRecords(points);
    AddTag(2, body);
    return id;
}

std::uint16_t SwfWriter::DefineBitmapRect(std::uint16_t bitmapId, int widthPx, int heightPx,
                                          int pixelRatio) {
    const std::uint16_t id = NextId();
    const QList<QPointF> points{{0, 0}, {double(widthPx), 0}, {double(widthPx), double(heightPx)},
                                {0, double(heightPx)}};
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
    AddTag(2, body);
    return id;
}

void SwfWriter::Place(std::uint16_t characterId, std::uint16_t depth, const SwfMatrix &m) {
    QByteArray body;
    body.append(char(0x02 | 0x04)); // has character, has matrix
    PutLe(body, depth, 2);
    PutLe(body, characterId, 2);
    body += MatrixBytes(m);
    AddTag(26, body);
}

void SwfWriter::Move(std::uint16_t depth, const SwfMatrix &m) {
    QByteArray body;
    body.append(char(0x01 | 0x04)); // move, has matrix
    PutLe(body, depth, 2);
    body += MatrixBytes(m);
    AddTag(26, body);
}

void SwfWriter::Remove(std::uint16_t depth) {
    QByteArray body;
    PutLe(body, depth, 2);
    AddTag(28, body);
}

void SwfWriter::SoundStreamHeadMp3(int sampleRate, bool stereo, int samplesPerFrame) {
    const int rateCode = sampleRate >= 44100 ? 3 : sampleRate >= 22050 ? 2 : sampleRate >= 11025 ? 1 : 0;
    const std::uint8_t fmt = std::uint8_t((rateCode << 2) | (1 << 1) | (stereo ? 1 : 0));
    QByteArray body;
    body.append(char(fmt));                                // playback format
    body.append(char((2 << 4) | fmt));                     // stream: MP3
    PutLe(body, std::uint32_t(samplesPerFrame), 2);
    PutLe(body, 0, 2);                                     // latency seek
    AddTag(45, body);
}

void SwfWriter::SoundStreamBlockMp3(const QByteArray &mp3Frames, int sampleCount, int seekSamples) {
    QByteArray body;
    PutLe(body, std::uint32_t(sampleCount), 2);
    PutLe(body, std::uint32_t(std::uint16_t(seekSamples)), 2);
    AddTag(19, body + mp3Frames);
}

void SwfWriter::ShowFrame() {
    AddTag(1, {});
    ++m_frames;
}

QByteArray SwfWriter::Finish(bool compressed) const {
    QByteArray body = Rect(0, m_width * kTwips, 0, m_height * kTwips);
    body.append(char(0)).append(char(m_rate));
    PutLe(body, std::uint32_t(m_frames), 2);
    body += m_tags;
    PutLe(body, 0, 2); // End
    QByteArray out;
    out.append(compressed ? 'C' : 'F').append("WS").append(char(m_version));
    PutLe(out, std::uint32_t(8 + body.size()), 4);
    if (!compressed)
        return out + body;
    uLongf cap = compressBound(uLong(body.size()));
    QByteArray z(qsizetype(cap), '\0');
    compress2(reinterpret_cast<Bytef *>(z.data()), &cap,
              reinterpret_cast<const Bytef *>(body.constData()), uLong(body.size()), 9);
    z.resize(qsizetype(cap));
    return out + z;
}

} // namespace kz
