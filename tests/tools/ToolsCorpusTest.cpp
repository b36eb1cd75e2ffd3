// Every corpus movie through both extractions: no crash, decodable results, and nothing left
// behind when an extraction fails.

#include "ToolsTestSupport.h"
#include "platform/Paths.h"
#include "tools/JpegExtract.h"
#include "tools/Mp3Extract.h"
#include "formats/swf/TagWalker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace kz;
using namespace kz::test;

namespace {

// Corpus movies and the outputs they must give (from the corpus manifest, PNG images and
// JPEG3 images left out as they are not extracted).
const std::map<QString, int> kJpegCounts{
    {"acid_acid-big.swf", 1},
    {"acid_acid-large.swf", 1},
    {"acid_acid-blend.swf", 1},
    {"acid_acid-bitmap-fill.swf", 1},
    {"carsite.swf", 4},
    {"food.swf", 6},
    {"movilidad.swf", 2},
    {"bitmapbuttons.swf", 1},
    {"acid_acid-platformer.swf", 0},
};
const std::map<QString, int> kMp3EventCounts{
    {"examples_racing_race.swf", 2},
    {"examples_racing_race3.swf", 2},
    {"acid_acid-platformer.swf", 1},
};

} // namespace

TEST(ToolsCorpus, BothExtractionsOverEveryMovie) {
    const QStringList files = CorpusFiles();
    ASSERT_GT(files.size(), 300);
    QTemporaryDir out;
    int jpegMovies = 0, mp3Movies = 0;
    for (const QString &movie : files) {
        const QString name = FileNameOf(movie);
        const QString base = BaseNameOf(movie);
        const QString folder = out.filePath(name) + u'/';
        ASSERT_TRUE(QDir().mkpath(folder));

        QStringList images;
        const bool jpegOk = ExtractJpeg(movie, folder, &images);
        QStringList sounds;
        const bool mp3Ok = ExtractMp3(movie, folder, &sounds);
        // What was reported is exactly what is in the folder: no temporary or empty leftovers.
        QStringList reported;
        for (const QString &w : images + sounds)
            reported << FileNameOf(w);
        reported.sort();
        EXPECT_EQ(FilesIn(folder), reported) << name.toStdString();
        EXPECT_EQ(jpegOk, !images.isEmpty()) << name.toStdString();
        EXPECT_EQ(mp3Ok, !sounds.isEmpty()) << name.toStdString();
        if (!IsFlashMovieFile(movie)) {
            EXPECT_FALSE(jpegOk || mp3Ok) << name.toStdString();
        }
        for (const QString &img : images)
            EXPECT_TRUE(DecodesAsJpeg(ReadFile(img))) << img.toStdString();
        for (const QString &snd : sounds) {
            EXPECT_GT(QFileInfo(snd).size(), 0) << snd.toStdString();
            EXPECT_TRUE(RunFfmpeg({"-xerror", "-i", snd, "-f", "null", "-"})) << snd.toStdString();
        }
        jpegMovies += jpegOk;
        mp3Movies += mp3Ok;

        const auto jc = kJpegCounts.find(name);
        if (jc != kJpegCounts.end()) {
            EXPECT_EQ(images.size(), jc->second) << name.toStdString();
        }
        const auto mc = kMp3EventCounts.find(name);
        if (mc != kMp3EventCounts.end()) {
            EXPECT_EQ(sounds.filter(base + "_event").size(), mc->second) << name.toStdString();
            EXPECT_TRUE(sounds.filter("_stream.mp3").isEmpty()) << name.toStdString();
        }
    }
    EXPECT_EQ(jpegMovies, 13);
    EXPECT_EQ(mp3Movies, 4);
}

TEST(ToolsCorpus, DamagedMoviesFailCleanly) {
    // Movies with the tags the extractions act on, damaged in their tag area: bytes changed,
    // lengths made huge, cut anywhere. Uncompressed and compressed alike.
    const QStringList names{"examples_racing_race.swf",
                            "acid_acid-platformer.swf",
                            "carsite.swf",
                            "bitmapbuttons.swf",
                            "movilidad.swf",
                            "acid_acid-bitmap-fill.swf"};
    QTemporaryDir tmp;
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return bound ? (seed >> 8) % bound : 0u;
    };
    int round = 0;
    for (const QString &name : names) {
        const QString path = CorpusDir() + u'/' + name;
        QByteArray body = ReadFile(path);
        ASSERT_FALSE(body.isEmpty()) << name.toStdString();
        if (body.startsWith("CWS"))
            body = "FWS" + body.mid(3, 5) + [&] {
                auto inflated = InflateMovie(path);
                return QByteArray(reinterpret_cast<const char *>(inflated->data.get()),
                                  qsizetype(inflated->size));
            }();
        for (int i = 0; i < 24; ++i, ++round) {
            QByteArray bad = body;
            const std::uint32_t tagArea = std::uint32_t(bad.size()) - 30;
            switch (i % 3) {
            case 0: // a few bytes changed
                for (int k = 0; k < 4; ++k)
                    bad[30 + qsizetype(next(tagArea))] = char(next(256));
                break;
            case 1: { // a long length set to something huge
                const qsizetype at = 30 + qsizetype(next(tagArea - 6));
                bad[at] = char(0xBF);
                bad[at + 1] = char(next(2) ? 0x03 : 0x05); // DefineSound or DefineBitsJPEG2
                bad[at + 2] = char(0xFF);
                bad[at + 5] = char(next(256));
                break;
            }
            default: // cut anywhere
                bad.truncate(qsizetype(next(std::uint32_t(bad.size()))));
            }
            for (const bool compress : {false, true}) {
                const QString movie =
                    tmp.filePath(QStringLiteral("d%1%2.swf").arg(round).arg(compress));
                ASSERT_TRUE(
                    WriteFile(movie, compress && bad.size() >= 8 ? CompressMovie(bad) : bad));
                const QString folder =
                    tmp.filePath(QStringLiteral("out%1%2/").arg(round).arg(compress));
                ASSERT_TRUE(QDir().mkpath(folder));
                QStringList written;
                const bool jpegOk = ExtractJpeg(movie, folder, &written);
                const qsizetype images = written.size();
                const bool mp3Ok = ExtractMp3(movie, folder, &written);
                EXPECT_EQ(jpegOk, images > 0);
                EXPECT_EQ(mp3Ok, written.size() > images);
                QStringList reported;
                for (const QString &w : written)
                    reported << FileNameOf(w);
                reported.sort();
                EXPECT_EQ(FilesIn(folder), reported) << movie.toStdString();
            }
        }
    }
}
