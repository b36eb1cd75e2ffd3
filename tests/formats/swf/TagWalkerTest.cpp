// Opening movies for tag walking, inflating them, and walking their tags.

#include "formats/swf/TagWalker.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;
using namespace kz::test;

namespace {

struct Seen {
    std::uint16_t code;
    std::uint32_t length;
    bool operator==(const Seen &) const = default;
};

// Walks every tag, recording it, with a handler on every code of `codes`.
std::vector<Seen> WalkAll(ByteSource &src, WalkEnd &end) {
    std::vector<Seen> seen;
    TagWalker walker;
    for (std::uint16_t code = 1; code < 100; ++code)
        walker.On(code, [&](TagBody &tag) {
            seen.push_back({tag.Code(), tag.Length()});
            return TagStep::Next;
        });
    end = walker.Walk(src);
    return seen;
}

QByteArray Bytes(int n, char fill) {
    return QByteArray(n, fill);
}

} // namespace

TEST(MovieSignature, OnlyExactSignaturesOfReadableFilesCount) {
    QTemporaryDir tmp;
    const auto file = [&](const char *name, const QByteArray &bytes) {
        const QString p = tmp.filePath(name);
        EXPECT_TRUE(WriteFile(p, bytes));
        return p;
    };
    const QString fws = file("a.swf", "FWS\x0a");
    const QString cws = file("b.swf", "CWS");
    const QString lower = file("c.swf", "fws\x0a");
    const QString zws = file("d.swf", "ZWS\x0a");
    const QString two = file("e.swf", "CW");
    EXPECT_TRUE(IsFlashMovieFile(fws));
    EXPECT_FALSE(IsCompressedMovieFile(fws));
    EXPECT_TRUE(IsFlashMovieFile(cws));
    EXPECT_TRUE(IsCompressedMovieFile(cws));
    // LZMA movies count as movies; "compressed" keeps meaning zlib.
    EXPECT_TRUE(IsFlashMovieFile(zws));
    EXPECT_FALSE(IsCompressedMovieFile(zws));
    for (const QString &p : {lower, two, tmp.filePath("missing.swf"), tmp.path()}) {
        EXPECT_FALSE(IsFlashMovieFile(p)) << p.toStdString();
        EXPECT_FALSE(IsCompressedMovieFile(p)) << p.toStdString();
    }
}

TEST(InflateMovie, GivesTheBodyFromTheRectOn) {
    QTemporaryDir tmp;
    SwfSpec s;
    s.signature = 'C';
    s.tags = {{9, "\x01\x02\x03"}, {77, Bytes(300, 'x'), true}};
    const QByteArray plain = [&] {
        SwfSpec f = s;
        f.signature = 'F';
        return BuildSwf(f);
    }();
    const QString path = tmp.filePath("m.swf");
    ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
    const auto body = InflateMovie(path);
    ASSERT_TRUE(body);
    const QByteArray got(reinterpret_cast<const char *>(body->data.get()), qsizetype(body->size));
    EXPECT_EQ(got, plain.mid(8));

    // A declared length beyond the inflated body still gives what was there.
    s.declaredLength = plain.size() + 5000;
    ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
    const auto longer = InflateMovie(path);
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->size, std::size_t(plain.size() - 8));
}

TEST(InflateMovie, RefusesWhatTheHeaderMerelyClaims) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("m.swf");
    SwfSpec s;
    s.signature = 'C';
    s.tags = {{77, Bytes(5000, 'y')}};
    const qint64 real = BuildSwf(s).size(); // compressed size, far below the body
    // Declared below 8, too short for the body, beyond 1 GiB, beyond zlib's ratio.
    for (const std::int64_t declared :
         {std::int64_t(0), std::int64_t(7), std::int64_t(100), std::int64_t(0xFFFFFFFF),
          std::int64_t(kMaxInflatedMovieBytes + 9), std::int64_t(real * 1032 * 4)}) {
        s.declaredLength = declared;
        ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
        EXPECT_FALSE(InflateMovie(path)) << declared;
    }
    // Damaged and cut-short streams, and files without a body.
    s.declaredLength = -1;
    QByteArray movie = BuildSwf(s);
    QByteArray damaged = movie;
    damaged[12] = char(damaged[12] ^ 0x55);
    damaged[13] = char(damaged[13] ^ 0x55);
    for (const QByteArray &bytes :
         {damaged, movie.left(movie.size() - 6), movie.left(7), QByteArray()}) {
        ASSERT_TRUE(WriteFile(path, bytes));
        EXPECT_FALSE(InflateMovie(path)) << bytes.size();
    }
    EXPECT_FALSE(InflateMovie(tmp.filePath("missing.swf")));
}

TEST(TagWalker, FileAndMemoryReadingsSeeTheSameTags) {
    QTemporaryDir tmp;
    SwfSpec s;
    s.rectBits = 31; // the largest RECT there is
    s.tags = {{9, "\x01\x02\x03"},       {14, Bytes(62, 'a')},
              {19, Bytes(63, 'b')}, // the first length that needs the long form
              {45, Bytes(4, 'c'), true}, {21, QByteArray()},
              {1, QByteArray()}};
    const std::vector<Seen> want{{9, 3}, {14, 62}, {19, 63}, {45, 4}, {21, 0}, {1, 0}};
    for (const char sig : {'F', 'C'}) {
        s.signature = sig;
        const QString path = tmp.filePath(QStringLiteral("m%1.swf").arg(sig));
        ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
        auto src = OpenMovieTags(path);
        ASSERT_TRUE(src) << sig;
        WalkEnd end{};
        EXPECT_EQ(WalkAll(*src, end), want) << sig;
        EXPECT_EQ(end, WalkEnd::EndTag);
    }
}

TEST(TagWalker, EndsCleanlyWhereTheDataEnds) {
    QTemporaryDir tmp;
    SwfSpec s;
    s.tags = {{1, QByteArray()}, {77, Bytes(100, 'z'), true}};
    s.endTag = false;
    for (const char sig : {'F', 'C'}) {
        s.signature = sig;
        const QByteArray whole = [&] {
            SwfSpec f = s;
            f.signature = 'F';
            return BuildSwf(f);
        }();
        // Without an End tag; then cut inside the body, inside the long length, inside a header.
        const std::vector<std::pair<int, WalkEnd>> cuts{{0, WalkEnd::EndOfData},
                                                        {1, WalkEnd::Truncated},
                                                        {103, WalkEnd::Truncated},
                                                        {105, WalkEnd::EndOfData}};
        for (const auto &[cut, expected] : cuts) {
            QByteArray fws = whole.left(whole.size() - cut);
            const QString path = tmp.filePath("cut.swf");
            ASSERT_TRUE(WriteFile(path, sig == 'C' ? CompressMovie(fws) : fws));
            auto src = OpenMovieTags(path);
            ASSERT_TRUE(src) << sig << cut;
            WalkEnd end{};
            const auto seen = WalkAll(*src, end);
            EXPECT_EQ(end, expected) << sig << " cut " << cut;
            EXPECT_FALSE(seen.empty());
            EXPECT_EQ(seen.front(), (Seen{1, 0}));
        }
    }
}

TEST(TagWalker, HeadersCutShortDoNotOpen) {
    QTemporaryDir tmp;
    SwfSpec s;
    s.rectBits = 20;
    const QByteArray whole = BuildSwf(s);
    // Everything up to the first tag is needed: 8 header bytes, RECT, rate and count.
    for (int keep = 0; keep < 8 + 11 + 4; ++keep) {
        const QString path = tmp.filePath("h.swf");
        ASSERT_TRUE(WriteFile(path, whole.left(keep)));
        EXPECT_FALSE(OpenMovieTags(path)) << keep;
        ASSERT_TRUE(WriteFile(path, CompressMovie(whole.left(keep).leftJustified(8, '\0'))));
        EXPECT_FALSE(OpenMovieTags(path)) << keep;
    }
    ASSERT_TRUE(WriteFile(tmp.filePath("x.swf"), "XWS\x0a\x10\x00\x00\x00\x00\x00\x00\x00"));
    EXPECT_FALSE(OpenMovieTags(tmp.filePath("x.swf")));
    EXPECT_FALSE(OpenMovieTags(tmp.filePath("missing.swf")));
}

TEST(TagWalker, BodiesAreBoundedAndTheRestIsSkipped) {
    QTemporaryDir tmp;
    SwfSpec s;
    s.tags = {{50, "ABCDEF"}, {51, "GH"}, {52, Bytes(200000, 'q')}, {53, "IJ"}};
    for (const char sig : {'F', 'C'}) {
        s.signature = sig;
        const QString path = tmp.filePath("b.swf");
        ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
        auto src = OpenMovieTags(path);
        ASSERT_TRUE(src);
        QByteArray collected;
        std::vector<std::uint8_t> rest;
        QTemporaryFile sink;
        ASSERT_TRUE(sink.open());
        TagWalker walker;
        walker.On(50, [&](TagBody &tag) {
            std::uint8_t b[8];
            EXPECT_FALSE(tag.Read(b, 7)); // never past the tag into the next one
            EXPECT_TRUE(tag.Read(b, 2));
            collected.append(reinterpret_cast<char *>(b), 2);
            EXPECT_EQ(tag.Left(), 4u);
            return TagStep::Next; // the rest is skipped by the walker
        });
        walker.On(51, [&](TagBody &tag) {
            EXPECT_TRUE(tag.RestIsPresent());
            EXPECT_TRUE(tag.ReadRest(rest));
            collected.append(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));
            return TagStep::Next;
        });
        walker.On(52, [&](TagBody &tag) {
            EXPECT_TRUE(tag.CopyTo(sink, tag.Left()));
            return TagStep::Next;
        });
        walker.On(53, [&](TagBody &) { return TagStep::Stop; });
        EXPECT_EQ(walker.Walk(*src), WalkEnd::Stopped);
        EXPECT_EQ(collected, "ABGH");
        EXPECT_EQ(sink.size(), 200000);
    }
}

TEST(TagWalker, LengthsBeyondTheDataNeverAllocate) {
    QTemporaryDir tmp;
    SwfSpec s;
    // A 4 GiB claim in a small movie: a handler asking for the whole rest must fail at once.
    QByteArray movie = BuildSwf(s);
    movie.chop(2); // no End tag
    movie += QByteArray("\xBF\x03\xFF\xFF\xFF\xFF", 6) + "tiny";
    for (const bool compress : {false, true}) {
        const QString path = tmp.filePath("huge.swf");
        ASSERT_TRUE(WriteFile(path, compress ? CompressMovie(movie) : movie));
        auto src = OpenMovieTags(path);
        ASSERT_TRUE(src);
        bool called = false;
        TagWalker walker;
        walker.On(14, [&](TagBody &tag) {
            called = true;
            std::vector<std::uint8_t> rest;
            EXPECT_EQ(tag.Length(), 0xFFFFFFFFu);
            EXPECT_FALSE(tag.RestIsPresent());
            EXPECT_FALSE(tag.ReadRest(rest));
            EXPECT_TRUE(rest.empty());
            return TagStep::Next;
        });
        EXPECT_EQ(walker.Walk(*src), WalkEnd::Truncated);
        EXPECT_TRUE(called);
    }
}

TEST(MovieSignature, PipesAreNeverOpened) {
    // Reading a pipe nobody writes to would block for ever.
    QTemporaryDir tmp;
    const QString fifo = tmp.filePath("pipe.swf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(IsFlashMovieFile(fifo));
    EXPECT_FALSE(IsCompressedMovieFile(fifo));
    EXPECT_FALSE(InflateMovie(fifo));
    EXPECT_FALSE(OpenMovieTags(fifo));
    EXPECT_FALSE(FileSource::Open(fifo));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::System), QStringList{"pipe.swf"});
}
