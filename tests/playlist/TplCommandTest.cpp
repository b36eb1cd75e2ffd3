#include "support/KztoolRunner.h"
#include "support/StorageTestUtil.h"

#include "platform/TextRecords.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// kztool under a file-size limit (in KiB), the limit's signal ignored so writes fail instead.
ProcResult KztoolLimited(int kib, const QStringList &args, const QString &cwd = QString()) {
    QString cmd = QStringLiteral("trap '' XFSZ; ulimit -f %1; %2exec \"$0\" \"$@\"").arg(kib);
    if (!cwd.isEmpty())
        cmd.replace("exec", "cd \"$KZ_CWD\" && exec");
    return RunProgram("bash", QStringList{"-c", cmd, BinDir() + "/kztool"} + args,
                      {"KZ_CWD=" + cwd});
}

} // namespace

TEST(KztoolTpl, EveryOperationWithUtf8Names) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("列表.tpl"), other = tmp.filePath("other.tpl");
    const QByteArray a = PatternBytes(12345, 1), b = PatternBytes(100, 2);
    ASSERT_TRUE(WriteFile(tmp.filePath("动画.swf"), a) && WriteFile(tmp.filePath("B.swf"), b));
    EXPECT_EQ(RunKztool({"tpl", "create", list}).exitCode, 0);
    EXPECT_EQ(RunKztool({"tpl", "create", other}).exitCode, 0);
    EXPECT_EQ(
        RunKztool({"tpl", "add", list, tmp.filePath("动画.swf"), tmp.filePath("B.swf")}).exitCode,
        0);
    ToolRun run = RunKztool({"tpl", "list", list});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Lines(), (QStringList{"B.swf", "动画.swf"}));
    EXPECT_EQ(RunKztool({"tpl", "extract", list, "动画.swf", tmp.filePath("out.swf")}).exitCode, 0);
    EXPECT_EQ(ReadFile(tmp.filePath("out.swf")), a);
    EXPECT_EQ(RunKztool({"tpl", "copy", list, "B.swf", other}).exitCode, 0);
    EXPECT_EQ(RunKztool({"tpl", "list", other}).Lines(), QStringList{"B.swf"});
    EXPECT_EQ(RunKztool({"tpl", "rename", list, "动画.swf", "新名.swf"}).exitCode, 0);
    EXPECT_EQ(RunKztool({"tpl", "delete", list, "B.swf"}).exitCode, 0);
    EXPECT_EQ(RunKztool({"tpl", "list", list}).Lines(), QStringList{"新名.swf"});
    EXPECT_EQ(RunKztool({"tpl", "compact", list}).exitCode, 0);
    EXPECT_EQ(OleStreams(list)["新名.swf/新名.swf"].toString(), Sha1(a));

    // Operations that return false, and usage errors.
    EXPECT_EQ(RunKztool({"tpl", "delete", list, "B.swf"}).exitCode, 1);
    EXPECT_EQ(RunKztool({"tpl", "list", tmp.filePath("none.tpl")}).exitCode, 1);
    EXPECT_EQ(
        RunKztool({"tpl", "add", list, tmp.filePath("none.swf"), tmp.filePath("B.swf")}).exitCode,
        1);
    EXPECT_EQ(RunKztool({"tpl", "list", list}).Lines(), (QStringList{"B.swf", "新名.swf"}));
    EXPECT_EQ(RunKztool({"tpl"}).exitCode, 2);
    EXPECT_EQ(RunKztool({"tpl", "list"}).exitCode, 2);
    EXPECT_EQ(RunKztool({"tpl", "frobnicate", list}).exitCode, 2);
    EXPECT_EQ(RunKztool({"tpl", "extract", list, "B.swf"}).exitCode, 2);
}

TEST(KztoolTpl, InfoAndRecords) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("i.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ToolRun run = RunKztool({"tpl", "info", list});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Lines().first(), "file: " + list);
    const QString record = tmp.filePath("KZinfo.data");
    ASSERT_TRUE(WriteTextRecordFile(record, {"KZNAME=小明", "KZEMAIL=a@b.cn", "KZDETAIL=d"}));
    ASSERT_TRUE(AddMovie(record, list));
    run = RunKztool({"tpl", "info", list});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Lines(), (QStringList{"file: " + list, "sharer: 小明", "email: a@b.cn",
                                        "msn: ", "other: ", "web: ", "details: d"}));
    run = RunKztool({"tpl", "records", record});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Lines(), (QStringList{"KZNAME=小明", "KZEMAIL=a@b.cn", "KZDETAIL=d"}));
    EXPECT_EQ(RunKztool({"tpl", "records", tmp.filePath("none")}).exitCode, 1);
}

// A write that runs into the file-size limit fails; what was stored before reads back intact,
// and no partial entry is left, even when the new movie would have replaced an old one.
TEST(KztoolTpl, AddThatRunsOutOfSpaceKeepsEarlierEntries) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("full.tpl");
    ASSERT_TRUE(CreateListFile(list));
    std::map<QString, QByteArray> stored;
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("movie%1.swf").arg(i);
        stored[name] = PatternBytes(60000 + i * 1000, quint32(i));
        ASSERT_TRUE(WriteFile(tmp.filePath(name), stored[name]));
        ASSERT_TRUE(AddMovie(tmp.filePath(name), list));
    }
    const qint64 kib = QFileInfo(list).size() / 1024 + 64;
    ASSERT_TRUE(WriteFile(tmp.filePath("huge.swf"), PatternBytes(400000, 7)));
    ASSERT_TRUE(WriteFile(tmp.filePath("big/movie1.swf"), PatternBytes(400000, 8)));
    for (const QString &movie : {tmp.filePath("huge.swf"), tmp.filePath("big/movie1.swf")}) {
        const ProcResult r = KztoolLimited(int(kib), {"tpl", "add", list, movie});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_EQ(RunKztool({"tpl", "list", list}).Lines(),
                  (QStringList{"movie0.swf", "movie1.swf", "movie2.swf", "movie3.swf"}));
        const QJsonObject ole = OleStreams(list);
        EXPECT_EQ(ole.size(), 4);
        for (const auto &[name, bytes] : stored)
            EXPECT_EQ(ole[name + "/" + name].toString(), Sha1(bytes)) << name.toStdString();
    }
    // With room again, the space the failed adds took is used.
    ASSERT_TRUE(AddMovie(tmp.filePath("huge.swf"), list));
    EXPECT_EQ(OleStreams(list)["huge.swf/huge.swf"].toString(), Sha1(PatternBytes(400000, 7)));

    // A compaction whose scratch file cannot be written leaves the list file untouched.
    const QByteArray before = ReadFile(list);
    const ProcResult c = KztoolLimited(64, {"tpl", "compact", list}, tmp.path());
    EXPECT_EQ(c.exitCode, 1);
    EXPECT_EQ(ReadFile(list), before);
}
