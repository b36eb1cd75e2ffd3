// Installing update packages: what goes where and in which order, the package's end and the
// player's start, packages that try to write where they should not, packages without a good
// signature, and installations that fail.

#include "UpdatePackages.h"

#include "platform/storage/CompoundFile.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"
#include "updater/PackageInstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

// One key pair for the whole test program, made by openssl.
const UpdateKeys &Keys() {
    static QTemporaryDir dir;
    static const UpdateKeys keys = MakeUpdateKeys(dir.path());
    return keys;
}

// A program directory inside a folder of its own, so that anything written beside it shows.
struct Site {
    QTemporaryDir outer;
    QString program = outer.filePath("program/");
    Site() { QDir().mkpath(program); }
    QString Package() const { return program + "duvez.zip"; }
    // The public key into the program directory and the package's signature beside it.
    bool Sign() const { return InstallKey(Keys(), program) && SignBeside(Keys(), Package()); }
    // What is in the program directory but the key.
    QStringList Entries() const {
        QStringList names =
            QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeAll("update.pub");
        names.sort();
        return names;
    }
    QStringList OuterEntries() const {
        return QDir(outer.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QStringList Leftovers() const {
        QStringList found;
        for (const QString &dir : {program, program + "res/"})
            for (const QString &name :
                 QDir(dir).entryList({".vupdate-*"}, QDir::Files | QDir::Hidden))
                found << dir + name;
        return found;
    }
};

struct Recorder {
    int steps = 0;
    QList<int> progress;
    QStringList started;
    QStringList errors;
    UpdaterHooks Hooks() {
        UpdaterHooks h;
        h.events.step = [this] { ++steps; };
        h.events.fileError = [this](const QString &path, const QString &) { errors << path; };
        h.setProgress = [this](int v) { progress << v; };
        h.pause = [](int) {};
        h.startPlayer = [this](const QString &p) {
            started << p;
            return true;
        };
        return h;
    }
};

QList<PackageGroup> RootAndRes() {
    return {{"a.root", {{"KZPlayer.cfg", "player settings v2"}, {"vupdate1", "#!/bin/sh\n"}}},
            {"skins.res", {{"play.jpg", PatternBytes(30000, 1)}, {"stop.jpg", "small"}}}};
}

void ExpectRootAndResInstalled(const Site &site) {
    EXPECT_EQ(ReadFile(site.program + "KZPlayer.cfg"), "player settings v2");
    EXPECT_EQ(ReadFile(site.program + "vupdate1"), "#!/bin/sh\n");
    EXPECT_EQ(ReadFile(site.program + "res/play.jpg"), PatternBytes(30000, 1));
    EXPECT_EQ(ReadFile(site.program + "res/stop.jpg"), "small");
}

} // namespace

TEST(PackageNames, SafeNamesAndGroupFolders) {
    for (const char *good : {"KZPlayer", "a.b", "...x", "res", " ", "名字"})
        EXPECT_TRUE(IsSafeElementName(QString::fromUtf8(good))) << good;
    for (const QString &bad :
         {QString(), QString("."), QString(".."), QString("../x"), QString("a/b"), QString("a\\b"),
          QString("/"), QString("a") + QChar(0) + "b"})
        EXPECT_FALSE(IsSafeElementName(bad)) << bad.toStdString();

    EXPECT_EQ(GroupFolderName("skins.root"), "root");
    EXPECT_EQ(GroupFolderName("new.files.res"), "res");
    EXPECT_EQ(GroupFolderName("res"), "res");
    EXPECT_EQ(GroupFolderName("x."), "");
    EXPECT_EQ(GroupFolderName(".."), "");
}

// Root and folder groups from both writers: files in the program directory and in "res"
// (created), groups taken from the last listed backwards and their files too, a step per file
// and per group, then the package goes, the bar shows 100 and the player starts once.
TEST(PackageInstall, RootAndFolderGroupsFromBothWriters) {
    for (const bool gsf : {false, true}) {
        SCOPED_TRACE(gsf ? "gsf" : "ours");
        Site site;
        ASSERT_TRUE(gsf ? WritePackageGsf(site.Package(), RootAndRes())
                        : WritePackageOurs(site.Package(), RootAndRes()));
        ASSERT_TRUE(CompoundFile::IsCompoundFile(site.Package()));

        // The order the package lists its groups and their files.
        QStringList expected;
        {
            auto package = CompoundFile::Open(site.Package(), CompoundFile::Access::Read);
            ASSERT_TRUE(package);
            const auto groups = package->Children(CompoundFile::kRootId);
            ASSERT_EQ(groups.size(), 2u);
            for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
                const QString folder = GroupFolderName(g->name) == "root" ? "" : "res/";
                const auto stream = package->Find(g->id, g->name);
                ASSERT_TRUE(stream);
                auto reader = package->OpenReader(stream->id);
                QByteArray nested(qsizetype(reader->Size()), '\0');
                ASSERT_EQ(reader->Read(nested.data(), nested.size()), nested.size());
                QTemporaryDir tmp;
                ASSERT_TRUE(WriteFile(tmp.filePath("n"), nested));
                auto files = CompoundFile::Open(tmp.filePath("n"), CompoundFile::Access::Read);
                ASSERT_TRUE(files);
                const auto entries = files->Children(CompoundFile::kRootId);
                for (auto f = entries.rbegin(); f != entries.rend(); ++f)
                    expected << site.program + folder + f->name;
            }
        }

        Recorder run;
        InstallReport report;
        UpdaterHooks hooks = run.Hooks();
        ASSERT_TRUE(site.Sign());
        EXPECT_EQ(RunInstallation(site.program, hooks), UpdateOutcome::Installed);
        report = InstallPackage(site.program, site.Package(), {}); // package gone: nothing
        EXPECT_EQ(report.status, InstallStatus::NotAPackage);

        ExpectRootAndResInstalled(site);
        EXPECT_EQ(run.steps, 4 + 2);
        EXPECT_EQ(run.progress, QList<int>{100});
        EXPECT_EQ(run.started, QStringList{site.program + "KZPlayer"});
        EXPECT_TRUE(run.errors.isEmpty());
        EXPECT_FALSE(QFile::exists(site.Package()));
        EXPECT_FALSE(QFile::exists(site.Package() + ".sig"));
        EXPECT_FALSE(QFile::exists(site.Package() + ".failed"));
        EXPECT_TRUE(site.Leftovers().isEmpty()) << site.Leftovers().join(' ').toStdString();
        EXPECT_EQ(site.OuterEntries(), QStringList{"program"});
        // A new program file is executable, data is not.
        EXPECT_TRUE(QFileInfo(site.program + "vupdate1").isExecutable());
        EXPECT_FALSE(QFileInfo(site.program + "res/stop.jpg").isExecutable());

        // The order written, with a second package of the same content.
        ASSERT_TRUE(gsf ? WritePackageGsf(site.Package(), RootAndRes())
                        : WritePackageOurs(site.Package(), RootAndRes()));
        report = InstallPackage(site.program, site.Package(), {});
        EXPECT_EQ(report.status, InstallStatus::Installed);
        EXPECT_EQ(report.installed, expected);
    }
}

// Replacing keeps a file's permissions; a link in the program directory is replaced, never
// written through; a linked folder is left alone.
TEST(PackageInstall, ReplacesFilesAndLinksNeverTheirTargets) {
    Site site;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    ASSERT_TRUE(WriteFile(victim, "keep me"));
    ASSERT_TRUE(QFile::link(victim, site.program + "KZPlayer.cfg"));
    ASSERT_TRUE(WriteFile(site.program + "vupdate1", "old"));
    QFile::setPermissions(site.program + "vupdate1",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // "res" leads elsewhere.
    QDir().mkpath(elsewhere.filePath("skins"));
    ASSERT_TRUE(QFile::link(elsewhere.filePath("skins"), site.program + "res"));
    ASSERT_TRUE(WritePackageOurs(site.Package(), RootAndRes()));
    ASSERT_TRUE(site.Sign());

    Recorder run;
    EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::Installed);
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_FALSE(QFileInfo(site.program + "KZPlayer.cfg").isSymLink());
    EXPECT_EQ(ReadFile(site.program + "KZPlayer.cfg"), "player settings v2");
    EXPECT_EQ(QFile::permissions(site.program + "vupdate1") & 0x7000,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(QDir(elsewhere.filePath("skins")).isEmpty()) << "nothing through the link";
    EXPECT_EQ(run.started.size(), 1);
}

// Names that would leave the program directory are skipped and the rest installs; a package
// whose names the reader refuses installs nothing and is treated as no package.
TEST(PackageInstall, HostileNamesInstallNothingOutside) {
    {
        Site site;
        QList<PackageGroup> groups = RootAndRes();
        groups[0].files << PackageFile{"..", "dots"} << PackageFile{".", "dot"};
        groups << PackageGroup{"..", {{"up", "x"}}} << PackageGroup{"x.", {{"empty", "x"}}};
        // A file name with a separator (no writer makes one): that nested package is refused.
        groups << PackageGroup{
            "z.root", {}, RenameInNested(NestedPackageOurs({{"aQb", "x"}}), "aQb", "a/b")};
        groups << PackageGroup{
            "w.root", {}, RenameInNested(NestedPackageOurs({{"QQQQ", "x"}}), "QQQQ", "../x")};
        groups << PackageGroup{
            "v.root", {}, RenameInNested(NestedPackageOurs({{"aWb", "x"}}), "aWb", "a\\b")};
        ASSERT_TRUE(WritePackageOurs(site.Package(), groups));
        Recorder run;
        const InstallReport report =
            InstallPackage(site.program, site.Package(), run.Hooks().events);
        EXPECT_EQ(report.status, InstallStatus::Installed);
        ExpectRootAndResInstalled(site);
        EXPECT_EQ(report.installed.size(), 4);
        for (const char *name : {"..", ".", "x.", "z.root", "w.root", "v.root"})
            EXPECT_TRUE(report.skipped.contains(name))
                << name << report.skipped.join(' ').toStdString();
        EXPECT_EQ(site.OuterEntries(), QStringList{"program"});
        EXPECT_EQ(site.Entries(), (QStringList{"KZPlayer.cfg", "duvez.zip", "res", "vupdate1"}));
    }
    // Group names with separators: the reader refuses the whole file.
    for (const char *bad : {"../x", "a/b", "a\\b"}) {
        Site site;
        QList<PackageGroup> groups = RootAndRes();
        groups << PackageGroup{"QQQQ", {{"evil", "x"}}};
        ASSERT_TRUE(WritePackageOurs(site.Package(), groups));
        ASSERT_TRUE(RenameElementRaw(site.Package(), "QQQQ", QString(bad).leftJustified(4, 'Q')));
        ASSERT_TRUE(site.Sign());
        Recorder run;
        EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::NotAPackage);
        EXPECT_EQ(run.started.size(), 1);
        EXPECT_FALSE(QFile::exists(site.Package()));
        EXPECT_EQ(site.OuterEntries(), QStringList{"program"});
        EXPECT_TRUE(site.Entries().isEmpty()) << bad;
    }
}

// Not a package at all: a zip archive (the name says zip), or no package: deleted, the player
// starts, nothing changes.
TEST(PackageInstall, PlainZipOrNoPackageStartsThePlayer) {
    Site site;
    const ProcResult zip = RunPython(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr('KZPlayer', 'not this way')\n",
        {site.Package()});
    ASSERT_EQ(zip.exitCode, 0) << zip.err.toStdString();
    ASSERT_TRUE(site.Sign());
    Recorder run;
    EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::NotAPackage);
    EXPECT_EQ(run.started, QStringList{site.program + "KZPlayer"});
    EXPECT_FALSE(QFile::exists(site.Package()));
    EXPECT_TRUE(site.Entries().isEmpty());
    EXPECT_TRUE(run.progress.isEmpty());

    Recorder again;
    EXPECT_EQ(RunInstallation(site.program, again.Hooks()), UpdateOutcome::NoPackage);
    EXPECT_EQ(again.started.size(), 1);
}

// A target that cannot be replaced: the file error, the installation stops there, the package
// is set aside and never tried again, the player starts all the same, and no scratch file is
// left. The program directory of another user is not touched at all.
TEST(PackageInstall, FailedInstallationSetsThePackageAsideAndStartsThePlayer) {
    Site site;
    // A folder where the package has a file: not even root may rename a file over it.
    ASSERT_TRUE(WriteFile(site.program + "res/stop.jpg/inside", "x"));
    ASSERT_TRUE(WritePackageOurs(site.Package(), RootAndRes()));
    const QByteArray package = ReadFile(site.Package());
    ASSERT_TRUE(site.Sign());
    Recorder run;
    EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::Failed);
    EXPECT_EQ(run.errors, QStringList{site.program + "res/stop.jpg"});
    EXPECT_EQ(run.started, QStringList{site.program + "KZPlayer"});
    EXPECT_FALSE(QFile::exists(site.Package()));
    EXPECT_FALSE(QFile::exists(site.Package() + ".sig"));
    EXPECT_EQ(ReadFile(site.Package() + ".failed"), package);
    EXPECT_TRUE(site.Leftovers().isEmpty()) << site.Leftovers().join(' ').toStdString();
    // The next run finds no package: the player simply starts.
    Recorder next;
    EXPECT_EQ(RunInstallation(site.program, next.Hooks()), UpdateOutcome::NoPackage);
    EXPECT_EQ(next.started.size(), 1);
    EXPECT_EQ(ReadFile(site.Package() + ".failed"), package);

    if (::geteuid() != 0) {
        Site ro;
        QDir().mkpath(ro.program + "res");
        QFile::setPermissions(ro.program + "res", QFile::ReadOwner | QFile::ExeOwner);
        ASSERT_TRUE(WritePackageOurs(ro.Package(), RootAndRes()));
        ASSERT_TRUE(ro.Sign());
        Recorder r;
        EXPECT_EQ(RunInstallation(ro.program, r.Hooks()), UpdateOutcome::Failed);
        EXPECT_EQ(r.errors.size(), 1);
        EXPECT_EQ(r.started.size(), 1);
        EXPECT_TRUE(QFile::exists(ro.Package() + ".failed"));
        QFile::setPermissions(ro.program + "res",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    } else {
        Site other;
        ASSERT_TRUE(WritePackageOurs(other.Package(), RootAndRes()));
        ASSERT_TRUE(other.Sign());
        const QByteArray dir = QFile::encodeName(other.program);
        ASSERT_EQ(::chown(dir.constData(), 65534, 65534), 0);
        Recorder r;
        EXPECT_EQ(RunInstallation(other.program, r.Hooks()), UpdateOutcome::NotOurs);
        EXPECT_EQ(r.started.size(), 1);
        EXPECT_EQ(other.Entries(), (QStringList{"duvez.zip", "duvez.zip.sig"}));
        ASSERT_EQ(::chown(dir.constData(), 0, 0), 0);
    }
}

// Without the key, the signature or with a wrong one nothing is installed: the package and its
// signature are deleted and the player starts.
TEST(PackageInstall, PackagesWithoutAGoodSignatureAreDeleted) {
    QTemporaryDir otherDir;
    const UpdateKeys other = MakeUpdateKeys(otherDir.path());
    struct Case {
        const char *what;
        std::function<void(const Site &)> spoil;
    };
    const Case cases[] = {
        {"no key", [](const Site &s) { QFile::remove(s.program + "update.pub"); }},
        {"no signature", [](const Site &s) { QFile::remove(s.Package() + ".sig"); }},
        {"another key's signature", [&](const Site &s) { SignBeside(other, s.Package()); }},
        {"a signature cut short",
         [](const Site &s) {
             WriteFile(s.Package() + ".sig", ReadFile(s.Package() + ".sig").left(32));
         }},
        {"the package changed after signing",
         [](const Site &s) {
             QByteArray bytes = ReadFile(s.Package());
             bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x40);
             WriteFile(s.Package(), bytes);
         }},
        {"the key of another pair",
         [&](const Site &s) {
             QFile::remove(s.program + "update.pub");
             QFile::copy(other.publicKey, s.program + "update.pub");
         }},
    };
    for (const Case &c : cases) {
        Site site;
        ASSERT_TRUE(WritePackageOurs(site.Package(), RootAndRes()));
        ASSERT_TRUE(site.Sign());
        c.spoil(site);
        Recorder run;
        EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::Refused) << c.what;
        EXPECT_EQ(run.started, QStringList{site.program + "KZPlayer"}) << c.what;
        EXPECT_EQ(run.steps, 0) << c.what;
        EXPECT_TRUE(site.Entries().isEmpty()) << c.what << site.Entries().join(' ').toStdString();
        EXPECT_EQ(site.OuterEntries(), QStringList{"program"});
    }
}

TEST(PackageInstall, GroupOfMoreThanAHundredFiles) {
    Site site;
    PackageGroup many{"lots.res", {}};
    for (int i = 0; i < 120; ++i)
        many.files << PackageFile{QStringLiteral("f%1.jpg").arg(i), PatternBytes(100 + i * 50, i)};
    ASSERT_TRUE(WritePackageGsf(site.Package(), {many}));
    ASSERT_TRUE(site.Sign());
    Recorder run;
    EXPECT_EQ(RunInstallation(site.program, run.Hooks()), UpdateOutcome::Installed);
    EXPECT_EQ(run.steps, 121);
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(ReadFile(site.program + QStringLiteral("res/f%1.jpg").arg(i)),
                  PatternBytes(100 + i * 50, i))
            << i;
}
