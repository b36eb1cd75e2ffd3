// The code the player adds to a movie so the engine reports frames: the rewritten tag stream (the
// movie's own tags untouched, one report per frame, the callbacks at the first frame), the driver
// of old movies, and the movies left alone.

#include "platform/flash/MovieInstrument.h"
#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <functional>

#include <gtest/gtest.h>

using namespace kz;

namespace {

struct RawTag {
    int code = 0;
    QByteArray body;
    bool operator==(const RawTag &o) const { return code == o.code && body == o.body; }
};

// The tags of an uncompressed movie, End included; fails the test on a bad stream.
QList<RawTag> Tags(const QByteArray &movie) {
    QList<RawTag> out;
    EXPECT_TRUE(movie.startsWith("FWS"));
    const int bits = std::uint8_t(movie[8]) >> 3;
    qsizetype pos = 8 + (5 + 4 * bits + 7) / 8 + 4;
    while (pos + 2 <= movie.size()) {
        const int head = std::uint8_t(movie[pos]) | std::uint8_t(movie[pos + 1]) << 8;
        pos += 2;
        qsizetype len = head & 63;
        if (len == 63) {
            len = qsizetype(std::uint8_t(movie[pos])) |
                  qsizetype(std::uint8_t(movie[pos + 1])) << 8 |
                  qsizetype(std::uint8_t(movie[pos + 2])) << 16 |
                  qsizetype(std::uint8_t(movie[pos + 3])) << 24;
            pos += 4;
        }
        EXPECT_LE(pos + len, movie.size());
        out << RawTag{head >> 6, movie.mid(pos, len)};
        pos += len;
        if ((head >> 6) == 0)
            break;
    }
    return out;
}

QByteArray Report(int frame) {
    ActionWriter a;
    a.GetUrl("FSCommand:kzframe", QByteArray::number(frame));
    return a.Finished();
}

bool IsOurs(const RawTag &t) {
    return t.code == kTagDoAction &&
           (t.body.contains("FSCommand:kzframe") || t.body.contains("addCallback"));
}

QByteArray WriterMovie(int version, int frames, bool compressed, bool stopAtThree = false) {
    SwfWriter w(320, 240, 24, std::uint8_t(version));
    w.SetBackgroundColor(QColor(0x12, 0x34, 0x56));
    const auto shape = w.DefinePolygon({{0, 0}, {40, 0}, {40, 40}}, Qt::red);
    w.Place(shape, 1);
    for (int f = 1; f <= frames; ++f) {
        if (f > 1)
            w.Move(1, SwfMatrix::Translate(f * 3, f * 2));
        if (stopAtThree && f == 3) {
            ActionWriter stop;
            stop.Stop();
            w.AddTag(kTagDoAction, stop.Finished());
        }
        w.ShowFrame();
    }
    return w.Finish(compressed);
}

// A movie of `tags` after a 1 x 1 pixel stage, its header counting `frames`.
QByteArray Made(char signature, int version, const QByteArray &tags, int frames) {
    MovieBodyHeader head;
    head.stage = {0, 20, 0, 20};
    head.frameCount = std::uint16_t(std::min(frames, 65535));
    const QByteArray body = MovieBodyHeaderBytes(head) + tags + SwfTag(kTagEnd, {});
    return MovieBytes(signature, std::uint8_t(version),
                      std::uint32_t(kSwfHeaderBytes + body.size()), body, 9);
}

} // namespace

TEST(MovieInstrument, ModernMovieGetsReportsAndCallbacksAndKeepsItsOwnTags) {
    const QByteArray original = WriterMovie(8, 6, false, true);
    const InstrumentedMovie im = InstrumentMovie(original, "kzmovie://app/movie/1/1");
    ASSERT_EQ(im.kind, InstrumentedMovie::Kind::Direct) << im.reason.toStdString();
    EXPECT_TRUE(im.driver.isEmpty());
    EXPECT_EQ(im.version, 8);
    EXPECT_EQ(im.frameCount, 6);
    EXPECT_EQ(im.frameRate, 24);
    EXPECT_EQ(im.width, 320);
    EXPECT_EQ(im.height, 240);
    EXPECT_EQ(im.backgroundColor, 0x123456);
    // Header: same version, frame count and stage; the length is the new one.
    EXPECT_EQ(im.movie.mid(3, 1), original.mid(3, 1));
    const int bits = std::uint8_t(original[8]) >> 3;
    const int headLength = (5 + 4 * bits + 7) / 8 + 4; // RECT, rate and count
    EXPECT_EQ(im.movie.mid(8, headLength), original.mid(8, headLength));
    const std::uint32_t length = std::uint8_t(im.movie[4]) | std::uint8_t(im.movie[5]) << 8 |
                                 std::uint8_t(im.movie[6]) << 16 | std::uint8_t(im.movie[7]) << 24;
    EXPECT_EQ(length, std::uint32_t(im.movie.size()));

    const QList<RawTag> tags = Tags(im.movie);
    QList<RawTag> own;
    for (const RawTag &t : tags)
        if (!IsOurs(t))
            own << t;
    EXPECT_EQ(own, Tags(original)) << "the movie's own tags, in their order";
    // Every frame: its report right before its ShowFrame; the callbacks once, before frame 1
    // shows and before any action of the movie's own.
    int frame = 0, callbacks = 0;
    for (qsizetype i = 0; i < tags.size(); ++i) {
        if (tags[i].code == kTagShowFrame) {
            ++frame;
            ASSERT_GT(i, 0);
            EXPECT_EQ(tags[i - 1].body, Report(frame)) << "frame " << frame;
        }
        if (tags[i].body.contains("addCallback")) {
            ++callbacks;
            EXPECT_EQ(frame, 0);
            EXPECT_EQ(tags[i].body, CallbackActions({}) + '\0');
        }
    }
    EXPECT_EQ(frame, 6);
    EXPECT_EQ(callbacks, 1);
    for (const char *name : {"kzGoto", "kzPlay", "kzStop", "ExternalInterface"})
        EXPECT_TRUE(CallbackActions({}).contains(name)) << name;
    EXPECT_FALSE(CallbackActions({}).contains("_level1"));
}

TEST(MovieInstrument, OldMovieKeepsItsVersionAndLoadsADriverOfVersionEight) {
    const QByteArray original = WriterMovie(6, 4, true, true);
    const QByteArray url = "kzmovie://app/driver/3/9";
    const InstrumentedMovie im = InstrumentMovie(original, url);
    ASSERT_EQ(im.kind, InstrumentedMovie::Kind::Driven) << im.reason.toStdString();
    EXPECT_TRUE(im.movie.startsWith("FWS\x06")) << "inflated, its version kept";
    EXPECT_EQ(im.frameCount, 4);
    const QList<RawTag> tags = Tags(im.movie);
    int reports = 0, loads = 0, frame = 0;
    QList<RawTag> own;
    for (const RawTag &t : tags) {
        EXPECT_FALSE(t.body.contains("addCallback")) << "the engine would not expose them";
        reports += t.body.contains("FSCommand:kzframe");
        if (t.body.contains(url)) {
            ++loads;
            EXPECT_EQ(frame, 0) << "the driver loads at the first frame";
            ActionWriter load;
            load.GetUrl(url, "_level16000");
            EXPECT_EQ(t.body, load.Finished());
            EXPECT_TRUE(own.size() == 0 || own.last().code != kTagDoAction)
                << "before the movie's own actions";
        } else if (!IsOurs(t)) {
            own << t;
        }
        frame += t.code == kTagShowFrame;
    }
    EXPECT_EQ(reports, 4);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(own, Tags(WriterMovie(6, 4, false, true)));

    // The driver: version 8, one frame at the movie's rate, its callbacks acting on _level0.
    EXPECT_TRUE(im.driver.startsWith("FWS\x08"));
    const int bits = std::uint8_t(im.driver[8]) >> 3;
    const int rectBytes = (5 + 4 * bits + 7) / 8;
    const int movieBits = std::uint8_t(im.movie[8]) >> 3;
    const int movieRect = (5 + 4 * movieBits + 7) / 8;
    EXPECT_EQ(im.driver.mid(8 + rectBytes, 2), im.movie.mid(8 + movieRect, 2)) << "rate";
    EXPECT_EQ(im.driver.mid(8 + rectBytes + 2, 2), QByteArray::fromHex("0100"));
    const QList<RawTag> driver = Tags(im.driver);
    ASSERT_EQ(driver.size(), 3);
    EXPECT_EQ(driver[0].code, kTagDoAction);
    EXPECT_TRUE(driver[0].body.startsWith(CallbackActions("_level0")));
    EXPECT_TRUE(CallbackActions("_level0").contains(QByteArray::fromHex("8b0800") + "_level0"));
    EXPECT_EQ(driver[1].code, kTagShowFrame);
    EXPECT_EQ(driver[2].code, 0);
    const std::uint32_t length = std::uint8_t(im.driver[4]) | std::uint8_t(im.driver[5]) << 8;
    EXPECT_EQ(length, std::uint32_t(im.driver.size()));
}

TEST(MovieInstrument, ActionScript3DamagedAndHugeMoviesAreLeftAlone) {
    QFile as3(QDir(test::CorpusDir()).filePath("examples_timeline_Timeline6.swf"));
    ASSERT_TRUE(as3.open(QIODevice::ReadOnly));
    InstrumentedMovie im = InstrumentMovie(as3.readAll(), "u");
    EXPECT_EQ(im.kind, InstrumentedMovie::Kind::None);
    EXPECT_EQ(im.reason, "ActionScript 3");

    for (const QByteArray &bad :
         {QByteArray(), QByteArray("FWS"), QByteArray("Hello, world"), QByteArray("ZWS\x0a....")}) {
        EXPECT_EQ(InstrumentMovie(bad, "u").kind, InstrumentedMovie::Kind::None);
    }
    // A compressed movie declaring 4 GiB is refused before anything is allocated.
    QByteArray huge = WriterMovie(8, 2, true);
    huge[4] = huge[5] = huge[6] = huge[7] = char(0xFF);
    im = InstrumentMovie(huge, "u");
    EXPECT_EQ(im.kind, InstrumentedMovie::Kind::None);
    // A damaged stream and a cut movie: what can be read is instrumented, nothing more.
    QByteArray cut = WriterMovie(8, 5, false);
    cut.chop(cut.size() / 3);
    im = InstrumentMovie(cut, "u");
    if (im.kind != InstrumentedMovie::Kind::None) {
        EXPECT_FALSE(Tags(im.movie).isEmpty());
    }
    QByteArray garbled = WriterMovie(8, 5, true);
    for (qsizetype i = 12; i < garbled.size(); i += 7)
        garbled[i] = char(garbled[i] ^ 0x5A);
    InstrumentMovie(garbled, "u"); // must not crash
}

TEST(MovieInstrument, EveryCorpusMovieIsHandledWithoutHarm) {
    const QDir dir(test::CorpusDir());
    int direct = 0, driven = 0, none = 0;
    for (const QString &name : dir.entryList({"*.swf"}, QDir::Files)) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const InstrumentedMovie im = InstrumentMovie(f.readAll(), "u");
        switch (im.kind) {
        case InstrumentedMovie::Kind::Direct:
            ++direct;
            break;
        case InstrumentedMovie::Kind::Driven:
            ++driven;
            break;
        case InstrumentedMovie::Kind::None:
            ++none;
            break;
        }
        if (im.kind != InstrumentedMovie::Kind::None) {
            EXPECT_FALSE(Tags(im.movie).isEmpty()) << name.toStdString();
        }
    }
    EXPECT_GT(direct, 50);
    EXPECT_GT(driven, 5);
    EXPECT_GT(none, 150) << "the ActionScript 3 movies and the damaged ones";
}

TEST(MovieInstrument, MoviesPastTheFrameOrSizeLimitsPlayAsTheyAre) {
    using Kind = InstrumentedMovie::Kind;
    const QByteArray showFrame = SwfTag(kTagShowFrame, {});
    // A filler tag before three frames; pastCap(n) makes the instrumented copy n bytes longer
    // than the cap.
    const auto filled = [&](qsizetype filler) {
        return Made('F', 8, SwfTag(kTagJpegTables, QByteArray(filler, 'j')) + showFrame.repeated(3),
                    3);
    };
    const qsizetype added = InstrumentMovie(filled(100), "u").movie.size() - filled(100).size();
    const auto pastCap = [&](qsizetype past) {
        return filled(100 + kMaxInstrumentedBytes - filled(100).size() - added + past);
    };
    const auto cut = [] {
        QByteArray movie = WriterMovie(8, kMaxInstrumentedFrames, true);
        movie.chop(movie.size() / 2);
        return movie;
    };

    struct Case {
        const char *name;
        std::function<QByteArray()> movie; // made when its turn comes: some are 64 MB
        Kind kind;
        int reports; // -1: some, fewer than the header counts
        const char *reason;
    };
    const Case cases[] = {
        {"64 MB of empty frames in 65 KB",
         [&] { return Made('C', 8, showFrame.repeated((kMaxInstrumentedBytes - 64) / 2), 65535); },
         Kind::None, 0, "frames"},
        {"65,536 frames", [] { return WriterMovie(8, 65536, false); }, Kind::None, 0, "frames"},
        {"65,535 frames", [] { return WriterMovie(8, 65535, true); }, Kind::Direct, 65535, ""},
        {"65,535 frames of an old movie", [] { return WriterMovie(6, 65535, true); }, Kind::Driven,
         65535, ""},
        {"ActionScript 3 before its frames",
         [&] {
             const QByteArray as3 = SwfTag(kTagFileAttributes, QByteArray("\x08\0\0\0", 4));
             return Made('F', 9, as3 + showFrame.repeated(70000), 65535);
         },
         Kind::None, 0, "ActionScript 3"},
        {"a copy of exactly the cap", [&] { return pastCap(0); }, Kind::Direct, 3, ""},
        {"a copy one byte past the cap", [&] { return pastCap(1); }, Kind::None, 0, "too large"},
        {"a compressed stream cut in half", cut, Kind::Direct, -1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const InstrumentedMovie im = InstrumentMovie(c.movie(), "kzmovie://app/driver/1/1");
        ASSERT_EQ(im.kind, c.kind) << im.reason.toStdString();
        EXPECT_TRUE(im.reason.contains(QLatin1String(c.reason))) << im.reason.toStdString();
        if (c.kind == Kind::None) {
            EXPECT_FALSE(im.reason.isEmpty());
            EXPECT_TRUE(im.movie.isEmpty());
            continue;
        }
        EXPECT_LE(im.movie.size(), kMaxInstrumentedBytes);
        const std::uint32_t length = std::uint8_t(im.movie[4]) | std::uint8_t(im.movie[5]) << 8 |
                                     std::uint8_t(im.movie[6]) << 16 |
                                     std::uint32_t(std::uint8_t(im.movie[7])) << 24;
        EXPECT_EQ(length, std::uint32_t(im.movie.size()));
        const int rectBytes = (5 + 4 * (std::uint8_t(im.movie[8]) >> 3) + 7) / 8;
        const int count = std::uint8_t(im.movie[8 + rectBytes + 2]) |
                          std::uint8_t(im.movie[8 + rectBytes + 3]) << 8;
        EXPECT_EQ(count, im.frameCount) << "the header's frame count stays";
        EXPECT_EQ(im.frameCount, c.reports < 0 ? kMaxInstrumentedFrames : c.reports);
        const QList<RawTag> tags = Tags(im.movie);
        ASSERT_FALSE(tags.isEmpty());
        EXPECT_EQ(tags.last().code, 0);
        int reports = 0, frames = 0;
        for (qsizetype i = 0; i < tags.size(); ++i) {
            if (tags[i].code != kTagShowFrame)
                continue;
            ++frames;
            reports += i > 0 && tags[i - 1].body == Report(frames);
        }
        EXPECT_EQ(reports, frames);
        if (c.reports >= 0)
            EXPECT_EQ(frames, c.reports);
        else
            EXPECT_TRUE(frames > 0 && frames < kMaxInstrumentedFrames) << frames;
    }
}
