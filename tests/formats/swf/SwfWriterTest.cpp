// The movie writer, read back by the header reader and by ffmpeg.

#include "formats/swf/SwfWriter.h"

#include "formats/swf/SwfFraming.h"
#include "formats/swf/TagWalker.h"
#include "playback/SwfHeader.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(SwfWriter, MoviesReadBackThroughTheHeaderReader) {
    QTemporaryDir tmp;
    SwfWriter w(550, 400, 30);
    w.SetBackgroundColor(QColor(0x12, 0x34, 0x56));
    const auto shape = w.DefinePolygon({{0, 0}, {10, 0}, {5, 8}}, Qt::red);
    w.Place(shape, 1, SwfMatrix::RotateAbout(30, 100, 100));
    w.ShowFrame();
    w.Move(1, SwfMatrix::Translate(-20.5, 300));
    w.ShowFrame();
    for (bool compressed : {false, true}) {
        const QString path = tmp.filePath(compressed ? "c.swf" : "f.swf");
        const QByteArray bytes = w.Finish(compressed);
        ASSERT_TRUE(WriteFile(path, bytes));
        SwfHeaderInfo h;
        ReadSwfHeader(path, h);
        EXPECT_EQ(h.isFlash, 1);
        EXPECT_EQ(h.version, 8);
        EXPECT_EQ(h.frameRate, 30);
        EXPECT_EQ(h.frameCount, 2);
        EXPECT_EQ(h.right, 550);
        EXPECT_EQ(h.bottom, 400);
        EXPECT_EQ(h.backgroundColor, 0x123456);
        EXPECT_TRUE(IsPlayableMovie(h));
        if (!compressed) {
            EXPECT_EQ(h.fileLength, std::uint32_t(bytes.size()));
        }
    }
}

// The tag walker sees every tag the writer wrote, in order; bitmaps and sound blocks carry the
// long header even when short, and placements stay inside their tags.
TEST(SwfWriter, TagsWalkBackInOrderWithTheirForms) {
    QTemporaryDir tmp;
    SwfWriter w(100, 80, 12, 10);
    w.SetBackgroundColor(Qt::white);
    const auto bitmap = w.DefineJpeg(QByteArray("\xFF\xD8\xFF\xD9", 4));
    const auto rect = w.DefineBitmapRect(bitmap, 100, 80, 2);
    w.Place(rect, 1);
    w.SoundStreamHeadMp3(44100, true, 1152);
    w.SoundStreamBlockMp3(QByteArray(10, 'm'), 1152);
    w.ShowFrame();
    w.Remove(1);
    w.ShowFrame();
    const std::vector<std::uint16_t> want{
        kTagSetBackgroundColor, kTagDefineBitsJpeg2,  kTagDefineShape,
        kTagPlaceObject2,       kTagSoundStreamHead2, kTagSoundStreamBlock,
        kTagShowFrame,          kTagRemoveObject2,    kTagShowFrame};
    for (const bool compressed : {false, true}) {
        const QByteArray movie = w.Finish(compressed);
        const QString path = tmp.filePath(compressed ? "c.swf" : "f.swf");
        ASSERT_TRUE(WriteFile(path, movie));
        auto src = OpenMovieTags(path);
        ASSERT_TRUE(src);
        std::vector<std::uint16_t> seen;
        TagWalker walker;
        for (std::uint16_t code : want)
            walker.On(code, [&](TagBody &tag) {
                seen.push_back(tag.Code());
                if (tag.Code() == kTagDefineBitsJpeg2) {
                    std::uint8_t id[2];
                    EXPECT_TRUE(tag.Read(id, 2));
                    EXPECT_EQ(Le16(id), bitmap);
                    EXPECT_EQ(tag.Left(), 4u);
                }
                return TagStep::Next;
            });
        EXPECT_EQ(walker.Walk(*src), WalkEnd::EndTag);
        EXPECT_EQ(seen, want);
        if (!compressed) {
            // Header 8, RECT, rate 2, count 2, then the colour tag (short) and the JPEG (long).
            const int rectBytes = int(RectByteCount(std::uint8_t(movie[8])));
            const int jpegAt = 8 + rectBytes + 4 + 2 + 3;
            EXPECT_EQ(std::uint8_t(movie[jpegAt]) & 0x3F, 0x3F);
            EXPECT_EQ(Le32(reinterpret_cast<const std::uint8_t *>(movie.constData()) + jpegAt + 2),
                      6u);
        }
    }
}

// The MP3 stream is checked by an independent reader: ffmpeg copies back the same MP3 frames.
TEST(SwfWriter, Mp3StreamIsReadByFfmpeg) {
    QTemporaryDir tmp;
    const QString mp3 = tmp.filePath("tone.mp3");
    QProcess enc;
    enc.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-ar",
                         "22050", "-ac", "1", "-c:a", "libmp3lame", "-b:a", "32k", "-write_xing",
                         "0", "-id3v2_version", "0", mp3});
    ASSERT_TRUE(enc.waitForFinished(60000));
    ASSERT_EQ(enc.exitCode(), 0) << enc.readAllStandardError().toStdString();
    const QByteArray frames = ReadFile(mp3);
    ASSERT_GT(frames.size(), 1000);

    // 22050 Hz MPEG-2 layer III: 576 samples per frame; split the stream at frame headers.
    QList<QByteArray> mp3Frames;
    qsizetype start = 0;
    for (qsizetype i = 1; i + 1 < frames.size(); ++i) {
        if (quint8(frames[i]) == 0xFF && (quint8(frames[i + 1]) & 0xE0) == 0xE0) {
            mp3Frames.append(frames.mid(start, i - start));
            start = i;
        }
    }
    mp3Frames.append(frames.mid(start));
    SwfWriter w(100, 100, 12);
    w.SoundStreamHeadMp3(22050, false, 576 * 3);
    const QByteArray one = w.Finish();
    for (qsizetype i = 0; i < mp3Frames.size(); i += 3) {
        QByteArray block;
        int n = 0;
        for (qsizetype k = i; k < std::min(i + 3, mp3Frames.size()); ++k, ++n)
            block += mp3Frames[k];
        w.SoundStreamBlockMp3(block, 576 * n);
        w.ShowFrame();
    }
    const QString swf = tmp.filePath("tone.swf");
    ASSERT_TRUE(WriteFile(swf, w.Finish()));
    const QString back = tmp.filePath("back.mp3");
    QProcess dec;
    dec.start("ffmpeg", {"-v", "error", "-i", swf, "-c:a", "copy", "-f", "mp3", "-write_xing", "0",
                         "-id3v2_version", "0", back});
    ASSERT_TRUE(dec.waitForFinished(60000));
    ASSERT_EQ(dec.exitCode(), 0) << dec.readAllStandardError().toStdString();
    EXPECT_EQ(ReadFile(back), frames);
    EXPECT_GT(one.size(), 0);
}
