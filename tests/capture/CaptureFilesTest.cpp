// The capture's files: the BMP layout read back by an independent reader (Python's struct) and
// by ImageMagick, the other formats decoded by ImageMagick, the counter rule and the names.

#include "capture/CaptureFiles.h"
#include "capture/BmpWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {

// Reads a BMP with nothing but the file layout: header fields, then every pixel as [r, g, b]
// (top row first), taken from bottom-up rows padded to 4 bytes, through the colour table when
// there is one.
const char *kBmpReader = R"PY(
import json, struct, sys
data = open(sys.argv[1], 'rb').read()
magic, size, r1, r2, offset = struct.unpack_from('<2sIHHI', data, 0)
hsize, w, h, planes, bits, comp, image_size, xppm, yppm, used, important = \
    struct.unpack_from('<IiiHHIIiiII', data, 14)
table = []
if bits <= 8:
    for i in range(1 << bits):
        b, g, r, _ = struct.unpack_from('<BBBB', data, 54 + 4 * i)
        table.append([r, g, b])
row = (bits * w + 31) // 32 * 4
pixels = []
for y in range(h):
    base = offset + (h - 1 - y) * row
    line = []
    for x in range(w):
        if bits >= 24:
            b, g, r = data[base + x * (bits // 8): base + x * (bits // 8) + 3]
            line.append([r, g, b])
        else:
            per = 8 // bits
            byte = data[base + x // per]
            index = (byte >> ((per - 1 - x % per) * bits)) & ((1 << bits) - 1)
            line.append(table[index])
    pixels.append(line)
print(json.dumps(dict(magic=magic.decode(), size=size, reserved=[r1, r2], offset=offset,
    header=hsize, width=w, height=h, planes=planes, bits=bits, compression=comp,
    fileLength=len(data), row=row, tableSize=len(table), pixels=pixels)))
)PY";

QJsonObject ReadBmpIndependently(const QString &path) {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", kBmpReader, path});
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// ImageMagick's view of a file: "FORMAT WIDTH HEIGHT COLOURS", empty when it cannot decode it.
QString Identify(const QString &path) {
    QProcess p;
    p.start("identify", {"-format", "%m %w %h %k", path});
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
}

// Every pixel its own colour.
QImage Pattern(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x + y) * 29 % 256));
    return img;
}

bool Touch(const QString &path) {
    return test::WriteFile(path, "earlier");
}

} // namespace

TEST(CaptureBmp, LayoutReadBackIndependentlyAt24And32Bits) {
    QTemporaryDir dir;
    for (int bits : {24, 32}) {
        for (QSize size : {QSize(5, 3), QSize(1, 4), QSize(7, 2), QSize(8, 1)}) {
            const QImage img = Pattern(size.width(), size.height());
            const QByteArray bmp = EncodeBmp(img, bits);
            const QString path = dir.filePath(QString("p%1_%2.bmp").arg(bits).arg(size.width()));
            ASSERT_TRUE(test::WriteFile(path, bmp));
            const QJsonObject o = ReadBmpIndependently(path);
            const std::string what = path.toStdString();
            const int row = (bits * size.width() + 31) / 32 * 4;
            ASSERT_EQ(o["magic"].toString(), "BM") << what;
            EXPECT_EQ(o["header"].toInt(), 40) << what;
            EXPECT_EQ(o["offset"].toInt(), 54) << "no colour table at " << bits << " bits";
            EXPECT_EQ(o["row"].toInt(), row) << what;
            EXPECT_EQ(o["size"].toInt(), 54 + row * size.height()) << what;
            EXPECT_EQ(o["fileLength"].toInt(), o["size"].toInt()) << what;
            EXPECT_EQ(o["reserved"].toArray(), QJsonArray({0, 0})) << what;
            EXPECT_EQ(o["width"].toInt(), size.width()) << what;
            EXPECT_EQ(o["height"].toInt(), size.height()) << "positive: bottom-up";
            EXPECT_EQ(o["planes"].toInt(), 1) << what;
            EXPECT_EQ(o["bits"].toInt(), bits) << what;
            EXPECT_EQ(o["compression"].toInt(), 0) << what;
            const QJsonArray pixels = o["pixels"].toArray();
            ASSERT_EQ(pixels.size(), size.height()) << what;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const QRgb c = img.pixel(x, y);
                    EXPECT_EQ(pixels[y].toArray()[x].toArray(),
                              QJsonArray({qRed(c), qGreen(c), qBlue(c)}))
                        << what << " at " << x << "," << y;
                }
            // Row padding bytes are zero.
            for (int y = 0; y < size.height(); ++y)
                for (int i = size.width() * bits / 8; i < row; ++i)
                    EXPECT_EQ(bmp[54 + y * row + i], '\0') << what;
            EXPECT_EQ(Identify(path), QString("BMP3 %1 %2 %3")
                                          .arg(size.width())
                                          .arg(size.height())
                                          .arg(size.width() * size.height()))
                << what;
        }
    }
}

TEST(CaptureBmp, PalettedDepthsCarryTheirColourTable) {
    QTemporaryDir dir;
    QImage img(9, 3, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setPixel(8, 2, qRgb(255, 0, 0));
    for (int bits : {1, 4, 8}) {
        const QString path = dir.filePath(QString("p%1.bmp").arg(bits));
        ASSERT_TRUE(test::WriteFile(path, EncodeBmp(img, bits)));
        const QJsonObject o = ReadBmpIndependently(path);
        EXPECT_EQ(o["tableSize"].toInt(), 1 << bits);
        EXPECT_EQ(o["offset"].toInt(), 54 + 4 * (1 << bits));
        const int row = (bits * 9 + 31) / 32 * 4;
        EXPECT_EQ(o["size"].toInt(), 54 + 4 * (1 << bits) + 3 * row);
        const QJsonArray pixels = o["pixels"].toArray();
        EXPECT_EQ(pixels[0].toArray()[0].toArray(), QJsonArray({0, 0, 0})) << bits;
        EXPECT_EQ(pixels[1].toArray()[4].toArray(), QJsonArray({255, 255, 255})) << bits;
        if (bits > 1) {
            EXPECT_EQ(pixels[2].toArray()[8].toArray(), QJsonArray({255, 0, 0})) << bits;
        }
        EXPECT_TRUE(Identify(path).startsWith("BMP3 9 3")) << bits;
    }
}

TEST(CaptureBmp, BitsFollowTheDisplayDepthAndBadInputGivesNothing) {
    EXPECT_EQ(BmpBitsForDepth(1), 1);
    EXPECT_EQ(BmpBitsForDepth(2), 4);
    EXPECT_EQ(BmpBitsForDepth(8), 8);
    EXPECT_EQ(BmpBitsForDepth(15), 24);
    EXPECT_EQ(BmpBitsForDepth(16), 24);
    EXPECT_EQ(BmpBitsForDepth(24), 24);
    EXPECT_EQ(BmpBitsForDepth(30), 32);
    EXPECT_EQ(BmpBitsForDepth(32), 32);
    EXPECT_TRUE(EncodeBmp(QImage(), 24).isEmpty());
    EXPECT_TRUE(EncodeBmp(Pattern(2, 2), 16).isEmpty());
    EXPECT_EQ(DefaultPalette(8).size(), 256);
    EXPECT_EQ(DefaultPalette(4).size(), 16);
    EXPECT_TRUE(DefaultPalette(24).isEmpty());
}

TEST(CaptureNames, MovieNameBaseAndFileNames) {
    EXPECT_EQ(CaptureMovieName("/home/u/movies/a.swf"), "a.swf");
    EXPECT_EQ(CaptureMovieName("a.swf"), "a.swf");
    // A web address gives its last part.
    EXPECT_EQ(CaptureMovieName("http://example.org/flash/b.swf"), "b.swf");
    // A folder with and without its trailing separator gives the same names.
    EXPECT_EQ(CaptureBase("/tmp/shots", "a.swf"), "/tmp/shots/a.swf");
    EXPECT_EQ(CaptureBase("/tmp/shots/", "a.swf"), "/tmp/shots/a.swf");
    EXPECT_EQ(CaptureFileName("/tmp/shots/a.swf", 12, ".png"), "/tmp/shots/a.swf_12.png");
}

TEST(CaptureCounter, OnlyPngGivesZeroOneTwoAndLeavesNoBmp) {
    QTemporaryDir dir;
    const QImage img = Pattern(31, 17);
    CaptureFormats png{false, false, false, true};
    for (int i = 0; i < 3; ++i) {
        // Alternating the folder's trailing separator changes nothing.
        const QString base = CaptureBase(i % 2 ? dir.path() + "/" : dir.path(), "m.swf");
        const int counter = FindCaptureCounter(base, png);
        EXPECT_EQ(counter, i);
        EXPECT_EQ(WriteCaptureFiles(img, 24, base, counter, png),
                  QStringList{dir.filePath(QString("m.swf_%1.png").arg(i))});
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{"m.swf_0.png", "m.swf_1.png", "m.swf_2.png"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Identify(dir.filePath(QString("m.swf_%1.png").arg(i))), "PNG 31 17 527");
}

TEST(CaptureCounter, AnyEnabledFormatsFileTakesTheCounter) {
    QTemporaryDir dir;
    const QString base = CaptureBase(dir.path(), "m.swf");
    const CaptureFormats bmpJpg{true, true, false, false};
    // Only the JPEG of counter 0 is there from an earlier capture: both use counter 1.
    ASSERT_TRUE(Touch(base + "_0.jpg"));
    EXPECT_EQ(FindCaptureCounter(base, bmpJpg), 1);
    const QStringList written = WriteCaptureFiles(Pattern(6, 6), 24, base, 1, bmpJpg);
    EXPECT_EQ(written, (QStringList{base + "_1.bmp", base + "_1.jpg"}));
    EXPECT_EQ(test::ReadFile(base + "_0.jpg"), "earlier");
    // Files of formats that are off do not count.
    ASSERT_TRUE(Touch(base + "_2.gif"));
    EXPECT_EQ(FindCaptureCounter(base, bmpJpg), 2);
    EXPECT_EQ(FindCaptureCounter(base, {false, false, true, false}), 0);
    EXPECT_EQ(FindCaptureCounter(base, {false, false, false, false}), -1);
    // An existence check that always answers yes does not loop for ever.
    EXPECT_EQ(FindCaptureCounter(base, bmpJpg, [](const QString &) { return true; }), -1);
}

TEST(CaptureFiles, AllFourFormatsDecodeWithTheImagesSize) {
    QTemporaryDir dir;
    const QString base = CaptureBase(dir.path(), "movie.swf");
    const QStringList written =
        WriteCaptureFiles(Pattern(33, 21), 32, base, 0, {true, true, true, true});
    ASSERT_EQ(written.size(), 4);
    const QString formats[] = {"BMP3", "JPEG", "GIF", "PNG"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(written[i], base + "_0" + kCaptureExtensions[i]);
        const QString id = Identify(written[i]);
        EXPECT_TRUE(id.startsWith(formats[i] + " 33 21 ")) << id.toStdString();
        EXPECT_GT(id.section(' ', 3).toInt(), 1) << "more than one colour: " << id.toStdString();
    }
    // No scratch files are left beside them.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST(CaptureFiles, ABmpLeftFromEarlierIsNotTouchedWhenItsBoxIsOff) {
    QTemporaryDir dir;
    const QString base = CaptureBase(dir.path(), "m.swf");
    ASSERT_TRUE(Touch(base + "_0.bmp")); // kept from a capture with BMP on
    const CaptureFormats jpgOnly{false, true, false, false};
    ASSERT_EQ(FindCaptureCounter(base, jpgOnly), 0);
    EXPECT_EQ(WriteCaptureFiles(Pattern(4, 4), 24, base, 0, jpgOnly), QStringList{base + "_0.jpg"});
    EXPECT_EQ(test::ReadFile(base + "_0.bmp"), "earlier");
}

TEST(CaptureFiles, AFolderThatCannotBeWrittenWritesNothing) {
    QTemporaryDir dir;
    // A file stands where the folder should be.
    ASSERT_TRUE(Touch(dir.filePath("blocked")));
    const QString base = CaptureBase(dir.filePath("blocked"), "m.swf");
    EXPECT_TRUE(WriteCaptureFiles(Pattern(4, 4), 24, base, 0, {true, true, true, true}).isEmpty());
    EXPECT_TRUE(WriteCaptureFiles(Pattern(4, 4), 24, base, 0, {false, true, true, true}).isEmpty());
    EXPECT_TRUE(WriteCaptureFiles(QImage(), 24, CaptureBase(dir.path(), "m.swf"), 0, {}).isEmpty());
}

// A link at a capture's name takes its counter, dangling or not; one planted after the counter
// was chosen is neither followed nor replaced, and nothing is made where it points.
TEST(CaptureFiles, LinksTakeTheCounterAndAreNeverFollowed) {
    QTemporaryDir dir, elsewhere;
    const QString base = CaptureBase(dir.path(), "m.swf");
    const QString target = elsewhere.filePath("made.bmp");
    const QString mine = elsewhere.filePath("mine.png");
    ASSERT_TRUE(test::WriteFile(mine, "mine"));
    ASSERT_TRUE(QFile::link(target, base + "_0.bmp")); // dangling
    ASSERT_TRUE(QFile::link(mine, base + "_1.png"));
    const CaptureFormats bmpPng{true, false, false, true};
    EXPECT_EQ(FindCaptureCounter(base, bmpPng), 2);
    EXPECT_EQ(FindCaptureCounter(base, {false, false, false, true}), 0);

    // The counter's names taken meanwhile: the BMP cannot be written, so nothing is.
    EXPECT_TRUE(WriteCaptureFiles(Pattern(4, 4), 24, base, 0, bmpPng).isEmpty());
    EXPECT_TRUE(WriteCaptureFiles(Pattern(4, 4), 24, base, 1, {false, true, false, true}) ==
                QStringList{base + "_1.jpg"});
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(test::ReadFile(mine), "mine");
    EXPECT_EQ(QFileInfo(base + "_0.bmp").symLinkTarget(), target);
    EXPECT_EQ(QFileInfo(base + "_1.png").symLinkTarget(), mine);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{"m.swf_0.bmp", "m.swf_1.jpg", "m.swf_1.png"}));
}
