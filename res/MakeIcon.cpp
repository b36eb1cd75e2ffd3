// Draws the program's icon (window, notification area, desktop entries) into the program
// directory's "res/" folder. Usage: kz_makeicon OUTPUT_DIR

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

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
        std::fprintf(stderr, "usage: kz_makeicon OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    if (!IconImage().save(QDir(out).filePath(QStringLiteral("KZPlayer.png")), "PNG")) {
        std::fprintf(stderr, "cannot write the icon\n");
        return 1;
    }
    return 0;
}
