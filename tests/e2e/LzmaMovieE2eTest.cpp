// LZMA movies ("ZWS") in the player with the real engine: the corpus one and corpus movies
// re-packed by Python's lzma module play from the play list (not the bad-format fallback), and
// the engine reports for each the stage, rate, frame count, version and colour our header
// reader read, as it does for the originals.

#include "platform/Paths.h"
#include "playback/SwfHeader.h"
#include "playlist/DragDropListCtrl.h"
#include "support/E2eSupport.h"
#include "support/RealFrame.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace kz;
using namespace kz::test;

namespace {

struct Seen {
    SwfHeaderInfo header; // what the controller holds
    MovieFacts facts;     // what the engine reported
    QString movie;        // what the control loaded
};

// Plays the file as the play list's only row and waits for the engine's report.
Seen Play(RealFrame &f, const QString &path) {
    f.frame->PlayList()->RemoveAllRows();
    f.frame->PlayList()->AppendRow(path, FileNameOf(path));
    f.ctrl->m_nCurrentPlayingItem = 0;
    f.ctrl->OnPlay();
    EXPECT_TRUE(PumpUntil(
        [&] { return f.flash->Movie() == path && f.flash->ReadyState() == kReadyComplete; }, 30000))
        << path.toStdString();
    return {f.ctrl->Header(), f.flash->Facts(), f.flash->Movie()};
}

void ExpectEngineAgrees(const SwfHeaderInfo &h, const MovieFacts &e, const QString &what) {
    SCOPED_TRACE(what.toStdString());
    qInfo("%s: engine %d x %d, %.2f fps, %d frames, SWF %d, colour %06x",
          qPrintable(FileNameOf(what)), e.width, e.height, e.frameRate, e.frameCount, e.swfVersion,
          e.backgroundColor);
    EXPECT_EQ(e.width, h.right - h.left);
    EXPECT_EQ(e.height, h.bottom - h.top);
    EXPECT_EQ(int(std::floor(e.frameRate)), h.frameRate);
    EXPECT_EQ(e.frameCount, h.frameCount);
    EXPECT_EQ(e.swfVersion, h.version);
    // The engine reports no colour for a movie that sets none; the header reader says black.
    EXPECT_EQ(e.backgroundColor < 0 ? 0 : e.backgroundColor, h.backgroundColor);
}

} // namespace

TEST(LzmaMovieE2e, LzmaMoviesPlayWithTheValuesTheEngineReports) {
    QTemporaryDir dir;
    RealFrame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    const QDir corpus(CorpusDir());

    // The corpus movie as it is.
    const QString shipped = corpus.filePath("lzma.swf");
    SwfHeaderInfo header;
    ReadSwfHeader(shipped, header);
    ASSERT_TRUE(IsPlayableMovie(header));
    const Seen s = Play(f, shipped);
    EXPECT_EQ(s.movie, shipped);
    EXPECT_EQ(s.header, header) << "the controller kept the movie's own header";
    ExpectEngineAgrees(header, s.facts, shipped);

    // Re-packed movies: ActionScript 1/2 and 3, with and without images and sounds.
    for (const char *name : {"examples_morphing_morph.swf", "examples_racing_race.swf",
                             "acid_acid-clip-2.swf", "bitmapbuttons.swf"}) {
        const QString original = corpus.filePath(name);
        const QString packed = dir.filePath(QStringLiteral("z-") + name);
        ASSERT_TRUE(PackLzmaMovie(original, packed)) << name;
        SwfHeaderInfo want;
        ReadSwfHeader(packed, want);
        ASSERT_TRUE(IsPlayableMovie(want)) << name;
        const Seen z = Play(f, packed);
        EXPECT_EQ(z.header, want) << name;
        ExpectEngineAgrees(want, z.facts, packed);
        // The engine sees in the LZMA copy what it sees in the original.
        const Seen o = Play(f, original);
        EXPECT_EQ(z.facts.width, o.facts.width) << name;
        EXPECT_EQ(z.facts.height, o.facts.height) << name;
        EXPECT_EQ(z.facts.frameCount, o.facts.frameCount) << name;
        EXPECT_EQ(z.facts.backgroundColor, o.facts.backgroundColor) << name;
    }

    // The last LZMA movie, left playing, for a look at the window.
    Play(f, dir.filePath("z-examples_racing_race.swf"));
    Pump(1500);
    f.frame->grab().save(QDir::temp().filePath("kz-lzma-movie.png"));
}
