// What kzgen made at build time: the skins, the fallback and sample movies, the sample list.

#include "playback/SwfHeader.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(GeneratedData, SkinsAndMoviesAreThereAndUsable) {
    const QString gen = QStringLiteral(KZ_GEN_DIR);
    for (const char *name : {"play", "pause", "stop", "next", "prev", "auto", "noauto", "repeat",
                             "rewind", "mute", "sound"}) {
        for (const char *state : {"up", "sel"}) {
            const QImage img(gen + QStringLiteral("/res/%1%2.jpg").arg(name, state));
            ASSERT_FALSE(img.isNull()) << name << state;
            EXPECT_EQ(img.size(), QSize(48, 40));
        }
        // The two states of a button differ.
        EXPECT_NE(QImage(gen + QStringLiteral("/res/%1up.jpg").arg(name)),
                  QImage(gen + QStringLiteral("/res/%1sel.jpg").arg(name)));
    }
    EXPECT_FALSE(QImage(gen + "/res/return.jpg").isNull());
    QStringList movies{gen + "/inflash/nonexist.swf", gen + "/inflash/errorfmat.swf"};
    for (const QString &name : QDir(gen + "/samples").entryList({"*.swf"}))
        movies << gen + "/samples/" + name;
    EXPECT_EQ(movies.size(), 5);
    for (const QString &path : movies) {
        SwfHeaderInfo h;
        ReadSwfHeader(path, h);
        EXPECT_TRUE(IsPlayableMovie(h)) << path.toStdString();
        EXPECT_GT(h.frameCount, 30) << path.toStdString();
    }
}

// The sample list file holds the sample movies byte for byte; an independent reader agrees.
TEST(GeneratedData, SampleListFileCarriesTheSamples) {
    const QString gen = QStringLiteral(KZ_GEN_DIR);
    const QString list = gen + "/sample.tpl";
    QStringList names;
    ASSERT_TRUE(ListEntries(list, names));
    QStringList expected = QDir(gen + "/samples").entryList({"*.swf"});
    QStringList sorted = names;
    sorted.sort();
    expected.sort();
    EXPECT_EQ(sorted, expected);
    QTemporaryDir tmp;
    for (const QString &name : names) {
        const QString out = tmp.filePath(name);
        ASSERT_TRUE(ExtractEntry(out, name, list));
        EXPECT_EQ(ReadFile(out), ReadFile(gen + "/samples/" + name)) << name.toStdString();
    }
    QProcess py;
    py.start("/usr/bin/python3", {"-c",
                                  "import olefile,sys\n"
                                  "o=olefile.OleFileIO(sys.argv[1])\n"
                                  "for e in o.listdir(streams=True, storages=False):\n"
                                  "    print('/'.join(e), len(o.openstream(e).read()))\n",
                                  list});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), names.size());
    for (const QString &line : lines) {
        const QString path = line.section(' ', 0, 0);
        EXPECT_EQ(path.section('/', 0, 0), path.section('/', 1, 1));
        EXPECT_EQ(line.section(' ', 1).toLongLong(),
                  QFileInfo(gen + "/samples/" + path.section('/', 0, 0)).size());
    }
}
