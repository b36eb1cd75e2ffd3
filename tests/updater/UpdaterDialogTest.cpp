// The updater's dialog and the real vupdate program.

#include "UpdatePackages.h"

#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"
#include "updater/CvupdateDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QList<PackageGroup> SmallPackage() {
    return {{"a.root", {{"KZPlayer.cfg", "v2"}}}, {"res", {{"play.jpg", "jpeg"}}}};
}

// The key into the program directory and the package signed beside it.
bool Sign(const QString &program) {
    static QTemporaryDir dir;
    static const UpdateKeys keys = MakeUpdateKeys(dir.path());
    return InstallKey(keys, program) && SignBeside(keys, program + "duvez.zip");
}

} // namespace

TEST(UpdaterDialog, TextsAndEscapeBeforeTheTimerLeavesThePackage) {
    QTemporaryDir dir;
    const QString program = dir.path() + '/';
    ASSERT_TRUE(WritePackageOurs(program + "duvez.zip", SmallPackage()));
    CvupdateDlg dlg(program);
    QStringList started;
    dlg.m_startPlayer = [&](const QString &p) {
        started << p;
        return true;
    };
    EXPECT_EQ(dlg.windowTitle(), "Vobi Flash播放器更新");
    QStringList texts;
    for (QLabel *l : dlg.findChildren<QLabel *>())
        texts << l->text();
    EXPECT_EQ(texts, QStringList{"正在更新到Vobi Flash播放器的最新版本 ......"});
    QProgressBar *bar = dlg.findChild<QProgressBar *>("IDC_1001");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);

    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible()) << "Enter does not close it";
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    Pump(800);
    EXPECT_TRUE(QFile::exists(program + "duvez.zip"));
    EXPECT_FALSE(QFile::exists(program + "KZPlayer.cfg"));
    EXPECT_TRUE(started.isEmpty());
}

// Half a second after it shows, the dialog installs; past 100 steps the bar starts again from
// its beginning, and it ends at 100 before the player starts.
TEST(UpdaterDialog, InstallsAfterItsTimerAndTheBarWraps) {
    QTemporaryDir dir;
    const QString program = dir.path() + '/';
    PackageGroup many{"lots.res", {}};
    for (int i = 0; i < 104; ++i)
        many.files << PackageFile{QStringLiteral("f%1").arg(i), QByteArray::number(i)};
    ASSERT_TRUE(WritePackageOurs(program + "duvez.zip", {many}));
    ASSERT_TRUE(Sign(program));
    CvupdateDlg dlg(program);
    QStringList started;
    QList<int> seenAtStart;
    dlg.m_startPlayer = [&](const QString &p) {
        started << p;
        seenAtStart << dlg.Progress()->value();
        return true;
    };
    QSignalSpy values(dlg.Progress(), &QProgressBar::valueChanged);
    dlg.show();
    Pump(300);
    EXPECT_TRUE(QFile::exists(program + "duvez.zip")) << "nothing before the timer";
    ASSERT_TRUE(PumpUntil([&] { return !dlg.isVisible(); }, 10000));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(started, QStringList{program + "KZPlayer"});
    EXPECT_EQ(seenAtStart, QList<int>{100});
    QList<int> seen;
    for (const QList<QVariant> &v : values)
        seen << v.at(0).toInt();
    // 104 files and the group: 1..100, then 1..5 again, then 100.
    ASSERT_EQ(seen.size(), 106);
    EXPECT_EQ(seen[99], 100);
    EXPECT_EQ(seen[100], 1);
    EXPECT_EQ(seen[104], 5);
    EXPECT_EQ(seen.last(), 100);
    EXPECT_EQ(ReadFile(program + "res/f103"), "103");
    EXPECT_FALSE(QFile::exists(program + "duvez.zip"));
}

// A file that cannot be written: the dialog says which and that the player starts without the
// update, then closes and starts the player; the package is set aside.
TEST(UpdaterDialog, FailedInstallationSaysSoAndStartsThePlayer) {
    QTemporaryDir dir;
    const QString program = dir.path() + '/';
    ASSERT_TRUE(WriteFile(program + "res/play.jpg/inside", "a folder where a file goes"));
    ASSERT_TRUE(WritePackageOurs(program + "duvez.zip", SmallPackage()));
    ASSERT_TRUE(Sign(program));
    CvupdateDlg dlg(program);
    QStringList started, shown;
    dlg.m_startPlayer = [&](const QString &p) {
        started << p;
        return true;
    };
    dlg.m_showFileError = [&](const QString &path, const QString &why) {
        shown << FileErrorText(path, why);
    };
    dlg.show();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.isVisible(); }, 10000)) << "the dialog stays open";
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("无法写入文件 " + program + "res/play.jpg："))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[0].endsWith("播放器将不带此更新启动。")) << shown[0].toStdString();
    EXPECT_EQ(started, QStringList{program + "KZPlayer"});
    EXPECT_FALSE(QFile::exists(program + "duvez.zip"));
    EXPECT_TRUE(QFile::exists(program + "duvez.zip.failed"));
}

// The program itself, beside a stand-in player that records that it ran.
TEST(UpdaterProgram, InstallsAndStartsThePlayerBesideIt) {
    QTemporaryDir dir;
    const QString program = dir.path() + '/';
    ASSERT_TRUE(QFile::copy(BinDir() + "/vupdate", program + "vupdate"));
    QFile::setPermissions(program + "vupdate",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString ran = program + "player-ran";
    ASSERT_TRUE(WriteFile(program + "KZPlayer",
                          QStringLiteral("#!/bin/sh\necho \"$#\" > '%1'\n").arg(ran).toUtf8()));
    QFile::setPermissions(program + "KZPlayer",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(WritePackageGsf(program + "duvez.zip", SmallPackage()));
    ASSERT_TRUE(Sign(program));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QDir::tempPath());
    p.start(program + "vupdate", {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(SleepUntil([&] { return QFile::exists(ran); }, 10000)) << "player not started";
    EXPECT_EQ(ReadFile(ran), "0\n") << "started without arguments";
    EXPECT_EQ(ReadFile(program + "KZPlayer.cfg"), "v2");
    EXPECT_EQ(ReadFile(program + "res/play.jpg"), "jpeg");
    EXPECT_FALSE(QFile::exists(program + "duvez.zip"));
}
