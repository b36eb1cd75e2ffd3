#include "playback/SwfHeader.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <array>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

class SwfHeaderTest : public ::testing::Test {
protected:
    SwfHeaderInfo Read(const QByteArray &bytes, SwfReadCounter *counter = nullptr) {
        const QString path = m_dir.filePath(QStringLiteral("m%1.swf").arg(m_n++));
        EXPECT_TRUE(WriteFile(path, bytes));
        SwfHeaderInfo info;
        ReadSwfHeader(path, info, counter);
        return info;
    }
    static SwfHeaderInfo Defaults(std::int32_t isFlash, std::int32_t version,
                                  std::uint32_t length) {
        SwfHeaderInfo h;
        h.isFlash = isFlash;
        h.version = version;
        h.fileLength = length;
        return h;
    }
    QTemporaryDir m_dir;
    int m_n = 0;
};

} // namespace

TEST_F(SwfHeaderTest, ReadsAnUncompressedMovie) {
    SwfSpec s;
    s.version = 8;
    s.frameCount = 240;
    s.rateFraction = 0x80; // 12.5 fps: the fraction is ignored
    s.rateInteger = 12;
    s.tags = {{2, QByteArray(100, 'x')}, {9, QByteArray("\x12\x34\x56", 3)}};
    const QByteArray bytes = BuildSwf(s);
    const SwfHeaderInfo h = Read(bytes);
    EXPECT_EQ(h.isFlash, 1);
    EXPECT_EQ(h.version, 8);
    EXPECT_EQ(h.fileLength, std::uint32_t(bytes.size()));
    EXPECT_EQ(h.frameRate, 12);
    EXPECT_EQ(h.frameCount, 240);
    EXPECT_EQ(h.left, 0);
    EXPECT_EQ(h.right, 550);
    EXPECT_EQ(h.top, 0);
    EXPECT_EQ(h.bottom, 400);
    EXPECT_EQ(h.backgroundColor, 0x123456);
    EXPECT_TRUE(IsPlayableMovie(h));
}

TEST_F(SwfHeaderTest, ReadsACompressedMovieTheSameWay) {
    SwfSpec s;
    s.signature = 'C';
    s.xMin = -400; // negative twips divide toward zero
    s.xMax = 6419;
    s.yMin = 30;
    s.yMax = 4810;
    s.tags = {{9, QByteArray("\xFF\x00\x80", 3), true}};
    s.tags.insert(s.tags.begin(), SwfTag{2, QByteArray(40, 'p')}); // reach the 32-byte minimum
    const SwfHeaderInfo h = Read(BuildSwf(s));
    EXPECT_EQ(h.isFlash, 1);
    EXPECT_EQ(h.left, -20);
    EXPECT_EQ(h.right, 320);
    EXPECT_EQ(h.top, 1);
    EXPECT_EQ(h.bottom, 240);
    EXPECT_EQ(h.frameRate, 24);
    EXPECT_EQ(h.backgroundColor, 0xFF0080);
}

TEST_F(SwfHeaderTest, StageFallbackForInvertedOrFlatRectangles) {
    SwfSpec inverted;
    inverted.xMin = 2000;
    inverted.xMax = 2000;
    inverted.yMin = 0;
    inverted.yMax = 99999; // Y is ignored once X is bad
    SwfHeaderInfo h = Read(BuildSwf(inverted));
    EXPECT_EQ((std::array{h.left, h.right, h.top, h.bottom}), (std::array{0, 550, 0, 440}));

    SwfSpec flat;
    flat.yMin = 100;
    flat.yMax = 119; // 5 px to 5 px after division
    h = Read(BuildSwf(flat));
    EXPECT_EQ((std::array{h.left, h.right, h.top, h.bottom}), (std::array{0, 550, 0, 440}));

    SwfSpec zeroBits; // a RECT of zero-bit fields is all zero, hence flat
    zeroBits.rectBits = 0;
    zeroBits.xMax = 0;
    zeroBits.yMax = 0;
    h = Read(BuildSwf(zeroBits));
    EXPECT_EQ((std::array{h.left, h.right, h.top, h.bottom}), (std::array{0, 550, 0, 440}));
}

TEST_F(SwfHeaderTest, SignatureMustMatchExactly) {
    QByteArray good = BuildSwf(SwfSpec{});
    // "ZWS" is a movie (LZMA); its lower-case forms are not.
    for (const char *sig : {"fws", "FWs", "cWS", "zWS", "ZWs", "GWS", "FW"}) {
        QByteArray b = good;
        b.replace(0, 3, sig);
        const SwfHeaderInfo h = Read(b);
        EXPECT_EQ(h.isFlash, 0) << sig;
        EXPECT_FALSE(IsPlayableMovie(h));
    }
    EXPECT_EQ(Read(QByteArray()).isFlash, 0);
    SwfHeaderInfo missing;
    missing.isFlash = 7; // every read starts from the defaults
    ReadSwfHeader(m_dir.filePath("none.swf"), missing);
    EXPECT_EQ(missing, SwfHeaderInfo{});
}

TEST_F(SwfHeaderTest, TruncatedMoviesKeepWhatWasRead) {
    const QByteArray full = BuildSwf(SwfSpec{});
    EXPECT_EQ(Read(full.left(3)), Defaults(1, 0, 0));
    EXPECT_EQ(Read(full.left(6)), Defaults(1, 10, 0));
    const SwfHeaderInfo headerOnly = Read(full.left(8));
    EXPECT_EQ(headerOnly, Defaults(1, 10, std::uint32_t(full.size())));
    EXPECT_TRUE(IsPlayableMovie(headerOnly)); // defaults stand in for the rest

    // Cut after the rectangle and the fraction byte: stage read, rate and count defaults.
    const int rectBytes = (5 + 4 * 15 + 7) / 8; // 11000 twips need 15 bits
    SwfHeaderInfo h = Read(full.left(8 + rectBytes + 1));
    EXPECT_EQ(h.bottom, 400);
    EXPECT_EQ(h.frameRate, 22);
    EXPECT_EQ(h.frameCount, 1);

    SwfSpec compressed;
    compressed.signature = 'C';
    EXPECT_EQ(Read(BuildSwf(compressed).left(8)), Defaults(1, 10, std::uint32_t(full.size())));
}

TEST_F(SwfHeaderTest, PlayabilityNeedsLengthFramesAndRate) {
    SwfSpec noLength;
    noLength.declaredLength = 0;
    EXPECT_FALSE(IsPlayableMovie(Read(BuildSwf(noLength))));
    SwfSpec noFrames;
    noFrames.frameCount = 0;
    EXPECT_FALSE(IsPlayableMovie(Read(BuildSwf(noFrames))));
    SwfSpec noRate;
    noRate.rateInteger = 0;
    EXPECT_FALSE(IsPlayableMovie(Read(BuildSwf(noRate))));
}

TEST_F(SwfHeaderTest, BackgroundWalkStopsAtEndOrAtBytesThatAreNotThere) {
    SwfSpec afterEnd; // End tag first: the colour after it is never reached
    afterEnd.tags = {{0, {}}, {9, QByteArray("\x01\x02\x03", 3)}};
    EXPECT_EQ(Read(BuildSwf(afterEnd)).backgroundColor, 0);

    SwfSpec none;
    none.tags = {{2, QByteArray(10, 'a')}};
    EXPECT_EQ(Read(BuildSwf(none)).backgroundColor, 0);

    SwfSpec shortBody; // two bytes are not a colour
    shortBody.tags = {{9, QByteArray("\x11\x22", 2)}, {9, QByteArray("\x01\x02\x03", 3)}};
    EXPECT_EQ(Read(BuildSwf(shortBody)).backgroundColor, 0);

    SwfSpec cut; // the colour tag's body is cut off by the end of the file
    cut.tags = {{9, QByteArray("\x11\x22\x33", 3)}};
    cut.endTag = false;
    EXPECT_EQ(Read(BuildSwf(cut).chopped(1)).backgroundColor, 0);

    SwfSpec hugeSkip; // a tag claiming 4 GB ends the walk instead of seeking past the file
    hugeSkip.tags = {{2, QByteArray()}};
    QByteArray b = BuildSwf(hugeSkip);
    const int at = b.size() - 4; // the empty tag header, then End
    b.replace(at, 2, QByteArray("\xBF\x00\xFF\xFF\xFF\xFF", 6));
    EXPECT_EQ(Read(b).backgroundColor, 0);
}

TEST_F(SwfHeaderTest, CompressedColourBeyondTheFirstWindowIsBlack) {
    SwfSpec s;
    // 5000 bytes of incompressible-looking data before the colour.
    QByteArray filler;
    std::uint32_t x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245u + 12345u;
        filler.append(char(x >> 24));
    }
    s.tags = {{2, filler}, {9, QByteArray("\x10\x20\x30", 3)}};
    EXPECT_EQ(Read(BuildSwf(s)).backgroundColor, 0x102030);
    s.signature = 'C';
    SwfReadCounter counter;
    const SwfHeaderInfo h = Read(BuildSwf(s), &counter);
    EXPECT_EQ(h.isFlash, 1);
    EXPECT_EQ(h.frameCount, 1);
    EXPECT_EQ(h.bottom, 400);
    EXPECT_EQ(h.backgroundColor, 0);
    EXPECT_EQ(counter.bytesRead, 8u + 4096u);
}

TEST_F(SwfHeaderTest, CompressedBodiesTooSmallOrBrokenKeepTheDefaults) {
    SwfSpec tiny; // the whole body inflates to fewer than 32 bytes
    tiny.signature = 'C';
    tiny.tags = {{9, QByteArray("\x01\x02\x03", 3)}};
    const QByteArray bytes = BuildSwf(tiny);
    EXPECT_EQ(Read(bytes), Defaults(1, 10, Read(bytes).fileLength));

    QByteArray garbage = bytes.left(8) + QByteArray(200, '\x5A');
    EXPECT_EQ(Read(garbage), Defaults(1, 10, Read(bytes).fileLength));
}

TEST(ParseCompressedSwfBuffer, ParsesTheFirstBytesOfAWebMovie) {
    SwfSpec s;
    s.signature = 'C';
    s.version = 9;
    s.tags = {{2, QByteArray(40, 'p')}, {9, QByteArray("\x01\x02\x03", 3)}};
    QByteArray bytes = BuildSwf(s);
    SwfHeaderInfo h;
    ASSERT_TRUE(ParseCompressedSwfBuffer(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                         std::size_t(bytes.size()), h));
    EXPECT_EQ(h.isFlash, 1);
    EXPECT_EQ(h.version, 9);
    EXPECT_EQ(h.backgroundColor, 0x010203);
    EXPECT_EQ(h.bottom, 400);

    SwfHeaderInfo fail;
    EXPECT_FALSE(ParseCompressedSwfBuffer(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                          8, fail));
    EXPECT_FALSE(ParseCompressedSwfBuffer(nullptr, 0, fail));
    EXPECT_EQ(fail, SwfHeaderInfo{});
}

TEST(ParseUncompressedSwfBuffer, WalksOnlyTheBytesGiven) {
    SwfSpec s;
    s.tags = {{2, QByteArray(50, 'p')}, {9, QByteArray("\x01\x02\x03", 3)}};
    const QByteArray bytes = BuildSwf(s);
    SwfHeaderInfo whole;
    ParseUncompressedSwfBuffer(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                               std::size_t(bytes.size()), whole);
    EXPECT_EQ(whole.isFlash, 1);
    EXPECT_EQ(whole.fileLength, std::uint32_t(bytes.size()));
    EXPECT_EQ(whole.backgroundColor, 0x010203);
    SwfHeaderInfo part;
    ParseUncompressedSwfBuffer(reinterpret_cast<const std::uint8_t *>(bytes.constData()), 40, part);
    EXPECT_EQ(part.isFlash, 1);
    EXPECT_EQ(part.bottom, 400);
    EXPECT_EQ(part.backgroundColor, 0);
}

// Every corpus movie, damaged ones included, goes through the reader (under the sanitizers in
// the test build); compressed ones never cost more than the header and one window.
TEST(SwfHeaderCorpus, EveryMovieReadsCleanlyWithinItsBudget) {
    const QStringList files = CorpusFiles();
    ASSERT_GT(files.size(), 300);
    int flash = 0, compressed = 0, playable = 0;
    for (const QString &path : files) {
        SwfReadCounter counter;
        SwfHeaderInfo h;
        ReadSwfHeader(path, h, &counter);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray sig = f.read(3);
        if (sig == "CWS" || sig == "ZWS") {
            ++compressed;
            EXPECT_LE(counter.bytesRead, 4104u) << path.toStdString();
        }
        EXPECT_EQ(h.isFlash != 0, sig == "CWS" || sig == "FWS" || sig == "ZWS")
            << path.toStdString();
        EXPECT_LT(h.left, h.right);
        EXPECT_LT(h.top, h.bottom);
        flash += h.isFlash;
        playable += IsPlayableMovie(h);
    }
    EXPECT_GT(compressed, 100);
    EXPECT_GT(playable, 250);
    EXPECT_GE(flash, playable);
}

// A movie of a million empty two-byte tags before its colour: the walk stops within its budget
// of bytes read instead of reading them all, and the colour is left black.
TEST_F(SwfHeaderTest, TwoByteTagMovieIsReadInBoundedWork) {
    SwfSpec s;
    s.tags.reserve(1000001);
    for (int i = 0; i < 1000000; ++i)
        s.tags.push_back({kTagDefineShape, QByteArray()});
    s.tags.push_back({kTagSetBackgroundColor, QByteArray("\x10\x20\x30", 3)});
    SwfReadCounter counter;
    const SwfHeaderInfo h = Read(BuildSwf(s), &counter);
    EXPECT_EQ(h.isFlash, 1);
    EXPECT_EQ(h.frameCount, 1);
    EXPECT_EQ(h.backgroundColor, 0);
    // Header, RECT (at most 17 bytes), rate and count, then the walk's budget.
    EXPECT_LE(counter.bytesRead, 8u + 17u + 4u + kBackgroundWalkBytes);
    EXPECT_GE(counter.bytesRead, kBackgroundWalkBytes - 6);

    // Within the budget the colour is still found, long tags skipped rather than read.
    SwfSpec near;
    for (int i = 0; i < 1000; ++i)
        near.tags.push_back({kTagDefineShape, QByteArray()});
    near.tags.push_back({kTagDefineShape, QByteArray(100000, 'x')});
    near.tags.push_back({kTagSetBackgroundColor, QByteArray("\x10\x20\x30", 3)});
    SwfReadCounter nearCounter;
    EXPECT_EQ(Read(BuildSwf(near), &nearCounter).backgroundColor, 0x102030);
    EXPECT_LE(nearCounter.bytesRead, 8u + 17u + 4u + 2000u + 6u + 2u + 3u);
}

TEST_F(SwfHeaderTest, ColourAfterTheFirstFrameIsNotTheMovies) {
    SwfSpec s;
    s.tags = {{kTagShowFrame, {}}, {kTagSetBackgroundColor, QByteArray("\x10\x20\x30", 3)}};
    EXPECT_EQ(Read(BuildSwf(s)).backgroundColor, 0);
    s.signature = 'C';
    s.tags.push_back({kTagDefineShape, QByteArray(64, 'x')}); // past the window's minimum
    EXPECT_EQ(Read(BuildSwf(s)).backgroundColor, 0);
    std::swap(s.tags[0], s.tags[1]);
    EXPECT_EQ(Read(BuildSwf(s)).backgroundColor, 0x102030);
}

// Corpus movies re-packed as LZMA movies read exactly as their originals: same values, one
// bounded read; from a probe's first bytes too. Damaged LZMA data keeps the defaults.
TEST_F(SwfHeaderTest, LzmaMoviesReadAsTheirOriginals) {
    const QStringList files = CorpusFiles();
    int compared = 0;
    for (qsizetype i = 0; i < files.size(); i += 6) {
        const QString &original = files[i];
        const QByteArray bytes = ReadFile(original);
        if (!(bytes.startsWith("FWS") || bytes.startsWith("CWS")) || bytes.size() > 300000)
            continue;
        const QString packed = m_dir.filePath(QStringLiteral("z%1.swf").arg(i));
        if (!PackLzmaMovie(original, packed))
            continue; // damaged originals that do not inflate
        SwfHeaderInfo want, got;
        ReadSwfHeader(original, want);
        SwfReadCounter counter;
        ReadSwfHeader(packed, got, &counter);
        EXPECT_EQ(got, want) << original.toStdString();
        EXPECT_LE(counter.bytesRead, 8u + kSwfWindowBytes) << original.toStdString();
        EXPECT_EQ(IsPlayableMovie(got), IsPlayableMovie(want)) << original.toStdString();

        const QByteArray first = ReadFile(packed).left(4096);
        SwfHeaderInfo probed;
        ASSERT_TRUE(
            ParseCompressedSwfBuffer(reinterpret_cast<const std::uint8_t *>(first.constData()),
                                     std::size_t(first.size()), probed))
            << original.toStdString();
        probed.fileLength = got.fileLength; // the buffer parser leaves the length to its caller
        EXPECT_EQ(probed, got) << original.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 30);

    SwfSpec s;
    s.signature = 'Z';
    s.version = 13;
    s.tags = {{kTagSetBackgroundColor, QByteArray("\x01\x02\x03", 3)}, {2, QByteArray(64, 'a')}};
    const QByteArray good = BuildSwf(s);
    ASSERT_TRUE(good.startsWith("ZWS\x0d"));
    const SwfHeaderInfo h = Read(good);
    EXPECT_EQ(h.version, 13);
    EXPECT_EQ(h.backgroundColor, 0x010203);
    EXPECT_EQ(h.bottom, 400);
    EXPECT_TRUE(IsPlayableMovie(h));
    // Damaged data, impossible properties, a cut header: the defaults, as for zlib.
    QByteArray garbage = good.left(17) + QByteArray(200, '\x5A');
    EXPECT_EQ(Read(garbage), Defaults(1, 13, h.fileLength));
    QByteArray props = good;
    props[12] = char(0xFF);
    EXPECT_EQ(Read(props), Defaults(1, 13, h.fileLength));
    EXPECT_EQ(Read(good.left(14)), Defaults(1, 13, h.fileLength));
}
