// kzgen OUTDIR: makes the data files the program directory ships — the skin images, the
// fallback movies and the sample movies — from code, at build time.

#include "formats/swf/SwfWriter.h"

#include "playlist/ListFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace kz {
namespace {

bool Save(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "kzgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray Jpeg(const QImage &image, int quality = 92) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image.convertToFormat(QImage::Format_RGB32));
    return bytes;
}

QFont UiFont(int pixelSize, bool bold = false) {
    QFont f(QStringLiteral("WenQuanYi Zen Hei"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

// ---- skins ----------------------------------------------------------------------------------

using Glyph = std::function<void(QPainter &, const QRectF &)>;

QImage Button(const Glyph &glyph, bool pressed) {
    QImage img(48, 40, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 40);
    g.setColorAt(0, pressed ? QColor(0x8a, 0x9c, 0xb8) : QColor(0xf4, 0xf7, 0xfc));
    g.setColorAt(1, pressed ? QColor(0x5b, 0x6f, 0x92) : QColor(0xc9, 0xd3, 0xe3));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(0x55, 0x66, 0x80), 1));
    p.drawRoundedRect(QRectF(0.5, 0.5, 47, 39), 5, 5);
    const QRectF box = QRectF(12, 8, 24, 24).translated(pressed ? 1 : 0, pressed ? 1 : 0);
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? QColor(Qt::white) : QColor(0x1f, 0x3a, 0x68));
    glyph(p, box);
    return img;
}

QPainterPath Triangle(const QRectF &r, bool right) {
    QPainterPath path;
    if (right) {
        path.moveTo(r.left(), r.top());
        path.lineTo(r.right(), r.center().y());
        path.lineTo(r.left(), r.bottom());
    } else {
        path.moveTo(r.right(), r.top());
        path.lineTo(r.left(), r.center().y());
        path.lineTo(r.right(), r.bottom());
    }
    path.closeSubpath();
    return path;
}

void Letter(QPainter &p, const QRectF &r, const QString &text, int size) {
    p.setPen(p.brush().color());
    p.setFont(UiFont(size, true));
    p.drawText(r.adjusted(-8, -4, 8, 4), Qt::AlignCenter, text);
    p.setPen(Qt::NoPen);
}

void Speaker(QPainter &p, const QRectF &r) {
    QPainterPath s;
    s.moveTo(r.left(), r.top() + 8);
    s.lineTo(r.left() + 6, r.top() + 8);
    s.lineTo(r.left() + 13, r.top() + 2);
    s.lineTo(r.left() + 13, r.bottom() - 2);
    s.lineTo(r.left() + 6, r.bottom() - 8);
    s.lineTo(r.left(), r.bottom() - 8);
    s.closeSubpath();
    p.drawPath(s);
}

struct Skin {
    const char *name;
    Glyph glyph;
};

QList<Skin> Skins() {
    auto arc = [](QPainter &p, const QRectF &r, bool withArrowEnd) {
        QPen pen(p.brush().color(), 3);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(r.adjusted(2, 2, -2, -2), 30 * 16, 300 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(pen.color());
        if (withArrowEnd) {
            QPainterPath head;
            head.moveTo(r.right() - 1, r.top() + 3);
            head.lineTo(r.right() + 1, r.top() + 12);
            head.lineTo(r.right() - 9, r.top() + 9);
            head.closeSubpath();
            p.drawPath(head);
        }
    };
    return {
        {"play", [](QPainter &p, const QRectF &r) { p.drawPath(Triangle(r.adjusted(3, 0, -1, 0), true)); }},
        {"pause",
         [](QPainter &p, const QRectF &r) {
             p.drawRect(QRectF(r.left() + 3, r.top(), 7, r.height()));
             p.drawRect(QRectF(r.right() - 10, r.top(), 7, r.height()));
         }},
        {"stop", [](QPainter &p, const QRectF &r) { p.drawRect(r.adjusted(2, 2, -2, -2)); }},
        {"next",
         [](QPainter &p, const QRectF &r) {
             p.drawPath(Triangle(QRectF(r.left(), r.top() + 2, 16, r.height() - 4), true));
             p.drawRect(QRectF(r.right() - 6, r.top() + 2, 5, r.height() - 4));
         }},
        {"prev",
         [](QPainter &p, const QRectF &r) {
             p.drawRect(QRectF(r.left() + 1, r.top() + 2, 5, r.height() - 4));
             p.drawPath(Triangle(QRectF(r.right() - 16, r.top() + 2, 16, r.height() - 4), false));
         }},
        {"auto", [](QPainter &p, const QRectF &r) { Letter(p, r, QStringLiteral("自动"), 12); }},
        {"noauto", [](QPainter &p, const QRectF &r) { Letter(p, r, QStringLiteral("手动"), 12); }},
        {"repeat",
         [arc](QPainter &p, const QRectF &r) {
             arc(p, r, true);
             Letter(p, r, QStringLiteral("全"), 10);
         }},
        {"rewind",
         [arc](QPainter &p, const QRectF &r) {
             arc(p, r, true);
             Letter(p, r, QStringLiteral("1"), 11);
         }},
        {"mute",
         [](QPainter &p, const QRectF &r) {
             Speaker(p, r);
             p.setPen(QPen(p.brush().color(), 3));
             p.drawLine(QPointF(r.left() + 16, r.top() + 7), QPointF(r.right(), r.bottom() - 7));
             p.drawLine(QPointF(r.right(), r.top() + 7), QPointF(r.left() + 16, r.bottom() - 7));
             p.setPen(Qt::NoPen);
         }},
        {"sound",
         [](QPainter &p, const QRectF &r) {
             Speaker(p, r);
             const QColor c = p.brush().color();
             p.setBrush(Qt::NoBrush);
             p.setPen(QPen(c, 2));
             p.drawArc(QRectF(r.left() + 8, r.top() + 5, 10, 14), -60 * 16, 120 * 16);
             p.drawArc(QRectF(r.left() + 8, r.top() + 1, 16, 22), -60 * 16, 120 * 16);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
         }},
    };
}

QImage BackButton() {
    QImage img(64, 24, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 24);
    g.setColorAt(0, QColor(0xf4, 0xf7, 0xfc));
    g.setColorAt(1, QColor(0xc9, 0xd3, 0xe3));
    p.fillRect(img.rect(), g);
    p.setPen(QColor(0x55, 0x66, 0x80));
    p.drawRoundedRect(QRectF(0.5, 0.5, 63, 23), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3a, 0x68));
    p.drawPath(Triangle(QRectF(7, 6, 9, 12), false));
    p.setPen(QColor(0x1f, 0x3a, 0x68));
    p.setFont(UiFont(13, true));
    p.drawText(QRectF(18, 0, 44, 24), Qt::AlignCenter, QStringLiteral("返回"));
    return img;
}

// ---- movies ---------------------------------------------------------------------------------

QList<QPointF> RegularPolygon(double radius, int sides, double phaseDegrees = 0) {
    QList<QPointF> pts;
    for (int i = 0; i < sides; ++i) {
        const double a = qDegreesToRadians(phaseDegrees + 360.0 * i / sides);
        pts.append(QPointF(radius * std::cos(a), radius * std::sin(a)));
    }
    return pts;
}

QList<QPointF> Star(double outer, double inner, int points) {
    QList<QPointF> pts;
    for (int i = 0; i < points * 2; ++i) {
        const double r = (i % 2) ? inner : outer;
        const double a = qDegreesToRadians(-90 + 180.0 * i / points);
        pts.append(QPointF(r * std::cos(a), r * std::sin(a)));
    }
    return pts;
}

// A picture with a title and lines of text, as a JPEG of twice the size for sharp text.
QByteArray TextPicture(int w, int h, QColor back, QColor ink, const QString &title,
                       const QStringList &lines) {
    QImage img(w * 2, h * 2, QImage::Format_RGB32);
    img.fill(back);
    QPainter p(&img);
    p.scale(2, 2);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(ink);
    p.setFont(UiFont(26, true));
    p.drawText(QRectF(0, 8, w, 40), Qt::AlignCenter, title);
    p.setFont(UiFont(16));
    double y = 56;
    for (const QString &line : lines) {
        p.drawText(QRectF(8, y, w - 16, 24), Qt::AlignCenter, line);
        y += 26;
    }
    return Jpeg(img, 90);
}

// A fallback movie: a message board and a small marker that keeps moving, so the user sees
// the player is alive.
QByteArray FallbackMovie(QColor back, QColor board, QColor ink, const QString &title,
                         const QStringList &lines, QColor marker) {
    SwfWriter w(400, 300, 12);
    w.SetBackgroundColor(back);
    const std::uint16_t pic = w.DefineJpeg(TextPicture(360, 160, board, ink, title, lines));
    const std::uint16_t picShape = w.DefineBitmapRect(pic, 360, 160, 2);
    const std::uint16_t bar = w.DefinePolygon({{0, 0}, {360, 0}, {360, 6}, {0, 6}}, board.darker(130));
    const std::uint16_t dot = w.DefinePolygon(RegularPolygon(9, 24), marker);
    w.Place(bar, 1, SwfMatrix::Translate(20, 250));
    w.Place(picShape, 2, SwfMatrix::Translate(20, 50));
    const int frames = 36;
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / frames;
        const double x = 20 + 9 + (360 - 18) * (0.5 - 0.5 * std::cos(2 * M_PI * t));
        if (f == 0)
            w.Place(dot, 3, SwfMatrix::Translate(x, 253));
        else
            w.Move(3, SwfMatrix::Translate(x, 253));
        w.ShowFrame();
    }
    return w.Finish();
}

QByteArray BounceMovie() {
    SwfWriter w(480, 360, 24);
    w.SetBackgroundColor(QColor(0xe8, 0xf4, 0xff));
    const std::uint16_t title = w.DefineBitmapRect(
        w.DefineJpeg(TextPicture(300, 50, QColor(0xe8, 0xf4, 0xff), QColor(0x20, 0x40, 0x80),
                                 QStringLiteral("弹跳的小球"), {})),
        300, 50, 2);
    const std::uint16_t floor = w.DefinePolygon({{0, 0}, {480, 0}, {480, 40}, {0, 40}}, QColor(0x4c, 0xaf, 0x50));
    const std::uint16_t ball = w.DefinePolygon(RegularPolygon(24, 32), QColor(0xe5, 0x39, 0x35));
    const std::uint16_t shadow = w.DefinePolygon(RegularPolygon(20, 24), QColor(0x38, 0x8e, 0x3c));
    w.Place(title, 1, SwfMatrix::Translate(90, 10));
    w.Place(floor, 2, SwfMatrix::Translate(0, 320));
    const int frames = 72;
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / frames;
        const double x = 40 + 400 * t;
        const double bounce = std::abs(std::sin(3 * M_PI * t));
        const double y = 296 - 200 * bounce;
        SwfMatrix sh = SwfMatrix::Translate(x, 322);
        sh.scaleY = 0.3;
        if (f == 0) {
            w.Place(shadow, 3, sh);
            w.Place(ball, 4, SwfMatrix::Translate(x, y));
        } else {
            w.Move(3, sh);
            w.Move(4, SwfMatrix::Translate(x, y));
        }
        w.ShowFrame();
    }
    return w.Finish(true);
}

QByteArray WindmillMovie() {
    SwfWriter w(400, 400, 24);
    w.SetBackgroundColor(QColor(0x26, 0x32, 0x38));
    const std::uint16_t star = w.DefinePolygon(Star(150, 60, 5), QColor(0xff, 0xc1, 0x07));
    const std::uint16_t square = w.DefinePolygon(RegularPolygon(70, 4, 45), QColor(0x03, 0xa9, 0xf4));
    const std::uint16_t hub = w.DefinePolygon(RegularPolygon(18, 20), QColor(0xff, 0xff, 0xff));
    const int frames = 60;
    for (int f = 0; f < frames; ++f) {
        const double a = 360.0 * f / frames;
        if (f == 0) {
            w.Place(star, 1, SwfMatrix::RotateAbout(a, 200, 200));
            w.Place(square, 2, SwfMatrix::RotateAbout(-2 * a, 200, 200));
            w.Place(hub, 3, SwfMatrix::Translate(200, 200));
        } else {
            w.Move(1, SwfMatrix::RotateAbout(a, 200, 200));
            w.Move(2, SwfMatrix::RotateAbout(-2 * a, 200, 200));
        }
        w.ShowFrame();
    }
    return w.Finish(true);
}

QByteArray ColourBarsMovie() {
    SwfWriter w(480, 270, 20);
    w.SetBackgroundColor(QColor(0x10, 0x10, 0x10));
    const QList<QColor> colours{QColor(0xf4, 0x43, 0x36), QColor(0xff, 0x98, 0x00), QColor(0xff, 0xeb, 0x3b),
                                QColor(0x4c, 0xaf, 0x50), QColor(0x21, 0x96, 0xf3), QColor(0x9c, 0x27, 0xb0)};
    QList<std::uint16_t> bars;
    for (const QColor &c : colours)
        bars.append(w.DefinePolygon({{0, 0}, {60, 0}, {60, 200}, {0, 200}}, c));
    const int frames = 60;
    for (int f = 0; f < frames; ++f) {
        for (int i = 0; i < bars.size(); ++i) {
            const double phase = 2 * M_PI * (double(f) / frames + i / 6.0);
            SwfMatrix m = SwfMatrix::Translate(20 + i * 75, 235 - 200 * (0.55 + 0.45 * std::sin(phase)));
            m.scaleY = 0.55 + 0.45 * std::sin(phase);
            if (f == 0)
                w.Place(bars[i], std::uint16_t(i + 1), m);
            else
                w.Move(std::uint16_t(i + 1), m);
        }
        w.ShowFrame();
    }
    return w.Finish(false);
}

} // namespace
} // namespace kz

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kzgen OUTDIR\n");
        return 2;
    }
    using namespace kz;
    const QString out = QString::fromLocal8Bit(argv[1]) + u'/';
    bool ok = true;
    for (const Skin &s : Skins()) {
        ok &= Save(out + QStringLiteral("res/%1up.jpg").arg(QLatin1String(s.name)), Jpeg(Button(s.glyph, false)));
        ok &= Save(out + QStringLiteral("res/%1sel.jpg").arg(QLatin1String(s.name)), Jpeg(Button(s.glyph, true)));
    }
    ok &= Save(out + QStringLiteral("res/return.jpg"), Jpeg(BackButton()));
    ok &= Save(out + QStringLiteral("inflash/nonexist.swf"),
               FallbackMovie(QColor(0xff, 0xf3, 0xe0), QColor(0xff, 0xff, 0xff), QColor(0xb7, 0x1c, 0x1c),
                             QStringLiteral("找不到 Flash 影片"),
                             {QStringLiteral("要播放的影片文件不存在，或者无法打开。"),
                              QStringLiteral("请检查文件的位置，或者网络地址是否正确。"),
                              QStringLiteral("The movie could not be found.")},
                             QColor(0xe6, 0x51, 0x00)));
    ok &= Save(out + QStringLiteral("inflash/errorfmat.swf"),
               FallbackMovie(QColor(0xe3, 0xf2, 0xfd), QColor(0xff, 0xff, 0xff), QColor(0x0d, 0x47, 0xa1),
                             QStringLiteral("不是 Flash 影片"),
                             {QStringLiteral("这个文件不是可以播放的 Flash 影片，"),
                              QStringLiteral("或者文件已经损坏。"),
                              QStringLiteral("The file is not a playable Flash movie.")},
                             QColor(0x15, 0x65, 0xc0)));
    // The sample list file carries the sample movies inside it.
    const QStringList samples{out + QStringLiteral("samples/弹跳的小球.swf"),
                              out + QStringLiteral("samples/windmill.swf"),
                              out + QStringLiteral("samples/colourbars.swf")};
    ok &= Save(samples[0], BounceMovie());
    ok &= Save(samples[1], WindmillMovie());
    ok &= Save(samples[2], ColourBarsMovie());
    const QString sampleList = out + QStringLiteral("sample.tpl");
    ok &= CreateListFile(sampleList);
    for (const QString &movie : samples)
        ok &= AddMovie(movie, sampleList);
    if (!ok)
        std::fprintf(stderr, "kzgen: some data could not be made\n");
    return ok ? 0 : 1;
}
