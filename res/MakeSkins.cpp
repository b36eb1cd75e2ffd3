// Draws the skin images the player loads from its program directory's "res/" folder.
// Usage: kz_makeskins OUTPUT_DIR

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The "Back" button: a white arrow pointing left on a blue rounded plate.
QImage ReturnImage() {
    QImage img(48, 24, QImage::Format_RGB32);
    img.fill(QColor(0, 0, 0));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(57, 96, 168));
    p.drawRoundedRect(QRectF(1, 1, 46, 22), 5, 5);
    QPainterPath arrow;
    arrow.moveTo(9, 12);
    arrow.lineTo(20, 4);
    arrow.lineTo(20, 9);
    arrow.lineTo(39, 9);
    arrow.lineTo(39, 15);
    arrow.lineTo(20, 15);
    arrow.lineTo(20, 20);
    arrow.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return img;
}

// The program's icon: a play triangle on a blue disc.
QImage IconImage() {
    QImage img(64, 64, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(57, 96, 168));
    p.drawEllipse(QRectF(2, 2, 60, 60));
    QPainterPath play;
    play.moveTo(24, 16);
    play.lineTo(48, 32);
    play.lineTo(24, 48);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
    return img;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kz_makeskins OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    if (!ReturnImage().save(QDir(out).filePath(QStringLiteral("return.jpg")), "JPG", 95) ||
        !IconImage().save(QDir(out).filePath(QStringLiteral("KZPlayer.png")), "PNG")) {
        std::fprintf(stderr, "cannot write the skin images\n");
        return 1;
    }
    return 0;
}
