#include "support/KztoolRunner.h"

#include "playback/SwfHeader.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"
#include "update/PackageTrust.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(KztoolInfo, JsonLinesMatchTheReaderForTheWholeCorpus) {
    const QStringList files = CorpusFiles();
    const ToolRun run = RunKztool(QStringList{"info", "--json"} + files);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.Lines();
    ASSERT_EQ(lines.size(), files.size());
    const QStringList keys{
        "path", "isFlash", "version", "fileLength", "frameRate",       "frameCount",
        "left", "right",   "top",     "bottom",     "backgroundColor", "playable"};
    for (int i = 0; i < files.size(); ++i) {
        QJsonParseError perr;
        const QJsonObject o = QJsonDocument::fromJson(lines[i].toUtf8(), &perr).object();
        ASSERT_EQ(perr.error, QJsonParseError::NoError) << lines[i].toStdString();
        QStringList got = o.keys();
        QStringList want = keys;
        got.sort();
        want.sort();
        EXPECT_EQ(got, want);
        SwfHeaderInfo h;
        ReadSwfHeader(files[i], h);
        EXPECT_EQ(o["path"].toString(), files[i]);
        EXPECT_EQ(o["isFlash"].toBool(), h.isFlash != 0);
        EXPECT_EQ(o["version"].toInt(), h.version);
        EXPECT_EQ(o["fileLength"].toInteger(), qint64(h.fileLength));
        EXPECT_EQ(o["frameRate"].toInt(), h.frameRate);
        EXPECT_EQ(o["frameCount"].toInt(), h.frameCount);
        EXPECT_EQ(o["right"].toInt() - o["left"].toInt(), h.right - h.left);
        EXPECT_EQ(o["bottom"].toInt() - o["top"].toInt(), h.bottom - h.top);
        EXPECT_EQ(o["backgroundColor"].toInt(), h.backgroundColor);
        EXPECT_EQ(o["playable"].toBool(), IsPlayableMovie(h));
    }
}

TEST(KztoolInfo, OddNamesAndNonMoviesAreNormalResults) {
    QTemporaryDir tmp;
    const QString odd = tmp.filePath(QStringLiteral("引号\"与\\反斜杠.swf"));
    SwfSpec s;
    s.tags = {{9, QByteArray("\x00\x80\xFF", 3)}};
    ASSERT_TRUE(WriteFile(odd, BuildSwf(s)));
    const QString text = tmp.filePath("notes.swf");
    ASSERT_TRUE(WriteFile(text, "just some text\n"));
    const ToolRun run = RunKztool({"info", "--json", odd, text, tmp.filePath("missing.swf")});
    ASSERT_EQ(run.exitCode, 0);
    const QStringList lines = run.Lines();
    ASSERT_EQ(lines.size(), 3);
    const QJsonObject movie = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(movie["path"].toString(), odd);
    EXPECT_EQ(movie["backgroundColor"].toInt(), 0x0080FF);
    EXPECT_TRUE(movie["playable"].toBool());
    EXPECT_FALSE(QJsonDocument::fromJson(lines[1].toUtf8()).object()["isFlash"].toBool());
    EXPECT_FALSE(QJsonDocument::fromJson(lines[2].toUtf8()).object()["playable"].toBool());

    const ToolRun plain = RunKztool({"info", odd});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.out.contains("playable")) << plain.out.toStdString();
}

TEST(KztoolInfo, UsageErrorsExitTwo) {
    EXPECT_EQ(RunKztool({}).exitCode, 2);
    EXPECT_EQ(RunKztool({"info"}).exitCode, 2);
    EXPECT_EQ(RunKztool({"info", "--bogus", "x.swf"}).exitCode, 2);
    EXPECT_EQ(RunKztool({"nosuchcommand"}).exitCode, 2);
    const ToolRun help = RunKztool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("info [--json] FILE..."));
}

// sign-update writes PACKAGE.sig, which openssl verifies with the public key and the updater's
// check trusts; keys it cannot use fail without leaving a signature.
TEST(KztoolSignUpdate, SignatureOpensslAndTheCheckAccept) {
    QTemporaryDir keysDir, other, program;
    const UpdateKeys keys = MakeUpdateKeys(keysDir.path());
    const UpdateKeys otherKeys = MakeUpdateKeys(other.path());
    const QString dir = program.path() + '/';
    const QString package = dir + "duvez.zip";
    ASSERT_TRUE(WriteFile(package, PatternBytes(12345, 4)));
    const ToolRun run = RunKztool({"sign-update", keys.privateKey, package});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.Lines(), QStringList{package + ".sig"});
    EXPECT_EQ(ReadFile(package + ".sig").size(), 64);
    const ProcResult verify =
        RunProgram("openssl", {"pkeyutl", "-verify", "-rawin", "-pubin", "-inkey", keys.publicKey,
                               "-in", package, "-sigfile", package + ".sig"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.constData();
    ASSERT_TRUE(InstallKey(keys, dir));
    EXPECT_EQ(CheckPackage(dir, package, ReadSignature(package + ".sig")), PackageCheck::Trusted);
    ASSERT_TRUE(InstallKey(otherKeys, dir));
    EXPECT_EQ(CheckPackage(dir, package, ReadSignature(package + ".sig")),
              PackageCheck::BadSignature);

    QFile::remove(package + ".sig");
    for (const QString &key : {keys.publicKey, package, dir + "missing.key"}) {
        const ToolRun bad = RunKztool({"sign-update", key, package});
        EXPECT_EQ(bad.exitCode, 1) << key.toStdString();
        EXPECT_FALSE(bad.err.isEmpty());
        EXPECT_FALSE(QFile::exists(package + ".sig"));
    }
    EXPECT_EQ(RunKztool({"sign-update", keys.privateKey, dir + "missing"}).exitCode, 1);
    EXPECT_EQ(RunKztool({"sign-update", keys.privateKey}).exitCode, 2);
    EXPECT_EQ(RunKztool({"sign-update", keys.privateKey, package, "x"}).exitCode, 2);
    EXPECT_TRUE(RunKztool({"--help"}).out.contains("sign-update KEY PACKAGE"));
}
