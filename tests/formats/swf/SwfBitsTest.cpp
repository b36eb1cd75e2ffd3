// Bit fields, RECT and the framing of movies and tags: reading what the writers write, and
// refusing bytes that are not there.

#include "formats/swf/SwfBits.h"
#include "formats/swf/ByteSource.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfTagCodes.h"

#include <QByteArray>
#include <QProcess>

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

using namespace kz;

namespace {

const std::uint8_t kBits[] = {0b1010'1100, 0b0111'0001, 0b1111'0000};

std::span<const std::uint8_t> Span(const QByteArray &bytes) {
    return {reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
}

} // namespace

TEST(ReadBits, ChainsAcrossBytesMostSignificantFirst) {
    auto r = ReadBits(kBits, 0, 5, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value, 0b10101u);
    EXPECT_EQ(r->nextByte, 0u);
    EXPECT_EQ(r->nextBit, 5);
    r = ReadBits(kBits, r->nextByte, 7, r->nextBit); // 100 + 0111
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value, 0b1000111u);
    EXPECT_EQ(r->nextByte, 1u);
    EXPECT_EQ(r->nextBit, 4);
    r = ReadBits(kBits, 1, 3, 5); // ends inside the byte it starts in
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value, 0b001u);
    EXPECT_EQ(r->nextByte, 2u);
    EXPECT_EQ(r->nextBit, 0);
    EXPECT_EQ(ReadBits(kBits, 2, 0, 3)->value, 0u);
}

TEST(ReadBits, RefusesFieldsPastTheBytesOrTooWide) {
    EXPECT_FALSE(ReadBits(kBits, 2, 9, 0));
    EXPECT_FALSE(ReadBits(kBits, 3, 1, 0));
    EXPECT_FALSE(ReadBits(kBits, 0, 32, 0));
    EXPECT_FALSE(ReadBits(kBits, 0, -1, 0));
    EXPECT_FALSE(ReadBits(kBits, 0, 1, 8));
    EXPECT_FALSE(ReadBits(kBits, SIZE_MAX / 8, 1, 0));
    const std::uint8_t wide[5] = {0x7F, 0xFF, 0xFF, 0xFF, 0x80};
    EXPECT_EQ(ReadBits(wide, 0, 31, 1)->value, 0x7FFFFFFFu);
    EXPECT_FALSE(ReadBits(std::span(wide, 4), 0, 31, 2)); // one bit short
}

TEST(SignExtend, TopBitOfTheFieldIsTheSign) {
    EXPECT_EQ(SignExtend(0, 0), 0);
    EXPECT_EQ(SignExtend(1, 1), -1);
    EXPECT_EQ(SignExtend(0b01, 2), 1);
    EXPECT_EQ(SignExtend(0b10, 2), -2);
    EXPECT_EQ(SignExtend(0x3FFF, 15), 16383);
    EXPECT_EQ(SignExtend(0x4000, 15), -16384);
    EXPECT_EQ(SignExtend(0x7FFFFFFF, 31), -1);
    EXPECT_EQ(SignExtend(0x3FFFFFFF, 31), 0x3FFFFFFF);
    EXPECT_EQ(SignExtend(0x40000000, 31), -0x40000000);
    EXPECT_EQ(SignExtend(0xFFFFFFF0, 4), 0); // bits above the field do not count
}

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
    EXPECT_EQ(SignedBits(-16385), 16);
    EXPECT_EQ(SignedBits(0x3FFFFFFF), 31);
    EXPECT_EQ(SignedBits(-0x40000000), 31);
    EXPECT_EQ(SignedBits(INT32_MAX), 32);
    EXPECT_EQ(SignedBits(INT32_MIN), 32);
    // The fewest bits, as RECTs are sized: 0 and -1 need only their sign bit.
    EXPECT_EQ(MinSignedBits(0), 1);
    EXPECT_EQ(MinSignedBits(-1), 1);
    EXPECT_EQ(MinSignedBits(1), 2);
    EXPECT_EQ(MinSignedBits(-2), 2);
    EXPECT_EQ(MinSignedBits(11000), 15);
    EXPECT_EQ(MinSignedBits(INT32_MIN), 32);
}

// Every field the writer packs, of every width, reads back the same through the reader.
TEST(BitWriter, RoundTripsThroughTheReaderAtEveryWidth) {
    std::vector<std::pair<std::int32_t, int>> fields;
    for (int bits = 2; bits <= 31; ++bits) {
        const std::int32_t top = std::int32_t((std::int64_t(1) << (bits - 1)) - 1);
        const std::int32_t bottom = std::int32_t(-(std::int64_t(1) << (bits - 1)));
        for (std::int32_t v : {top, bottom, std::int32_t(-1), std::int32_t(0), std::int32_t(1)})
            fields.emplace_back(v, bits);
        const std::int32_t small = bits % 2 ? -bits : bits;
        fields.emplace_back(small, SignedBits(small));
    }
    BitWriter w;
    w.Put(0b1, 1); // start off the byte boundary
    for (const auto &[v, bits] : fields) {
        w.PutSigned(v, bits);
        w.Put(std::uint32_t(bits) & 0x1F, 5);
    }
    const QByteArray bytes = w.Bytes();
    BitReader r(Span(bytes));
    EXPECT_EQ(r.Unsigned(1), 1u);
    for (const auto &[v, bits] : fields) {
        EXPECT_EQ(r.Signed(bits), v) << bits;
        EXPECT_EQ(r.Unsigned(5), std::uint32_t(bits) & 0x1F);
    }
    // Only the padding of the last byte is left.
    EXPECT_FALSE(r.Unsigned(8));
}

TEST(BitWriter, AlignPadsWithZerosOnlyWhenNeeded) {
    BitWriter w;
    w.Align();
    EXPECT_TRUE(w.Bytes().isEmpty());
    w.Put(0xFF, 8);
    w.Align();
    w.Put(1, 1);
    EXPECT_EQ(w.Bytes(), QByteArray("\xFF\x80", 2));
    EXPECT_EQ(w.Bytes(), QByteArray("\xFF\x80", 2)); // asking again adds nothing
}

TEST(Rect, RoundTripsIncludingNegativeAndWidestFields) {
    const std::vector<SwfRect> rects{{0, 11000, 0, 8000},
                                     {-400, 6419, 30, 4810},
                                     {-1, 0, -1, 0},
                                     {0x3FFFFFFF, -0x40000000, 1, -1},
                                     {0, 0, 0, 0}};
    for (const SwfRect &rect : rects) {
        const QByteArray bytes = RectBytes(rect);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_EQ(RectByteCount(std::uint8_t(bytes[0])), std::size_t(bytes.size()));
        EXPECT_EQ(ParseRect(Span(bytes)), rect);
        const QByteArray followed = bytes + "after";
        MemorySource src(Span(followed));
        EXPECT_EQ(ReadRect(src), rect);
        EXPECT_EQ(src.Remaining(), 5u); // exactly the RECT's bytes were taken
    }
    EXPECT_EQ(std::uint8_t(RectBytes({-1, 0, -1, 0})[0]) >> 3, 1);
    // 11000 needs 15 bits: 5 + 60 bits make 9 bytes.
    EXPECT_EQ(RectBytes({0, 11000, 0, 8000}).size(), 9);
    EXPECT_EQ(std::uint8_t(RectBytes({0, 11000, 0, 8000})[0]) >> 3, 15);
}

TEST(Rect, FieldWidthIsChosenOrGivenButNeverPastThirtyOne) {
    const SwfRect r{0, 550 * 20, 0, 400 * 20};
    const QByteArray wide = RectBytes(r, 31);
    EXPECT_EQ(wide.size(), 17);
    EXPECT_EQ(std::uint8_t(wide[0]) >> 3, 31);
    EXPECT_EQ(ParseRect(Span(wide)), r);
    // Values that need 32 bits cannot be stored: the field stays 31 bits wide.
    const QByteArray clamped = RectBytes({INT32_MIN, INT32_MAX, 0, 0});
    EXPECT_EQ(std::uint8_t(clamped[0]) >> 3, 31);
    EXPECT_EQ(clamped.size(), qsizetype(kRectMaxBytes));
    // Zero-bit fields are all zero.
    const QByteArray zero("\x00\x00", 1);
    EXPECT_EQ(ParseRect(Span(zero)), SwfRect{});
}

TEST(Rect, CutShortRectsAreRefused) {
    const QByteArray bytes = RectBytes({-400, 6419, 30, 4810});
    for (qsizetype keep = 0; keep < bytes.size(); ++keep) {
        const QByteArray part = bytes.left(keep);
        EXPECT_FALSE(ParseRect(Span(part))) << keep;
        MemorySource src(Span(part));
        EXPECT_FALSE(ReadRect(src)) << keep;
    }
}

TEST(TagHeader, ShortAndLongFormsRoundTrip) {
    struct Case {
        std::uint16_t code;
        std::uint32_t length;
        bool forceLong;
        int headerBytes;
    };
    const std::vector<Case> cases{{kTagShowFrame, 0, false, 2},
                                  {kTagSetBackgroundColor, 3, false, 2},
                                  {kTagDefineShape, 62, false, 2},
                                  {kTagDefineShape, 63, false, 6}, // first length in long form
                                  {kTagDefineBitsJpeg2, 0, true, 6},
                                  {kTagSoundStreamBlock, 4, true, 6},
                                  {1023, 0xFFFFFFFFu, false, 6}};
    for (const Case &c : cases) {
        QByteArray out;
        PutTagHeader(out, c.code, c.length, c.forceLong);
        ASSERT_EQ(out.size(), c.headerBytes) << c.code << ' ' << c.length;
        MemorySource src(Span(out));
        TagHeader h;
        ASSERT_EQ(ReadTagHeader(src, h), TagHeaderRead::Ok);
        EXPECT_EQ(h.code, c.code);
        EXPECT_EQ(h.length, c.length);
        EXPECT_EQ(src.Remaining(), 0u);
    }
    // The bytes themselves: code 9, length 3 is 0x0243 little-endian.
    QByteArray bg;
    PutTagHeader(bg, kTagSetBackgroundColor, 3);
    EXPECT_EQ(bg, QByteArray("\x43\x02", 2));
    QByteArray forced;
    PutTagHeader(forced, kTagSetBackgroundColor, 3, true);
    EXPECT_EQ(forced, QByteArray("\x7F\x02\x03\x00\x00\x00", 6));
}

TEST(TagHeader, TruncatedHeadersTellNoHeaderFromACutLength) {
    QByteArray longForm;
    PutTagHeader(longForm, kTagDefineSound, 100, true);
    for (qsizetype keep = 0; keep < longForm.size(); ++keep) {
        const QByteArray part = longForm.left(keep);
        MemorySource src(Span(part));
        TagHeader h;
        EXPECT_EQ(ReadTagHeader(src, h),
                  keep < 2 ? TagHeaderRead::NoHeader : TagHeaderRead::Truncated)
            << keep;
    }
}

TEST(Signature, OnlyTheExactThreeBytesCount) {
    const auto is = [](const char *bytes, char first) {
        return IsSwfSignature(reinterpret_cast<const std::uint8_t *>(bytes), first);
    };
    EXPECT_TRUE(is("FWS", 'F'));
    EXPECT_TRUE(is("CWS", 'C'));
    EXPECT_FALSE(is("CWS", 'F'));
    EXPECT_FALSE(is("fws", 'F'));
    EXPECT_FALSE(is("FWs", 'F'));
    EXPECT_FALSE(is("ZWS", 'F'));
}

TEST(MovieFraming, BodyHeaderAndMovieBytesReadBack) {
    MovieBodyHeader head;
    head.stage = {-20, 11000, 40, 8000};
    head.rateFraction = 0x80;
    head.rateInteger = 12;
    head.frameCount = 0xBEEF;
    QByteArray body = MovieBodyHeaderBytes(head);
    PutTagHeader(body, kTagEnd, 0);

    MemorySource src(Span(body));
    MovieBodyHeader back;
    ASSERT_TRUE(ReadMovieBodyHeader(src, back));
    EXPECT_EQ(back.stage, head.stage);
    EXPECT_EQ(back.rateFraction, 0x80);
    EXPECT_EQ(back.rateInteger, 12);
    EXPECT_EQ(back.frameCount, 0xBEEF);
    EXPECT_EQ(src.Remaining(), 2u); // the End tag is next

    for (qsizetype keep = 0; keep < body.size() - 2; ++keep) {
        const QByteArray part = body.left(keep);
        MemorySource cut(Span(part));
        EXPECT_FALSE(ReadMovieBodyHeader(cut, back)) << keep;
    }

    const QByteArray plain = MovieBytes('F', 9, std::uint32_t(8 + body.size()), body);
    EXPECT_EQ(plain.left(4), QByteArray("FWS\x09"));
    EXPECT_EQ(Le32(reinterpret_cast<const std::uint8_t *>(plain.constData()) + 4),
              std::uint32_t(8 + body.size()));
    EXPECT_EQ(plain.mid(8), body);
}

// The deflated body is read by an independent inflater, Python's zlib.
TEST(MovieFraming, CompressedBodiesInflateElsewhere) {
    QByteArray body;
    for (int i = 0; i < 5000; ++i)
        body.append(char(i * 7 % 251));
    const QByteArray movie = MovieBytes('C', 10, 1234, body, 9);
    EXPECT_EQ(movie.left(8), QByteArray("CWS\x0a\xd2\x04\x00\x00", 8));
    QProcess py;
    py.start("/usr/bin/python3", {"-c", "import sys,zlib\n"
                                        "d=sys.stdin.buffer.read()\n"
                                        "sys.stdout.buffer.write(zlib.decompress(d[8:]))\n"});
    ASSERT_TRUE(py.waitForStarted(30000));
    py.write(movie);
    py.closeWriteChannel();
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    EXPECT_EQ(py.readAllStandardOutput(), body);
    EXPECT_EQ(ZlibCompress(QByteArray()).isEmpty(), false); // an empty stream still has a frame
}

TEST(LittleEndian, ReadersAndWriterAgree) {
    QByteArray out;
    PutLe(out, 0xA1B2, 2);
    PutLe(out, 0xC3D4E5F6, 4);
    PutLe(out, 0x1122334455667788ull, 3); // only the low bytes
    EXPECT_EQ(out, QByteArray("\xB2\xA1\xF6\xE5\xD4\xC3\x88\x77\x66", 9));
    const auto *p = reinterpret_cast<const std::uint8_t *>(out.constData());
    EXPECT_EQ(Le16(p), 0xA1B2);
    EXPECT_EQ(Le32(p + 2), 0xC3D4E5F6u);
}
