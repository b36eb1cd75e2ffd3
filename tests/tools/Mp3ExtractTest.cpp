// MP3 extraction: stream and event files, their names, counters and trailer, and what stays
// behind when a movie is damaged.

#include "tools/Mp3Extract.h"
#include "ToolsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QByteArray Trailer() {
    QByteArray t(128, '\0');
    t.replace(0, 3, "TAG");
    return t;
}

// Distinct fake frame bytes per piece, so misplaced copies show.
QByteArray Frames(char tag, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(tag + i % 7));
    return b;
}

class Mp3Extract : public ::testing::TestWithParam<char> {
protected:
    QString Movie(const QString &name, std::vector<SwfTag> tags, bool endTag = true) {
        SwfSpec s;
        s.signature = GetParam();
        s.tags = std::move(tags);
        s.endTag = endTag;
        const QString path = m_in.filePath(name);
        EXPECT_TRUE(WriteFile(path, BuildSwf(s)));
        return path;
    }
    QString Out() const { return m_out.path() + u'/'; }
    QByteArray Output(const QString &name) const { return ReadFile(m_out.filePath(name)); }

    QTemporaryDir m_in;
    QTemporaryDir m_out;
};

} // namespace

TEST_P(Mp3Extract, StreamAndEventsAndASecondRunInTheSameFolder) {
    const QString movie = Movie("intro.swf", {StreamHeadTag(kMp3Flags),
                                              StreamBlockTag(Frames('a', 300)),
                                              Mp3SoundTag(1, Frames('e', 50)),
                                              StreamBlockTag(Frames('b', 10)),
                                              {1, QByteArray()},
                                              Mp3SoundTag(2, Frames('f', 70)),
                                              StreamBlockTag(QByteArray())});
    QStringList written;
    EXPECT_TRUE(ExtractMp3(movie, Out(), &written));
    EXPECT_EQ(FilesIn(Out()),
              (QStringList{"intro_event0.mp3", "intro_event1.mp3", "intro_stream.mp3"}));
    EXPECT_EQ(written, (QStringList{Out() + "intro_event0.mp3", Out() + "intro_event1.mp3",
                                    Out() + "intro_stream.mp3"}));
    EXPECT_EQ(Output("intro_stream.mp3"), Frames('a', 300) + Frames('b', 10) + Trailer());
    EXPECT_EQ(Output("intro_event0.mp3"), Frames('e', 50));
    EXPECT_EQ(Output("intro_event1.mp3"), Frames('f', 70));

    // Again: the stream file is replaced, events continue the numbering.
    ASSERT_TRUE(WriteFile(m_out.filePath("intro_stream.mp3"), "stale"));
    EXPECT_TRUE(ExtractMp3(movie, Out()));
    EXPECT_EQ(FilesIn(Out()),
              (QStringList{"intro_event0.mp3", "intro_event1.mp3", "intro_event2.mp3",
                           "intro_event3.mp3", "intro_stream.mp3"}));
    EXPECT_EQ(Output("intro_stream.mp3"), Frames('a', 300) + Frames('b', 10) + Trailer());
    EXPECT_EQ(Output("intro_event3.mp3"), Frames('f', 70));
}

TEST_P(Mp3Extract, NonMp3SoundsLeaveNothingAndKeepEarlierOutput) {
    const QString movie =
        Movie("adpcm.swf", {StreamHeadTag(kAdpcmFlags, 18), StreamBlockTag(Frames('a', 40)),
                            DefineSoundTag(3, kAdpcmFlags, Frames('z', 30))});
    EXPECT_FALSE(ExtractMp3(movie, Out()));
    EXPECT_TRUE(FilesIn(Out()).isEmpty());
    // A stream file from an earlier run of a movie of the same name survives a failed run.
    ASSERT_TRUE(WriteFile(m_out.filePath("adpcm_stream.mp3"), "earlier"));
    EXPECT_FALSE(ExtractMp3(movie, Out()));
    EXPECT_EQ(FilesIn(Out()), QStringList{"adpcm_stream.mp3"});
    EXPECT_EQ(Output("adpcm_stream.mp3"), "earlier");
}

TEST_P(Mp3Extract, EventsWithoutStreamAndBlocksBeforeTheHead) {
    const QString events = Movie("ev.swf", {Mp3SoundTag(1, Frames('e', 20))});
    EXPECT_TRUE(ExtractMp3(events, Out()));
    EXPECT_EQ(FilesIn(Out()), QStringList{"ev_event0.mp3"});

    // Blocks before the MP3 head are not copied; a later non-MP3 head does not clear it.
    const QString late =
        Movie("late.swf", {StreamBlockTag(Frames('x', 30)), StreamHeadTag(kMp3Flags, 18),
                           StreamBlockTag(Frames('a', 5)), StreamHeadTag(kAdpcmFlags),
                           StreamBlockTag(Frames('b', 6))});
    EXPECT_TRUE(ExtractMp3(late, Out()));
    EXPECT_EQ(Output("late_stream.mp3"), Frames('a', 5) + Frames('b', 6) + Trailer());

    // A stream head with no blocks still yields a (trailer-only) stream file.
    const QString empty = Movie("empty.swf", {StreamHeadTag(kMp3Flags)});
    EXPECT_TRUE(ExtractMp3(empty, Out()));
    EXPECT_EQ(Output("empty_stream.mp3"), Trailer());
}

TEST_P(Mp3Extract, NineByteSoundGivesAnEmptyFileAndTheCounterMoves) {
    const QString movie = Movie("nine.swf", {Mp3SoundTag(1, QByteArray()), Mp3SoundTag(2, "ab")});
    EXPECT_TRUE(ExtractMp3(movie, Out()));
    EXPECT_EQ(Output("nine_event0.mp3"), QByteArray());
    EXPECT_EQ(Output("nine_event1.mp3"), "ab");
}

TEST_P(Mp3Extract, NamesWithoutADotAndOutputsThatExistAsOtherThings) {
    const QString movie = Movie("nodot", {Mp3SoundTag(1, "x"), StreamHeadTag(kMp3Flags)});
    // A folder where event0 would go is stepped over, never replaced.
    ASSERT_TRUE(QDir(m_out.path()).mkdir("_event0.mp3"));
    EXPECT_TRUE(ExtractMp3(movie, Out()));
    EXPECT_EQ(FilesIn(Out()), (QStringList{"_event1.mp3", "_stream.mp3"}));
}

TEST_P(Mp3Extract, TagsShorterThanTheirFieldsEndTheWalk) {
    const auto expectStops = [&](const QString &name, const SwfTag &shortTag) {
        const QString movie = Movie(name + ".swf", {StreamHeadTag(kMp3Flags), StreamBlockTag("s1"),
                                                    Mp3SoundTag(1, "e1"), shortTag,
                                                    StreamBlockTag("s2"), Mp3SoundTag(2, "e2")});
        EXPECT_TRUE(ExtractMp3(movie, Out())) << name.toStdString();
        EXPECT_EQ(Output(name + "_stream.mp3"), "s1" + Trailer()) << name.toStdString();
        EXPECT_EQ(Output(name + "_event0.mp3"), "e1") << name.toStdString();
        EXPECT_FALSE(QFile::exists(m_out.filePath(name + "_event1.mp3"))) << name.toStdString();
    };
    expectStops("sound6", {14, "\x01\x00\x2F\x00\x00\x00"});
    expectStops("sound8", {14, QByteArray("\x01\x00\x2F\x00\x00\x00\x00\x00", 8)});
    expectStops("head3", {45, "\x0F\x2F\x00"});
    expectStops("block3", {19, "\x00\x00\x00"});

    // A short non-MP3 sound is a whole sound: the walk goes on.
    const QString adpcm =
        Movie("adpcm8.swf", {DefineSoundTag(1, kAdpcmFlags, "z"), Mp3SoundTag(2, "e")});
    EXPECT_TRUE(ExtractMp3(adpcm, Out()));
    EXPECT_EQ(Output("adpcm8_event0.mp3"), "e");
}

TEST_P(Mp3Extract, MovieCutInsideASoundKeepsWhatWasWritten) {
    for (const int cut : {1, 40}) {
        const QString name = QStringLiteral("cut%1").arg(cut);
        SwfSpec s;
        s.tags = {StreamHeadTag(kMp3Flags), StreamBlockTag("s1"), Mp3SoundTag(1, "e1"),
                  Mp3SoundTag(2, Frames('q', 100))};
        s.endTag = false;
        QByteArray fws = BuildSwf(s);
        fws.chop(cut);
        const QString path = m_in.filePath(name + ".swf");
        ASSERT_TRUE(WriteFile(path, GetParam() == 'C' ? CompressMovie(fws) : fws));
        EXPECT_TRUE(ExtractMp3(path, Out()));
        EXPECT_EQ(FilesIn(Out()).filter(name),
                  (QStringList{name + "_event0.mp3", name + "_stream.mp3"}));
        EXPECT_EQ(Output(name + "_stream.mp3"), "s1" + Trailer());
    }
    // A block cut short ends the walk with the blocks before it.
    SwfSpec s;
    s.tags = {StreamHeadTag(kMp3Flags), StreamBlockTag("s1"), StreamBlockTag(Frames('b', 90))};
    s.endTag = false;
    QByteArray fws = BuildSwf(s);
    fws.chop(10);
    const QString path = m_in.filePath("blockcut.swf");
    ASSERT_TRUE(WriteFile(path, GetParam() == 'C' ? CompressMovie(fws) : fws));
    EXPECT_TRUE(ExtractMp3(path, Out()));
    EXPECT_EQ(Output("blockcut_stream.mp3"), "s1" + Trailer());
}

TEST_P(Mp3Extract, FailuresLeaveNoOutput) {
    const QString movie = Movie("m.swf", {StreamHeadTag(kMp3Flags), StreamBlockTag("s")});
    EXPECT_FALSE(ExtractMp3(movie, m_out.filePath("no/such/folder/")));
    EXPECT_FALSE(ExtractMp3(m_in.filePath("missing.swf"), Out()));
    ASSERT_TRUE(WriteFile(m_in.filePath("text.swf"), "just some text"));
    EXPECT_FALSE(ExtractMp3(m_in.filePath("text.swf"), Out()));
    QByteArray head = ReadFile(movie);
    ASSERT_TRUE(WriteFile(m_in.filePath("short.swf"), head.left(10)));
    EXPECT_FALSE(ExtractMp3(m_in.filePath("short.swf"), Out()));
    EXPECT_TRUE(FilesIn(Out()).isEmpty());
    EXPECT_TRUE(QDir(m_out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Readings, Mp3Extract, ::testing::Values('F', 'C', 'Z'),
                         [](const auto &info) {
                             return info.param == 'F'
                                        ? std::string("File")
                                        : std::string(info.param == 'C' ? "Memory" : "Lzma");
                         });

TEST(Mp3ExtractCompressed, DeclaredLengthThatDoesNotFitYieldsNothing) {
    QTemporaryDir in, out;
    SwfSpec s;
    s.signature = 'C';
    s.tags = {StreamHeadTag(kMp3Flags), StreamBlockTag(Frames('a', 500))};
    s.declaredLength = 100; // shorter than the body: zlib cannot finish
    const QString path = in.filePath("m.swf");
    ASSERT_TRUE(WriteFile(path, BuildSwf(s)));
    EXPECT_FALSE(ExtractMp3(path, out.path() + u'/'));
    EXPECT_TRUE(FilesIn(out.path()).isEmpty());
}

TEST(Mp3ExtractFfmpeg, StreamHoldsExactlyTheFramesFfmpegCopies) {
    QTemporaryDir tmp;
    const QString out = tmp.path() + u'/';
    for (const bool frames : {false, true}) {
        const QString movie = tmp.filePath(frames ? "av.swf" : "tone.swf");
        ASSERT_TRUE(MakeFfmpegMovie(movie, 2.5, frames)) << "ffmpeg could not make the movie";
        const QByteArray copied = FfmpegCopiedMp3(movie);
        ASSERT_GT(copied.size(), 1000);
        const QString packed = tmp.filePath(frames ? "avz.swf" : "tonez.swf");
        ASSERT_TRUE(WriteFile(packed, CompressMovie(ReadFile(movie))));
        for (const QString &m : {movie, packed}) {
            QStringList written;
            ASSERT_TRUE(ExtractMp3(m, out, &written)) << m.toStdString();
            ASSERT_EQ(written.size(), 1);
            const QByteArray stream = ReadFile(written[0]);
            ASSERT_GT(stream.size(), 128);
            EXPECT_EQ(stream.right(128), Trailer());
            EXPECT_TRUE(stream.chopped(128) == copied) << m.toStdString();
            // And the file as written plays: ffmpeg decodes it without complaint.
            EXPECT_TRUE(RunFfmpeg({"-xerror", "-i", written[0], "-f", "null", "-"}));
        }
    }
}
