// LZMA movies ("ZWS"): the corpus one and corpus movies re-packed at test time by Python's lzma
// module inflate to the bodies of their originals and walk the same tags; damaged data,
// false lengths and hostile properties fail cleanly.

#include "formats/swf/SwfLzma.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/TagWalker.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// Movies of both other kinds with images, sounds and ActionScript 1/2 and 3.
const char *const kRepacked[] = {
    "examples_racing_race.swf",    // zlib, MP3 event sounds
    "acid_acid-platformer.swf",    // uncompressed, JPEG2 images and an MP3 sound
    "bitmapbuttons.swf",           // zlib, JPEG tables
    "examples_morphing_morph.swf", // uncompressed, SWF 6
    "ZeroClipboardTest.swf",       // uncompressed, ActionScript 3
};

QString Corpus(const char *name) {
    return QDir(CorpusDir()).filePath(QString::fromLatin1(name));
}

QByteArray Body(const QString &path) {
    const auto body = InflateMovie(path);
    return body
               ? QByteArray(reinterpret_cast<const char *>(body->data.get()), qsizetype(body->size))
               : QByteArray();
}

// The body of an original: its bytes after the header, or what inflates from them.
QByteArray OriginalBody(const QString &path) {
    const QByteArray bytes = ReadFile(path);
    return bytes.startsWith("FWS") ? bytes.mid(8) : Body(path);
}

struct Tag {
    std::uint16_t code;
    std::uint32_t length;
    bool operator==(const Tag &) const = default;
};

std::vector<Tag> Tags(const QString &path, WalkEnd &end) {
    std::vector<Tag> tags;
    auto src = OpenMovieTags(path);
    if (!src)
        return tags;
    TagWalker walker;
    for (std::uint16_t code = 1; code < 100; ++code)
        walker.On(code, [&](TagBody &t) {
            tags.push_back({t.Code(), t.Length()});
            return TagStep::Next;
        });
    end = walker.Walk(*src);
    return tags;
}

void Put32(QByteArray &b, qsizetype at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

TEST(LzmaMovies, RepackedCorpusMoviesInflateToTheirBodiesAndWalkTheSameTags) {
    QTemporaryDir tmp;
    for (const char *name : kRepacked) {
        const QString original = Corpus(name);
        const QString packed = tmp.filePath(QStringLiteral("z-") + QString::fromLatin1(name));
        ASSERT_TRUE(PackLzmaMovie(original, packed)) << name;
        EXPECT_TRUE(ReadFile(packed).startsWith("ZWS")) << name;
        EXPECT_TRUE(IsFlashMovieFile(packed)) << name;
        EXPECT_FALSE(IsCompressedMovieFile(packed)) << name; // that one means zlib
        const QByteArray body = OriginalBody(original);
        ASSERT_FALSE(body.isEmpty()) << name;
        EXPECT_EQ(Body(packed), body) << name;

        WalkEnd a = WalkEnd::Truncated, b = WalkEnd::Truncated;
        const std::vector<Tag> want = Tags(original, a);
        EXPECT_GT(want.size(), 3u) << name;
        EXPECT_EQ(Tags(packed, b), want) << name;
        EXPECT_EQ(a, b) << name;
    }
}

TEST(LzmaMovies, TheCorpusMovieDecodesAsPythonsDecoderSays) {
    const QString movie = Corpus("lzma.swf");
    const QByteArray bytes = ReadFile(movie);
    ASSERT_TRUE(bytes.startsWith("ZWS"));
    // An independent decode of the raw data with the movie's own properties.
    QProcess py;
    py.start(
        "/usr/bin/python3",
        {"-c",
         "import lzma, sys\n"
         "data = open(sys.argv[1], 'rb').read()\n"
         "d = data[12]\n"
         "f = {'id': lzma.FILTER_LZMA1, 'lc': d % 9, 'lp': (d // 9) % 5, 'pb': d // 45,\n"
         "     'dict_size': int.from_bytes(data[13:17], 'little')}\n"
         "size = int.from_bytes(data[4:8], 'little') - 8\n"
         "out = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[f]).decompress(data[17:], size)\n"
         "sys.stdout.buffer.write(out)\n",
         movie});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QByteArray expected = py.readAllStandardOutput();
    ASSERT_GT(expected.size(), 100);
    EXPECT_EQ(Body(movie), expected);
    WalkEnd end = WalkEnd::Truncated;
    EXPECT_FALSE(Tags(movie, end).empty());
    EXPECT_EQ(end, WalkEnd::EndTag);
}

TEST(LzmaMovies, DamagedDataAndFalseLengthsFailCleanly) {
    QTemporaryDir tmp;
    const QString packed = tmp.filePath("m.swf");
    ASSERT_TRUE(PackLzmaMovie(Corpus("examples_racing_race.swf"), packed));
    const QByteArray good = ReadFile(packed);
    const qsizetype dataLength = good.size() - qsizetype(kLzmaSwfHeaderBytes);
    const auto fails = [&](const QByteArray &bytes, const char *what) {
        const QString path = tmp.filePath("bad.swf");
        ASSERT_TRUE(WriteFile(path, bytes));
        EXPECT_FALSE(InflateMovie(path)) << what;
        EXPECT_FALSE(OpenMovieTags(path)) << what;
    };
    fails(good.left(good.size() - dataLength / 2), "cut in the middle");
    fails(good.left(int(kLzmaSwfHeaderBytes) + 3), "only the start of the data");
    fails(good.left(16), "shorter than its header");
    QByteArray b = good;
    b[12] = char(0xFF); // no such literal and position bits
    fails(b, "impossible properties");
    b = good;
    for (qsizetype i = 40; i < 60; ++i)
        b[i] = char(b[i] ^ 0xA5);
    fails(b, "damaged data");
    for (const std::uint32_t declared :
         {0u, 7u, std::uint32_t(kMaxInflatedMovieBytes + 9), 0xFFFFFFFFu,
          std::uint32_t(dataLength * kLzmaMaxRatio + 1000)}) {
        b = good;
        Put32(b, 4, declared);
        fails(b, "declared length");
    }
    // A declared length above the body still gives the body, as for zlib movies.
    b = good;
    Put32(b, 4, std::uint32_t(OriginalBody(Corpus("examples_racing_race.swf")).size() + 5008));
    const QString longer = tmp.filePath("longer.swf");
    ASSERT_TRUE(WriteFile(longer, b));
    EXPECT_EQ(Body(longer), OriginalBody(Corpus("examples_racing_race.swf")));
}

TEST(DecodeLzma, DictionaryClaimsCostNoMoreThanTheOutputAndEndsAreTold) {
    QTemporaryDir tmp;
    const QString packed = tmp.filePath("m.swf");
    ASSERT_TRUE(PackLzmaMovie(Corpus("examples_morphing_morph.swf"), packed));
    QByteArray bytes = ReadFile(packed);
    // A 4 GiB dictionary claimed for a body of a few hundred bytes.
    Put32(bytes, 13, 0xFFFFFFFFu);
    const auto *b = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const std::size_t inCount = std::size_t(bytes.size()) - kLzmaSwfHeaderBytes;
    const QByteArray body = OriginalBody(Corpus("examples_morphing_morph.swf"));
    std::vector<std::uint8_t> out(std::size_t(body.size()) + 100);
    std::size_t produced = 0;
    EXPECT_EQ(
        DecodeLzma(b + 12, b + kLzmaSwfHeaderBytes, inCount, out.data(), out.size(), produced),
        LzmaEnd::Complete); // the end marker
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(out.data()), qsizetype(produced)), body);
    // A full output ends the decode; input running out first is told apart.
    EXPECT_EQ(DecodeLzma(b + 12, b + kLzmaSwfHeaderBytes, inCount, out.data(), 100, produced),
              LzmaEnd::Complete);
    EXPECT_EQ(produced, 100u);
    EXPECT_EQ(
        DecodeLzma(b + 12, b + kLzmaSwfHeaderBytes, inCount / 2, out.data(), out.size(), produced),
        LzmaEnd::ShortInput);
    EXPECT_LT(produced, std::size_t(body.size()));
    EXPECT_EQ(DecodeLzma(b + 12, nullptr, 0, out.data(), out.size(), produced),
              LzmaEnd::ShortInput);
    EXPECT_EQ(produced, 0u);
    const std::uint8_t bad[5] = {225, 0, 0, 1, 0};
    EXPECT_EQ(DecodeLzma(bad, b + kLzmaSwfHeaderBytes, inCount, out.data(), out.size(), produced),
              LzmaEnd::Damaged);
}
