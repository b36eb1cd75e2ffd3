// Every corpus movie through both extractions: no crash, decodable results, and nothing left
// behind when an extraction fails.

#include "ToolsTestSupport.h"
#include "platform/Paths.h"
#include "tools/JpegExtract.h"
#include "tools/Mp3Extract.h"
#include "tools/SwfTags.h"

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
    {"acid_acid-big.swf", 1},       {"acid_acid-large.swf", 1}, {"acid_acid-blend.swf", 1},
    {"acid_acid-bitmap-fill.swf", 1}, {"carsite.swf", 4},       {"food.swf", 6},
    {"movilidad.swf", 2},           {"bitmapbuttons.swf", 1},   {"acid_acid-platformer.swf", 0},
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
