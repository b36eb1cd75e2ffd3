// The tools refuse inputs that are not regular files before reading anything.

#include "ToolsTestSupport.h"
#include "tools/JpegExtract.h"
#include "tools/Mp3Extract.h"
#include "tools/Packaging.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;
using namespace kz::test;

TEST(ToolInputs, PipesAreNeverOpened) {
    // Reading a pipe nobody writes to would block for ever.
    QTemporaryDir tmp;
    const QString fifo = tmp.filePath("pipe.swf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString out = tmp.path() + u'/';
    EXPECT_FALSE(ExtractMp3(fifo, out));
    EXPECT_FALSE(ExtractJpeg(fifo, out));
    EXPECT_FALSE(MakeProjector(fifo, out));
    EXPECT_FALSE(ExtractMovieFromProjector(fifo, out));
    EXPECT_EQ(FilesIn(tmp.path()), QStringList{"pipe.swf"});
}
