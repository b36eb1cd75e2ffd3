// JPEG extraction: images assembled from shared tables, complete JPEG2 streams, names and the
// counter, and what is skipped.

#include "tools/JpegExtract.h"
#include "ToolsTestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

const QByteArray kSoi("\xFF\xD8", 2);
const QByteArray kEoi("\xFF\xD9", 2);

class JpegExtract : public ::testing::TestWithParam<char> {
protected:
    QString Movie(const QString &name, std::vector<SwfTag> tags, int chop = 0) {
        SwfSpec s;
        s.tags = std::move(tags);
        QByteArray fws = BuildSwf(s);
        fws.chop(chop);
        const QString path = m_in.filePath(name);
        EXPECT_TRUE(WriteFile(path, GetParam() == 'C'   ? CompressMovie(fws)
                                    : GetParam() == 'Z' ? LzmaMovie(fws)
                                                        : fws));
        return path;
    }
    QString Out() const { return m_out.path() + u'/'; }
    QByteArray Output(const QString &name) const { return ReadFile(m_out.filePath(name)); }

    QTemporaryDir m_in;
    QTemporaryDir m_out;
};

} // namespace

TEST_P(JpegExtract, SharedTablesMakeOneStreamPerImage) {
    const SplitJpeg a = SplitTables(MakeJpeg(40, 30, 1));
    const SplitJpeg b = SplitTables(MakeJpeg(24, 16, 2));
    ASSERT_FALSE(DecodesAsJpeg(b.image)); // the image data alone lacks its tables
    const QString movie = Movie("intro.swf", {JpegTablesTag(a.tables),
                                              DefineBitsTag(1, a.image),
                                              {1, QByteArray()},
                                              DefineBitsTag(2, b.image)});
    QStringList written;
    EXPECT_TRUE(ExtractJpeg(movie, Out(), &written));
    EXPECT_EQ(FilesIn(Out()), (QStringList{"intro_0.jpg", "intro_1.jpg"}));
    EXPECT_EQ(written, (QStringList{Out() + "intro_0.jpg", Out() + "intro_1.jpg"}));
    for (const QString &name : FilesIn(Out())) {
        const QByteArray img = Output(name);
        EXPECT_TRUE(img.startsWith(kSoi));
        EXPECT_TRUE(img.endsWith(kEoi));
        EXPECT_EQ(CountMarker(img, 0xD8), 1) << name.toStdString();
        EXPECT_TRUE(DecodesAsJpeg(img)) << name.toStdString();
    }
    EXPECT_EQ(Output("intro_0.jpg"), a.tables.chopped(2) + a.image.mid(2));
}

TEST_P(JpegExtract, ImagesUseTheTablesSeenLast) {
    // Two encodings with different quality have different tables.
    const SplitJpeg a = SplitTables(MakeJpeg(32, 32, 3));
    QByteArray other;
    {
        const SplitJpeg low = SplitTables(MakeJpeg(32, 32, 3));
        other = low.tables;
        other[10] = char(other[10] ^ 0x01); // a different first quantisation entry
    }
    const QString movie = Movie("two.swf", {JpegTablesTag(other), DefineBitsTag(1, a.image),
                                            JpegTablesTag(a.tables), DefineBitsTag(2, a.image)});
    EXPECT_TRUE(ExtractJpeg(movie, Out()));
    EXPECT_EQ(Output("two_0.jpg"), other.chopped(2) + a.image.mid(2));
    EXPECT_EQ(Output("two_1.jpg"), a.tables.chopped(2) + a.image.mid(2));
    EXPECT_TRUE(DecodesAsJpeg(Output("two_1.jpg")));
}

TEST_P(JpegExtract, Jpeg2StreamsStartAtTheirRealSoi) {
    const QByteArray jpeg = MakeJpeg(20, 20, 4);
    const QByteArray lead("\xFF\xD9\xFF\xD8\xFF\xD8", 6);
    const QString movie =
        Movie("j2.swf", {DefineBitsJpeg2Tag(1, lead + jpeg.mid(2)), DefineBitsJpeg2Tag(2, jpeg)});
    // Existing outputs of the same base name are stepped over.
    ASSERT_TRUE(WriteFile(m_out.filePath("j2_0.jpg"), "keep0"));
    ASSERT_TRUE(WriteFile(m_out.filePath("j2_1.jpg"), "keep1"));
    EXPECT_TRUE(ExtractJpeg(movie, Out()));
    EXPECT_EQ(Output("j2_0.jpg"), "keep0");
    EXPECT_EQ(Output("j2_1.jpg"), "keep1");
    EXPECT_EQ(Output("j2_2.jpg"), jpeg); // from the second FF D8 of the run
    EXPECT_EQ(Output("j2_3.jpg"), jpeg);
    EXPECT_TRUE(DecodesAsJpeg(Output("j2_2.jpg")));
}

TEST_P(JpegExtract, WhatCannotBeAJpegGetsNoFile) {
    const QByteArray jpeg = MakeJpeg(16, 16, 5);
    const SplitJpeg split = SplitTables(jpeg);
    // PNG and GIF data, even when their bytes happen to hold a JPEG marker run.
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    png += QByteArray(200, '\x11') + jpeg;
    const QByteArray gif = "GIF89a" + jpeg;
    const QString movie =
        Movie("skip.swf", {{35, QByteArray(30, '\x22')}, // DefineBitsJPEG3: not extracted
                           DefineBitsJpeg2Tag(1, png),   // PNG data in a JPEG2 tag
                           DefineBitsJpeg2Tag(4, gif),
                           DefineBitsJpeg2Tag(2, "\xFF\xD8\x00"), // too short to hold a stream
                           DefineBitsTag(3, split.image)});       // image data without any tables
    EXPECT_FALSE(ExtractJpeg(movie, Out()));
    EXPECT_TRUE(FilesIn(Out()).isEmpty());

    // Without tables, a complete stream in DefineBits is written as it is.
    const QString whole = Movie("whole.swf", {JpegTablesTag(QByteArray()), DefineBitsTag(1, jpeg)});
    EXPECT_TRUE(ExtractJpeg(whole, Out()));
    EXPECT_EQ(Output("whole_0.jpg"), jpeg);
}

TEST_P(JpegExtract, ShortAndCutTagsEndTheWalkWithoutEmptyFiles) {
    const QByteArray jpeg = MakeJpeg(16, 16, 6);
    // A DefineBits too short for its character id ends the walk.
    const QString shortTag =
        Movie("short.swf", {DefineBitsJpeg2Tag(1, jpeg), {6, "\x01"}, DefineBitsJpeg2Tag(2, jpeg)});
    EXPECT_TRUE(ExtractJpeg(shortTag, Out()));
    EXPECT_EQ(FilesIn(Out()).filter("short"), QStringList{"short_0.jpg"});

    // Tables then an image cut by the end of the movie: no file for it.
    const SplitJpeg split = SplitTables(jpeg);
    const QString cut = Movie(
        "cut.swf",
        {DefineBitsJpeg2Tag(1, jpeg), JpegTablesTag(split.tables), DefineBitsTag(2, split.image)},
        2 + 20);
    EXPECT_TRUE(ExtractJpeg(cut, Out()));
    EXPECT_EQ(FilesIn(Out()).filter("cut"), QStringList{"cut_0.jpg"});
    const QString cutOnly = Movie("cutonly.swf", {DefineBitsJpeg2Tag(1, jpeg)}, 2 + 5);
    EXPECT_FALSE(ExtractJpeg(cutOnly, Out()));
    EXPECT_TRUE(FilesIn(Out()).filter("cutonly").isEmpty());
}

TEST_P(JpegExtract, AnImageThatCannotBeCreatedFails) {
    const QString movie = Movie("m.swf", {DefineBitsJpeg2Tag(1, MakeJpeg(8, 8, 7))});
    EXPECT_FALSE(ExtractJpeg(movie, m_out.filePath("missing/")));
    EXPECT_FALSE(ExtractJpeg(m_in.filePath("missing.swf"), Out()));
    EXPECT_TRUE(FilesIn(Out()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Readings, JpegExtract, ::testing::Values('F', 'C', 'Z'),
                         [](const auto &info) {
                             return info.param == 'F'
                                        ? std::string("File")
                                        : std::string(info.param == 'C' ? "Memory" : "Lzma");
                         });

TEST(JpegStreamStart, SkipsRepeatedAndEndMarkers) {
    const auto start = [](const QByteArray &b) {
        return JpegStreamStart(std::span(reinterpret_cast<const std::uint8_t *>(b.constData()),
                                         std::size_t(b.size())));
    };
    EXPECT_EQ(start(QByteArray("\xFF\xD8\xFF\xE0\x00\x10", 6)), 0u);
    EXPECT_EQ(start(QByteArray("\xFF\xD9\xFF\xD8\xFF\xD8\xFF\xDB\x00", 9)), 4u);
    EXPECT_EQ(start(QByteArray("\x00\xFF\xD8\xFF\xD8\xFF\xD8\xFF\xC0\x00", 10)), 5u);
    EXPECT_FALSE(start(QByteArray("\xFF\xD8\xFF\xD8", 4)));
    EXPECT_FALSE(start(QByteArray("\xFF\xD8\x00\x00", 4))); // no room for a stream
    EXPECT_FALSE(start(QByteArray()));
}

TEST(JpegExtractFfmpeg, EveryFrameOfAnMjpegMovieDecodes) {
    QTemporaryDir tmp;
    const QString movie = tmp.filePath("frames.swf");
    ASSERT_TRUE(MakeFfmpegMovie(movie, 2, true)) << "ffmpeg could not make the movie";
    const QString packed = tmp.filePath("framesz.swf");
    ASSERT_TRUE(WriteFile(packed, CompressMovie(ReadFile(movie))));
    for (const QString &m : {movie, packed}) {
        QTemporaryDir out;
        QStringList written;
        ASSERT_TRUE(ExtractJpeg(m, out.path() + u'/', &written));
        EXPECT_EQ(written.size(), 24); // 2 s at 12 frames per second
        EXPECT_EQ(FilesIn(out.path()).size(), written.size());
        for (const QString &w : written)
            EXPECT_TRUE(DecodesAsJpeg(ReadFile(w))) << w.toStdString();
    }
}

TEST(JoinJpegStream, MergesStreamsSplitBeforeTheScan) {
    const QByteArray jpeg = MakeJpeg(12, 12, 8);
    const SplitJpeg split = SplitTables(jpeg);
    const auto joined = [](const QByteArray &b) {
        std::vector<std::uint8_t> v(b.begin(), b.end());
        JoinJpegStream(v);
        return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
    };
    // Tables as a stream of their own in front of the image (the usual JPEG2 layout).
    const QByteArray twoStreams = split.tables + split.image;
    ASSERT_FALSE(DecodesAsJpeg(twoStreams));
    EXPECT_EQ(joined(twoStreams), split.tables.chopped(2) + split.image.mid(2));
    EXPECT_TRUE(DecodesAsJpeg(joined(twoStreams)));
    // An empty stream put in front, and a repeated SOI.
    EXPECT_EQ(joined(QByteArray("\xFF\xD8\xFF\xD9", 4) + jpeg), jpeg);
    EXPECT_EQ(joined(QByteArray("\xFF\xD8", 2) + jpeg), jpeg);
    // A whole stream, the scan data and what is not a stream stay as they are.
    EXPECT_EQ(joined(jpeg), jpeg);
    EXPECT_EQ(joined("not a jpeg"), "not a jpeg");
    const QByteArray cut = jpeg.left(7);
    EXPECT_EQ(joined(cut), cut);
}

TEST(JpegExtractHostile, MarkerPairFloodsAreJoinedInOnePass) {
    // A ~10 KB compressed movie whose 10 MB tags are runs of FF D9 FF D8 pairs in front of a
    // real image: each pair dropped by moving the rest of the buffer would take hours.
    constexpr int kPairs = 10 * 1024 * 1024 / 4;
    const QByteArray jpeg = MakeJpeg(16, 16, 9);
    const SplitJpeg split = SplitTables(jpeg);
    const QByteArray pairs = QByteArray("\xFF\xD9\xFF\xD8", 4).repeated(kPairs);
    SwfSpec s;
    s.tags = {DefineBitsJpeg2Tag(1, kSoi + pairs + jpeg.mid(2)), JpegTablesTag(split.tables),
              DefineBitsTag(2, kSoi + pairs + split.image.mid(2))};
    const QByteArray packed = CompressMovie(BuildSwf(s));
    ASSERT_LT(packed.size(), 64 * 1024);

    QTemporaryDir tmp;
    const QString movie = tmp.filePath("flood.swf");
    ASSERT_TRUE(WriteFile(movie, packed));
    QTemporaryDir out;
    QStringList written;
    ASSERT_TRUE(ExtractJpeg(movie, out.path() + u'/', &written));
    EXPECT_EQ(written.size(), 2);
    // The pairs are gone: the first image is the embedded stream itself, the second the
    // tables joined to the image data, and both decode.
    EXPECT_EQ(ReadFile(out.filePath("flood_0.jpg")), jpeg);
    EXPECT_EQ(ReadFile(out.filePath("flood_1.jpg")), split.tables.chopped(2) + split.image.mid(2));
    EXPECT_TRUE(DecodesAsJpeg(ReadFile(out.filePath("flood_1.jpg"))));
}

TEST(JpegExtractHostile, TagsLongerThanTheMovieCopyNothing) {
    // A body length far beyond the file: no image file, no buffer of that size.
    const QByteArray jpeg = MakeJpeg(8, 8, 10);
    for (const std::uint16_t code : {std::uint16_t(21), std::uint16_t(6), std::uint16_t(8)}) {
        QByteArray tag;
        const std::uint16_t head = std::uint16_t((code << 6) | 0x3F);
        tag.append(char(head & 0xFF)).append(char(head >> 8));
        tag.append("\xF0\xFF\xFF\x7F", 4); // 0x7FFFFFF0 bytes claimed
        tag.append("\x01\x00", 2).append(jpeg);
        QByteArray fws = BuildSwf(SwfSpec{.tags = {}, .endTag = false});
        fws += tag;
        fws[4] = char(fws.size() & 0xFF);
        fws[5] = char((fws.size() >> 8) & 0xFF);
        fws[6] = char((fws.size() >> 16) & 0xFF);
        fws[7] = 0;
        QTemporaryDir tmp;
        for (const QByteArray &bytes : {fws, CompressMovie(fws)}) {
            const QString movie = tmp.filePath("long.swf");
            ASSERT_TRUE(WriteFile(movie, bytes));
            QTemporaryDir out;
            EXPECT_FALSE(ExtractJpeg(movie, out.path() + u'/')) << code;
            EXPECT_TRUE(FilesIn(out.path()).isEmpty()) << code;
        }
    }
}

TEST(JoinJpegStream, KeepsFillBytesAndSegmentsWhileDroppingMarkers) {
    const QByteArray jpeg = MakeJpeg(10, 10, 11);
    const auto joined = [](const QByteArray &b) {
        std::vector<std::uint8_t> v(b.begin(), b.end());
        JoinJpegStream(v);
        return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
    };
    // Fill bytes stay, pairs and repeated SOIs between segments go, a segment whose length
    // runs past the end is kept as far as it goes.
    const QByteArray body = jpeg.mid(2);
    EXPECT_EQ(joined(QByteArray("\xFF\xD8\xFF\xFF\xD9\xFF\xD8\xFF\xD8", 9) + body),
              QByteArray("\xFF\xD8\xFF", 3) + body);
    const QByteArray cutSegment("\xFF\xD8\xFF\xD9\xFF\xD8\xFF\xE0\x40\x00\x01\x02", 12);
    EXPECT_EQ(joined(cutSegment), QByteArray("\xFF\xD8\xFF\xE0\x40\x00\x01\x02", 8));
}
