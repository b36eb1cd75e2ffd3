#include "shell/Startup.h"
#include "shell/Association.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

TEST(Startup, NewUpdaterReplacesTheOldOneBeforeThePackageIsHandedOver) {
    QTemporaryDir dir;
    const QString d = dir.path();
    EXPECT_FALSE(ReplaceUpdater(d));
    EXPECT_FALSE(UpdatePackageWaiting(d));

    ASSERT_TRUE(test::WriteFile(d + "/vupdate", "old"));
    ASSERT_TRUE(test::WriteFile(d + "/vupdate1", "new"));
    ASSERT_TRUE(test::WriteFile(d + "/duvez.zip", "PK"));
    EXPECT_TRUE(ReplaceUpdater(d));
    EXPECT_EQ(test::ReadFile(d + "/vupdate"), "new");
    EXPECT_FALSE(QFile::exists(d + "/vupdate1"));
    EXPECT_TRUE(UpdatePackageWaiting(d));

    // Without an old one the new one simply takes its name.
    ASSERT_TRUE(test::WriteFile(d + "/vupdate1", "newer"));
    QFile::remove(d + "/vupdate");
    EXPECT_TRUE(ReplaceUpdater(d));
    EXPECT_EQ(test::ReadFile(d + "/vupdate"), "newer");
}

TEST(Startup, CommandLineCarriesAtMostOneFileMadeAbsolute) {
    EXPECT_EQ(CommandLineFile({"KZPlayer"}), "");
    EXPECT_EQ(CommandLineFile({"KZPlayer", "/m/a.swf", "/m/b.swf"}), "/m/a.swf");
    EXPECT_EQ(CommandLineFile({"KZPlayer", "", "/m/b.tpl"}), "/m/b.tpl");
    EXPECT_EQ(CommandLineFile({"KZPlayer", "rel/c.swf"}),
              QDir::current().absoluteFilePath("rel/c.swf"));
}

TEST(Association, ListFileTypeStepsStopAtTheFirstFailure) {
    QTemporaryDir dir;
    AssociationTarget t{dir.path(), "/opt/kz player/KZPlayer", "/opt/kz player/res/KZPlayer.png"};
    QStringList ran;
    auto runner = [&](bool ok) {
        return [&ran, ok](const QString &program, const QStringList &args) {
            ran << program + ' ' + args.join(' ');
            return ok;
        };
    };
    EXPECT_TRUE(RegisterListFileType(t, runner(true)));
    const QString package = test::ReadFile(dir.filePath("mime/packages/KZPlayer.xml"));
    EXPECT_TRUE(package.contains("type=\"application/x-kzplayer-tpl\""));
    EXPECT_TRUE(package.contains("<glob pattern=\"*.tpl\"/>"));
    const QString entry = test::ReadFile(dir.filePath("applications/KZPlayer.desktop"));
    EXPECT_TRUE(entry.contains("Exec=\"/opt/kz player/KZPlayer\" %f\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("MimeType=application/x-kzplayer-tpl;\n"));
    EXPECT_TRUE(entry.contains("Icon=/opt/kz player/res/KZPlayer.png"));
    ASSERT_EQ(ran.size(), 2);
    EXPECT_EQ(ran[0], "update-mime-database " + dir.filePath("mime"));
    EXPECT_EQ(ran[1], "xdg-mime default KZPlayer.desktop application/x-kzplayer-tpl");

    ran.clear();
    EXPECT_FALSE(RegisterListFileType(t, runner(false)));
    EXPECT_EQ(ran.size(), 1) << "no default set when the database was not updated";

    // An unwritable data folder: nothing is run at all.
    ran.clear();
    AssociationTarget bad = t;
    bad.dataHome = "/proc/kz-no-such-folder";
    EXPECT_FALSE(RegisterListFileType(bad, runner(true)));
    EXPECT_TRUE(ran.isEmpty());
}

TEST(Association, FlashTypeAndHostileExecutablePaths) {
    QTemporaryDir dir;
    AssociationTarget t{dir.path(), "/x/a\"b$c`d\\e/KZPlayer", ""};
    QStringList ran;
    EXPECT_TRUE(RegisterFlashType(t, [&](const QString &p, const QStringList &a) {
        ran << p + ' ' + a.join(' ');
        return true;
    }));
    const QString entry = test::ReadFile(dir.filePath("applications/KZPlayer-swf.desktop"));
    // Quoting escapes, then the string escapes on top: a backslash of the path is four.
    EXPECT_TRUE(entry.contains("Exec=\"/x/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/KZPlayer\" %f\n"))
        << entry.toStdString();
    EXPECT_FALSE(entry.contains("Icon="));
    EXPECT_TRUE(entry.contains("application/vnd.adobe.flash.movie;application/x-shockwave-flash;"));
    EXPECT_EQ(ran.last(), "xdg-mime default KZPlayer-swf.desktop application/vnd.adobe.flash.movie "
                          "application/x-shockwave-flash");
    EXPECT_TRUE(MimePackageText("a<b", "*.swf", "x&y").contains("a&lt;b"));
}

// The maker's site is https unless KZPLAYER_SITE names another (tests name a local http one).
TEST(Startup, MakerSiteIsHttpsByDefault) {
    const QByteArray saved = qgetenv("KZPLAYER_SITE");
    qunsetenv("KZPLAYER_SITE");
    EXPECT_TRUE(MakerSite().startsWith("https://")) << MakerSite().toStdString();
    EXPECT_FALSE(MakerSite().endsWith('/'));
    qputenv("KZPLAYER_SITE", "http://127.0.0.1:5//");
    EXPECT_EQ(MakerSite(), "http://127.0.0.1:5");
    qputenv("KZPLAYER_SITE", saved);
}

// The rules by example, and the entry run by GLib's own desktop-entry launcher (gio launch): a
// program in a folder full of characters the rules care about gets the file it is given.
TEST(Association, ExecLineFollowsTheDesktopEntryRules) {
    EXPECT_EQ(ExecArgument("/opt/a b/p"), "\"/opt/a b/p\"");
    EXPECT_EQ(ExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(ExecArgument("/a%f"), "\"/a%%f\"") << "no field code";
    EXPECT_EQ(ExecArgument("/a$b`c\"d"), "\"/a\\\\$b\\\\`c\\\\\"d\"");
    EXPECT_EQ(ExecArgument("/a\nb\tc"), "\"/a\\nb\\tc\"") << "one line";
    AssociationTarget icon{"", "/p", "/icons/a\nMimeType=text/plain;"};
    const QString text = DesktopEntryText("n", icon, {"x/y"});
    EXPECT_EQ(text.count(u'\n'), 8) << text.toStdString();
    EXPECT_TRUE(text.contains("Icon=/icons/a\\nMimeType=text/plain;\n"));

    QTemporaryDir dir;
    const QString folder = dir.filePath("we ird $HOME `id` \"q\" 'a' \\b ;&|<>*?#~()");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + "/prog", out = dir.filePath("argv.txt");
    ASSERT_TRUE(test::WriteFile(program, ("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; "
                                          "done > '" +
                                          out + "'\n")
                                             .toUtf8()));
    ASSERT_TRUE(
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    AssociationTarget t{dir.path(), program, ""};
    ASSERT_TRUE(RegisterListFileType(t, [](const QString &, const QStringList &) { return true; }));
    const QString entry = dir.filePath("applications/KZPlayer.desktop");
    const QString movie = dir.filePath("a movie $x.tpl");
    const test::ProcResult r = test::RunProgram("gio", {"launch", entry, movie});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData() << test::ReadFile(entry).constData();
    ASSERT_TRUE(test::PumpUntil([&] { return QFileInfo::exists(out); }, 10000));
    EXPECT_TRUE(
        test::PumpUntil([&] { return test::ReadFile(out) == "[" + movie.toUtf8() + "]\n"; }, 5000))
        << test::ReadFile(out).constData();
}
