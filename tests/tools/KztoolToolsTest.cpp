// kztool mp3, jpeg, exe and scr: outputs printed, exit codes, and output folders given with or
// without their trailing separator.

#include "ToolsTestSupport.h"
#include "support/KztoolRunner.h"
#include "tools/Packaging.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QString MakeMovie(const QTemporaryDir &dir, const QString &name, char signature = 'F') {
    SwfSpec s;
    s.signature = signature;
    s.tags = {StreamHeadTag(kMp3Flags), StreamBlockTag("frames"), Mp3SoundTag(1, "event"),
              DefineBitsJpeg2Tag(2, MakeJpeg(8, 8, 1))};
    const QString path = dir.filePath(name);
    EXPECT_TRUE(WriteFile(path, BuildSwf(s)));
    return path;
}

} // namespace

TEST(KztoolTools, ExtractionsPrintWhatTheyWrote) {
    QTemporaryDir in, out;
    const QString movie = MakeMovie(in, "intro.swf");
    const ToolRun mp3 = RunKztool({"mp3", movie, out.path()}); // no trailing separator
    ASSERT_EQ(mp3.exitCode, 0) << mp3.err.toStdString();
    EXPECT_EQ(mp3.Lines(),
              (QStringList{out.path() + "/intro_event0.mp3", out.path() + "/intro_stream.mp3"}));
    const ToolRun again = RunKztool({"mp3", movie, out.path() + "/"});
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.Lines(),
              (QStringList{out.path() + "/intro_event1.mp3", out.path() + "/intro_stream.mp3"}));

    const ToolRun jpeg = RunKztool({"jpeg", movie, out.path()});
    ASSERT_EQ(jpeg.exitCode, 0);
    EXPECT_EQ(jpeg.Lines(), QStringList{out.path() + "/intro_0.jpg"});
    EXPECT_TRUE(DecodesAsJpeg(ReadFile(out.path() + "/intro_0.jpg")));
}

TEST(KztoolTools, LzmaMoviesExtractAndReadTheirHeader) {
    QTemporaryDir in, out;
    const QString movie = MakeMovie(in, "lzma.swf", 'Z');
    ASSERT_TRUE(ReadFile(movie).startsWith("ZWS"));
    const ToolRun mp3 = RunKztool({"mp3", movie, out.path()});
    ASSERT_EQ(mp3.exitCode, 0) << mp3.err.toStdString();
    EXPECT_EQ(mp3.Lines(),
              (QStringList{out.path() + "/lzma_event0.mp3", out.path() + "/lzma_stream.mp3"}));
    EXPECT_EQ(ReadFile(out.path() + "/lzma_event0.mp3"), "event");
    const ToolRun jpeg = RunKztool({"jpeg", movie, out.path()});
    ASSERT_EQ(jpeg.exitCode, 0) << jpeg.err.toStdString();
    EXPECT_TRUE(DecodesAsJpeg(ReadFile(out.path() + "/lzma_0.jpg")));
    const ToolRun info = RunKztool({"info", movie});
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_TRUE(info.out.contains("550 x 400")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(", playable")) << info.out.toStdString();
}

TEST(KztoolTools, FailuresExitOneAndUsageErrorsTwo) {
    QTemporaryDir in, out;
    const QString movie = MakeMovie(in, "m.swf");
    ASSERT_TRUE(WriteFile(in.filePath("text.swf"), "not a movie"));
    SwfSpec plain;
    ASSERT_TRUE(WriteFile(in.filePath("silent.swf"), BuildSwf(plain)));
    for (const QStringList &args : {QStringList{"mp3", in.filePath("text.swf"), out.path()},
                                    QStringList{"mp3", in.filePath("silent.swf"), out.path()},
                                    QStringList{"jpeg", in.filePath("silent.swf"), out.path()},
                                    QStringList{"jpeg", in.filePath("missing.swf"), out.path()},
                                    QStringList{"mp3", movie, out.filePath("no-such-folder")},
                                    QStringList{"exe", in.filePath("text.exe"), out.path()}}) {
        const ToolRun r = RunKztool(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_TRUE(FilesIn(out.path()).isEmpty());
    for (const QStringList &args :
         {QStringList{"mp3"}, QStringList{"mp3", movie},
          QStringList{"jpeg", movie, out.path(), "extra"}, QStringList{"exe", movie},
          QStringList{"scr"}, QStringList{"scr", movie, movie}}) {
        const ToolRun r = RunKztool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage: kztool"));
    }
}

TEST(KztoolTools, ProjectorsBothWaysAndScreensavers) {
    // kztool finds its stubs in its own program directory; a copy of it in a private folder
    // keeps the build's folder clean.
    QTemporaryDir program, in, out, data;
    const QString tool = program.filePath("kztool");
    ASSERT_TRUE(QFile::copy(BinDir() + "/kztool", tool));
    ASSERT_TRUE(QFile::setPermissions(tool, QFile::permissions(BinDir() + "/kztool")));
    const QByteArray stub = "#stub\n" + QByteArray(1500, 's');
    ASSERT_TRUE(WriteFile(program.filePath(kProjectorStubName), stub));
    ASSERT_TRUE(WriteFile(program.filePath(kScreenSaverStubName), "saver"));
    const QString movie = MakeMovie(in, "intro.swf");
    const QByteArray movieBytes = ReadFile(movie);

    const auto run = [&](const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data.path());
        p.setProcessEnvironment(env);
        p.start(tool, args);
        p.waitForFinished(60000);
        ToolRun r;
        r.exitCode = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    };
    const ToolRun exe = run({"exe", movie, out.path()});
    ASSERT_EQ(exe.exitCode, 0) << exe.err.toStdString();
    EXPECT_EQ(exe.Lines(), QStringList{out.path() + "/intro.exe"});
    EXPECT_EQ(ReadFile(out.path() + "/intro.exe").size(), stub.size() + movieBytes.size() + 8);

    // A program named with an upper-case extension is still a program.
    ASSERT_TRUE(QFile::rename(out.path() + "/intro.exe", in.filePath("Intro.EXE")));
    QTemporaryDir back;
    const ToolRun swf = run({"exe", in.filePath("Intro.EXE"), back.path() + "/"});
    ASSERT_EQ(swf.exitCode, 0) << swf.err.toStdString();
    EXPECT_EQ(swf.Lines(), QStringList{back.path() + "/Intro.swf"});
    EXPECT_EQ(ReadFile(back.path() + "/Intro.swf"), movieBytes);

    const ToolRun scr = run({"scr", movie});
    ASSERT_EQ(scr.exitCode, 0) << scr.err.toStdString();
    const QString saver = data.path() + "/KZPlayer/screensavers/intro.scr";
    EXPECT_EQ(scr.Lines(), QStringList{saver});
    EXPECT_EQ(ReadFile(saver).size(), 5 + movieBytes.size() + 8);
    EXPECT_EQ(run({"scr", in.filePath("missing.swf")}).exitCode, 1);
}
