// The whole update with the real programs: a player pointed at a local site that publishes a
// new version, with the package signed by kztool for the key in (a copy of) its program
// directory, downloads the package there; the next start hands it to vupdate, which checks it
// again, installs it and starts the player again.

#include "UpdatePackages.h"

#include "support/E2eSupport.h"
#include "support/FolderServer.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using namespace kz::test;

namespace {

// The program directory without the staged runtime, which is linked instead of copied.
bool CopyProgramDir(const QString &from, const QString &to) {
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(from).relativeFilePath(path);
        if (rel == "ruffle" || rel.startsWith("ruffle/"))
            continue;
        const QFileInfo info(path);
        if (info.isDir()) {
            QDir().mkpath(to + rel);
        } else {
            QDir().mkpath(QFileInfo(to + rel).path());
            if (!QFile::copy(path, to + rel))
                return false;
        }
    }
    return QFile::link(from + "/ruffle", to + "ruffle");
}

// Players started from this program directory (the one vupdate starts is no child of ours).
QList<pid_t> PlayersIn(const QString &program) {
    QList<pid_t> found;
    const QString exe = QFileInfo(program + "KZPlayer").canonicalFilePath();
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const pid_t pid = entry.toInt(&ok);
        if (ok && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == exe)
            found << pid;
    }
    return found;
}

} // namespace

TEST(UpdateE2e, NewVersionIsDownloadedAndInstalledAtTheNextStart) {
    QTemporaryDir copy, home, root, keysDir;
    const QString program = copy.path() + '/';
    ASSERT_TRUE(CopyProgramDir(BinDir(), program));
    const UpdateKeys keys = MakeUpdateKeys(keysDir.path());
    ASSERT_TRUE(InstallKey(keys, program));
    ASSERT_TRUE(QFileInfo(program + "vupdate").isExecutable());
    const QByteArray before = ReadFile(program + "res/Vobi_Flash_Error.html");
    ASSERT_FALSE(before.isEmpty());

    const QByteArray changed = "<html><body>changed by the update</body></html>\n";
    ASSERT_TRUE(WriteFile(root.filePath("newver/ver.zip"), "ZQP_CURRENT_VER:4.4\r\n"));
    ASSERT_TRUE(WritePackageOurs(root.filePath("newver/duvez.zip"),
                                 {{"e2e.res", {{"Vobi_Flash_Error.html", changed}}}}));
    ASSERT_TRUE(WriteFile(root.filePath("bindex.html"), "<html>online</html>"));
    const ProcResult signing = RunProgram(
        program + "kztool", {"sign-update", keys.privateKey, root.filePath("newver/duvez.zip")});
    ASSERT_EQ(signing.exitCode, 0) << signing.err.constData();
    const QByteArray package = ReadFile(root.filePath("newver/duvez.zip"));
    FolderServer server(root.path());

    QProcessEnvironment env = PrivateEnvironment(home.path());
    env.insert("KZPLAYER_SITE", server.Url(QString()).chopped(1));

    // First start: the package arrives silently.
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program + "KZPlayer", {});
    ASSERT_TRUE(first.waitForStarted());
    EXPECT_TRUE(SleepUntil([&] { return ReadFile(program + "duvez.zip") == package; }, 60000))
        << "no package downloaded";
    // From now on the site publishes this build's version, so the restarted player stays.
    ASSERT_TRUE(WriteFile(root.filePath("newver/ver.zip"), "ZQP_CURRENT_VER:4.3"));
    first.terminate();
    if (!first.waitForFinished(15000)) {
        first.kill();
        first.waitForFinished();
    }
    EXPECT_EQ(ReadFile(program + "res/Vobi_Flash_Error.html"), before);

    // Second start: the player hands over to vupdate and quits; vupdate installs and starts
    // the player again.
    QProcess second;
    second.setProcessEnvironment(env);
    // The updater and the player it starts outlive this process object: they write into a file,
    // not into pipes that close when it ends.
    second.setStandardOutputFile(home.filePath("restart.log"));
    second.setStandardErrorFile(home.filePath("restart.log"), QIODevice::Append);
    second.start(program + "KZPlayer", {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(SleepUntil(
        [&] { return ReadFile(program + "res/Vobi_Flash_Error.html") == changed; }, 30000))
        << "the package was not installed";
    // The package is set aside while it installs and goes once the last file is in.
    EXPECT_TRUE(SleepUntil(
        [&] {
            return !QFile::exists(program + "duvez.zip") &&
                   !QFile::exists(program + "duvez.zip.failed");
        },
        10000));
    EXPECT_FALSE(QFile::exists(program + "duvez.zip.sig"));
    const QString socket = home.filePath("run/KZPlayer.socket");
    EXPECT_TRUE(SleepUntil([&] { return QFile::exists(socket); }, 60000))
        << "the player did not start again";
    EXPECT_TRUE(QDir(program).entryList({".vupdate-*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(
        QDir(program + "res").entryList({".vupdate-*"}, QDir::Files | QDir::Hidden).isEmpty());

    // The restarted player shows its window.
    QImage shot;
    EXPECT_TRUE(SleepUntil(
        [&] {
            shot = ScreenShot(home.filePath("restarted.png"));
            return DistinctColours(shot) > 10;
        },
        60000))
        << "nothing drawn";
    shot.save(QDir::temp().filePath("kz-update-restarted.png"));

    for (const pid_t pid : PlayersIn(program))
        ::kill(pid, SIGTERM);
    EXPECT_TRUE(SleepUntil([&] { return PlayersIn(program).isEmpty(); }, 15000));
    for (const pid_t pid : PlayersIn(program))
        ::kill(pid, SIGKILL);
    EXPECT_FALSE(QFile::exists(program + "duvez.zip")) << "no second download";
}
