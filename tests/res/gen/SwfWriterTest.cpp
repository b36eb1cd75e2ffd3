#include "res/gen/SwfWriter.h"

#include "playback/SwfHeader.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(BitWriter, PacksMostSignificantFirstAndSignExtends) {
    BitWriter w;
    w.Put(0b101, 3);
    w.PutSigned(-1, 2); // 11
    w.Put(0, 1);
    w.PutSigned(-3, 4); // 1101
    EXPECT_EQ(w.Bytes(), QByteArray("\xBB\x40", 2));
    EXPECT_EQ(SignedBits(0), 2);
    EXPECT_EQ(SignedBits(1), 2);
    EXPECT_EQ(SignedBits(-2), 2);
    EXPECT_EQ(SignedBits(2), 3);
    EXPECT_EQ(SignedBits(11000), 15);
    EXPECT_EQ(SignedBits(-16384), 15);
}

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

// The MP3 stream is checked by an independent reader: ffmpeg copies back the same MP3 frames.
TEST(SwfWriter, Mp3StreamIsReadByFfmpeg) {
    QTemporaryDir tmp;
    const QString mp3 = tmp.filePath("tone.mp3");
    QProcess enc;
    enc.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
                         "-ar", "22050", "-ac", "1", "-c:a", "libmp3lame", "-b:a", "32k",
                         "-write_xing", "0", "-id3v2_version", "0", mp3});
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

TEST(GeneratedData, SkinsAndMoviesAreThereAndUsable) {
    const QString gen = QStringLiteral(KZ_GEN_DIR);
    for (const char *name : {"play", "pause", "stop", "next", "prev", "auto", "noauto", "repeat",
                             "rewind", "mute", "sound"}) {
        for (const char *state : {"up", "sel"}) {
            const QImage img(gen + QStringLiteral("/res/%1%2.jpg").arg(name, state));
            ASSERT_FALSE(img.isNull()) << name << state;
            EXPECT_EQ(img.size(), QSize(48, 40));
        }
        // The two states of a button differ.
        EXPECT_NE(QImage(gen + QStringLiteral("/res/%1up.jpg").arg(name)),
                  QImage(gen + QStringLiteral("/res/%1sel.jpg").arg(name)));
    }
    EXPECT_FALSE(QImage(gen + "/res/return.jpg").isNull());
    QStringList movies{gen + "/inflash/nonexist.swf", gen + "/inflash/errorfmat.swf"};
    for (const QString &name : QDir(gen + "/samples").entryList({"*.swf"}))
        movies << gen + "/samples/" + name;
    EXPECT_EQ(movies.size(), 5);
    for (const QString &path : movies) {
        SwfHeaderInfo h;
        ReadSwfHeader(path, h);
        EXPECT_TRUE(IsPlayableMovie(h)) << path.toStdString();
        EXPECT_GT(h.frameCount, 30) << path.toStdString();
    }
}

// The sample list file holds the sample movies byte for byte; an independent reader agrees.
TEST(GeneratedData, SampleListFileCarriesTheSamples) {
    const QString gen = QStringLiteral(KZ_GEN_DIR);
    const QString list = gen + "/sample.tpl";
    QStringList names;
    ASSERT_TRUE(ListEntries(list, names));
    QStringList expected = QDir(gen + "/samples").entryList({"*.swf"});
    QStringList sorted = names;
    sorted.sort();
    expected.sort();
    EXPECT_EQ(sorted, expected);
    QTemporaryDir tmp;
    for (const QString &name : names) {
        const QString out = tmp.filePath(name);
        ASSERT_TRUE(ExtractEntry(out, name, list));
        EXPECT_EQ(ReadFile(out), ReadFile(gen + "/samples/" + name)) << name.toStdString();
    }
    QProcess py;
    py.start("/usr/bin/python3",
             {"-c",
              "import olefile,sys\n"
              "o=olefile.OleFileIO(sys.argv[1])\n"
              "for e in o.listdir(streams=True, storages=False):\n"
              "    print('/'.join(e), len(o.openstream(e).read()))\n",
              list});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), names.size());
    for (const QString &line : lines) {
        const QString path = line.section(' ', 0, 0);
        EXPECT_EQ(path.section('/', 0, 0), path.section('/', 1, 1));
        EXPECT_EQ(line.section(' ', 1).toLongLong(), QFileInfo(gen + "/samples/" + path.section('/', 0, 0)).size());
    }
}
