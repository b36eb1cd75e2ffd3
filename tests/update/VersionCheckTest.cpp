// The version check against a local site: the marker's comparison, the one read of 64 bytes,
// the package's download (whole, signed, or not at all) and where it goes, and the home-page
// routines.

#include "update/VersionCheck.h"
#include "platform/http/HttpClient.h"
#include "support/FolderServer.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"
#include "update/UpdateThreads.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

constexpr char kClosedSite[] = "http://127.0.0.1:9";

// A site folder served over loopback, a program directory holding the public key of a fresh
// key pair, and a temporary folder.
struct LocalSite {
    QTemporaryDir root, program, temp, keysDir;
    UpdateKeys keys = MakeUpdateKeys(keysDir.path());
    std::unique_ptr<FolderServer> server;
    LocalSite() { InstallKey(keys, ProgramDir()); }
    QString Site() const { return server->Url(QString()); }
    QString ProgramDir() const { return program.path() + '/'; }
    QString Package() const { return ProgramDir() + "duvez.zip"; }
    QString Published() const { return root.filePath("newver/duvez.zip"); }
    // The version file, and the package signed with the key pair's private key.
    void Publish(const QByteArray &version, const QByteArray &package = {}) {
        ASSERT_TRUE(WriteFile(root.filePath("newver/ver.zip"), version));
        if (!package.isEmpty()) {
            ASSERT_TRUE(WriteFile(Published(), package));
            ASSERT_TRUE(SignBeside(keys, Published()));
        }
        if (!server)
            server = std::make_unique<FolderServer>(root.path());
    }
    bool Check() const {
        return RunVersionCheck([] { return CreateHttpSession(); }, Site(), ProgramDir(),
                               temp.path() + '/');
    }
    bool TempEmpty() const { return QDir(temp.path()).isEmpty(); }
};

} // namespace

TEST(VersionMarker, OnlyAnotherVersionCounts) {
    EXPECT_FALSE(AnnouncesOtherVersion("ZQP_CURRENT_VER:4.3"));
    EXPECT_TRUE(AnnouncesOtherVersion("ZQP_CURRENT_VER:4.4"));
    EXPECT_TRUE(AnnouncesOtherVersion("ZQP_CURRENT_VER:4.30"));
    EXPECT_TRUE(AnnouncesOtherVersion("new: ZQP_CURRENT_VER:4.3"));
    // Trailing line breaks and blanks are not a new version.
    for (const char *same :
         {"ZQP_CURRENT_VER:4.3\n", "ZQP_CURRENT_VER:4.3\r\n", "ZQP_CURRENT_VER:4.3  \t\r\n\n"})
        EXPECT_FALSE(AnnouncesOtherVersion(same)) << same;
    // The text ends at a zero, as a C string would.
    EXPECT_FALSE(AnnouncesOtherVersion(QByteArray("ZQP_CURRENT_VER:4.3\0garbage", 27)));
    EXPECT_FALSE(AnnouncesOtherVersion(QByteArray("\0ZQP_CURRENT_VER:4.4", 20)));
    for (const char *none : {"", "4.4", "zqp_current_ver:4.4", "<html>Not found</html>"})
        EXPECT_FALSE(AnnouncesOtherVersion(none)) << none;
    // GBK text around the marker is decoded, not a reason to fail.
    EXPECT_TRUE(AnnouncesOtherVersion("\xd0\xc2 ZQP_CURRENT_VER:4.4"));
}

TEST(VersionCheck, AnswersOfTheSite) {
    LocalSite site;
    site.Publish("ZQP_CURRENT_VER:4.3");
    ASSERT_TRUE(site.server);
    std::unique_ptr<HttpSession> session = CreateHttpSession();
    const QUrl url = SiteUrl(site.Site(), kVersionPath);
    EXPECT_TRUE(url.toString().endsWith("/newver/ver.zip")) << url.toString().toStdString();
    EXPECT_EQ(CheckVersion(*session, url), VersionAnswer::Same);

    const auto answer = [&](const QByteArray &text) {
        site.Publish(text);
        return CheckVersion(*session, url);
    };
    EXPECT_EQ(answer("ZQP_CURRENT_VER:4.4"), VersionAnswer::Other);
    EXPECT_EQ(answer("ZQP_CURRENT_VER:4.3\r\n"), VersionAnswer::Same);
    EXPECT_EQ(answer("no marker here"), VersionAnswer::Same);
    EXPECT_EQ(answer(""), VersionAnswer::NoAnswer);
    // Only the first 64 bytes count: what follows neither spoils nor makes a new version.
    EXPECT_EQ(answer("ZQP_CURRENT_VER:4.3" + QByteArray(45, ' ') + "ZQP_CURRENT_VER:9.9"),
              VersionAnswer::Same);
    EXPECT_EQ(answer(QByteArray(64, 'x') + "ZQP_CURRENT_VER:4.4"), VersionAnswer::Same);
    EXPECT_EQ(answer(QByteArray(63, ' ') + "ZQP_CURRENT_VER:4.4"), VersionAnswer::Same);
    EXPECT_EQ(answer(QByteArray(40, ' ') + "ZQP_CURRENT_VER:4.4"), VersionAnswer::Other);
    // An error page, and a site that does not answer.
    EXPECT_EQ(CheckVersion(*session, SiteUrl(site.Site(), "/newver/missing.zip")),
              VersionAnswer::NoAnswer);
    EXPECT_EQ(CheckVersion(*session, SiteUrl(kClosedSite, kVersionPath)), VersionAnswer::NoAnswer);
}

// The whole check: a new version brings the package into the program directory through the
// temporary folder; anything else brings nothing.
TEST(VersionCheck, NewVersionDownloadsThePackage) {
    const QByteArray package = PatternBytes(0, 70000);
    {
        LocalSite site;
        site.Publish("ZQP_CURRENT_VER:4.4\n", package);
        EXPECT_TRUE(site.Check());
        EXPECT_EQ(ReadFile(site.Package()), package);
        EXPECT_EQ(ReadFile(site.Package() + ".sig"), ReadFile(site.Published() + ".sig"));
        EXPECT_TRUE(site.TempEmpty());
        // A package that waits already is not replaced, nor its signature.
        ASSERT_TRUE(WriteFile(site.Package(), "waiting"));
        ASSERT_TRUE(WriteFile(site.Package() + ".sig", "its signature"));
        EXPECT_FALSE(site.Check());
        EXPECT_EQ(ReadFile(site.Package()), "waiting");
        EXPECT_EQ(ReadFile(site.Package() + ".sig"), "its signature");
        EXPECT_TRUE(site.TempEmpty());
    }
    for (const QByteArray &same : {QByteArray("ZQP_CURRENT_VER:4.3"),
                                   QByteArray("ZQP_CURRENT_VER:4.3\n"), QByteArray("4.4")}) {
        LocalSite site;
        site.Publish(same, package);
        EXPECT_FALSE(site.Check()) << same.constData();
        EXPECT_FALSE(QFile::exists(site.Package())) << same.constData();
    }
    {
        LocalSite site; // the version file is missing: 404
        site.Publish("ZQP_CURRENT_VER:4.4", package);
        QFile::remove(site.root.filePath("newver/ver.zip"));
        EXPECT_FALSE(site.Check());
        EXPECT_FALSE(QFile::exists(site.Package()));
    }
    {
        LocalSite site; // a new version but no package: 404
        site.Publish("ZQP_CURRENT_VER:4.4");
        EXPECT_FALSE(site.Check());
        EXPECT_FALSE(QFile::exists(site.Package()));
        EXPECT_TRUE(site.TempEmpty());
    }
}

// A download that breaks off, or grows past the cap, leaves nothing anywhere; across file
// systems the package still arrives whole with its signature.
TEST(VersionCheck, BrokenOrOversizedDownloadsLeaveNothing) {
    TestHttpServer &server = SharedServer();
    ASSERT_TRUE(server.Running());
    std::unique_ptr<HttpSession> session = CreateHttpSession();
    QTemporaryDir program, temp, keysDir, signatures;
    const UpdateKeys keys = MakeUpdateKeys(keysDir.path());
    const QString dir = program.path() + '/';
    ASSERT_TRUE(InstallKey(keys, dir));
    // The signatures of the server's pattern bytes, from a site of their own.
    for (const int n : {5000, 70000}) {
        const QString file = signatures.filePath(QString::number(n));
        ASSERT_TRUE(WriteFile(file, PatternBytes(0, n)));
        ASSERT_TRUE(SignBeside(keys, file));
    }
    FolderServer signatureSite(signatures.path());
    const auto signatureOf = [&](int n) {
        return QUrl(signatureSite.Url(QString("%1.sig").arg(n)));
    };
    const auto nothingLeft = [&] {
        return QDir(program.path())
                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
                   QStringList{"update.pub"} &&
               QDir(temp.path()).isEmpty();
    };
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/truncated/50000"), signatureOf(5000),
                                 temp.path(), dir));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/bytes/5000"), signatureOf(5000),
                                 temp.path(), dir, 4999));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/nolength/5000"), signatureOf(5000),
                                 temp.path(), dir, 4999));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(
        DownloadPackage(*session, server.Url("/status/404"), signatureOf(5000), temp.path(), dir));
    EXPECT_TRUE(nothingLeft());

    EXPECT_TRUE(DownloadPackage(*session, server.Url("/nolength/5000"), signatureOf(5000),
                                temp.path(), dir, 5000));
    EXPECT_EQ(ReadFile(dir + "duvez.zip"), PatternBytes(0, 5000));
    EXPECT_EQ(ReadFile(dir + "duvez.zip.sig"), ReadFile(signatures.filePath("5000.sig")));
    EXPECT_TRUE(QDir(temp.path()).isEmpty());

    // The temporary folder on another file system (memory), as /tmp often is.
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &a) == 0 && ::stat(QFile::encodeName(dir).constData(), &b) == 0 &&
        a.st_dev != b.st_dev && ::access("/dev/shm", W_OK) == 0) {
        QTemporaryDir shm("/dev/shm/kz-update-XXXXXX");
        QTemporaryDir other;
        const QString to = other.path() + '/';
        ASSERT_TRUE(InstallKey(keys, to));
        EXPECT_TRUE(DownloadPackage(*session, server.Url("/bytes/70000"), signatureOf(70000),
                                    shm.path(), to));
        EXPECT_EQ(ReadFile(to + "duvez.zip"), PatternBytes(0, 70000));
        EXPECT_TRUE(QDir(shm.path()).isEmpty());
        EXPECT_EQ(
            QDir(other.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"duvez.zip", "duvez.zip.sig", "update.pub"}));
    }
}

// Only a package signed for the program directory's key comes in: without a key, without a
// signature or with a wrong one nothing stays, in the program directory or the temporary folder.
TEST(VersionCheck, OnlyAPackageSignedForTheKeyIsTaken) {
    const QByteArray package = PatternBytes(0, 40000);
    QTemporaryDir otherKeysDir;
    const UpdateKeys other = MakeUpdateKeys(otherKeysDir.path());
    struct Case {
        const char *what;
        std::function<void(LocalSite &)> spoil;
    };
    const Case cases[] = {
        {"no key", [](LocalSite &s) { QFile::remove(s.ProgramDir() + "update.pub"); }},
        {"a key that is no key",
         [](LocalSite &s) { WriteFile(s.ProgramDir() + "update.pub", "not a key"); }},
        {"no signature", [](LocalSite &s) { QFile::remove(s.Published() + ".sig"); }},
        {"another key's signature", [&](LocalSite &s) { SignBeside(other, s.Published()); }},
        {"a signature of other bytes",
         [&](LocalSite &s) {
             WriteFile(s.Published(), package + "x");
             SignBeside(s.keys, s.Published());
             WriteFile(s.Published(), package);
         }},
        {"a signature cut short",
         [](LocalSite &s) {
             WriteFile(s.Published() + ".sig", ReadFile(s.Published() + ".sig").left(63));
         }},
        {"a signature with more after it",
         [](LocalSite &s) {
             WriteFile(s.Published() + ".sig", ReadFile(s.Published() + ".sig") + "\n");
         }},
        {"an error page for the signature",
         [](LocalSite &s) {
             QFile::remove(s.Published() + ".sig");
             QDir().mkpath(s.Published() + ".sig");
         }},
    };
    for (const Case &c : cases) {
        LocalSite site;
        site.Publish("ZQP_CURRENT_VER:4.4", package);
        c.spoil(site);
        EXPECT_FALSE(site.Check()) << c.what;
        EXPECT_FALSE(QFile::exists(site.Package())) << c.what;
        EXPECT_FALSE(QFile::exists(site.Package() + ".sig")) << c.what;
        EXPECT_TRUE(QDir(site.ProgramDir())
                        .entryList({".duvez.zip.*"}, QDir::Files | QDir::Hidden)
                        .isEmpty())
            << c.what;
        EXPECT_TRUE(site.TempEmpty()) << c.what;
    }
}

// The package set aside after a failed installation is not taken again; another one is.
TEST(VersionCheck, ThePackageThatFailedIsNotTakenAgain) {
    LocalSite site;
    site.Publish("ZQP_CURRENT_VER:4.4", "the package that failed");
    ASSERT_TRUE(WriteFile(site.Package() + ".failed", "the package that failed"));
    EXPECT_FALSE(site.Check());
    EXPECT_FALSE(QFile::exists(site.Package()));
    EXPECT_FALSE(QFile::exists(site.Package() + ".sig"));
    EXPECT_TRUE(site.TempEmpty());
    site.Publish("ZQP_CURRENT_VER:4.5", "the package that mends it");
    EXPECT_TRUE(site.Check());
    EXPECT_EQ(ReadFile(site.Package()), "the package that mends it");
}

// A program directory nobody may write, or one a package manager installed, takes no package.
TEST(VersionCheck, NoDownloadIntoAProgramDirectoryThatIsNotWritable) {
    LocalSite site;
    site.Publish("ZQP_CURRENT_VER:4.4", "package");
    EXPECT_TRUE(ProgramDirTakesUpdates(site.ProgramDir()));
    QFile::setPermissions(site.program.path(),
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
    EXPECT_FALSE(ProgramDirTakesUpdates(site.ProgramDir()));
    EXPECT_FALSE(site.Check());
    EXPECT_TRUE(site.TempEmpty());
    QFile::setPermissions(site.program.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(QDir(site.program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"update.pub"});

    ASSERT_TRUE(WriteFile(site.ProgramDir() + kPackagedMarker, ""));
    EXPECT_FALSE(ProgramDirTakesUpdates(site.ProgramDir()));
    EXPECT_FALSE(site.Check());
    EXPECT_FALSE(QFile::exists(site.Package()));
    EXPECT_FALSE(ProgramDirTakesUpdates(site.ProgramDir() + "missing/"));
    QFile::remove(site.ProgramDir() + kPackagedMarker);

    if (::geteuid() == 0) { // only the superuser can give the folder to another user
        ASSERT_EQ(::chown(QFile::encodeName(site.program.path()).constData(), 65534, 65534), 0);
        EXPECT_FALSE(site.Check());
        EXPECT_FALSE(QFile::exists(site.Package()));
        ASSERT_EQ(::chown(QFile::encodeName(site.program.path()).constData(), 0, 0), 0);
        EXPECT_TRUE(site.Check()) << "its own folder takes it";
    }
}

namespace {

struct Pages {
    QObject receiver;
    UpdateMailbox mailbox;
    QStringList shown;
    Pages() {
        mailbox.receiver = &receiver;
        mailbox.openOnlineHome = [this] { shown << "online"; };
        mailbox.navigate = [this](const QString &page) { shown << page; };
    }
    void Deliver() { QCoreApplication::sendPostedEvents(&receiver); }
};

UpdateSetup SetupFor(const QString &site, const QString &programDir) {
    return UpdateSetup{site, programDir, QString(), [] { return CreateHttpSession(); }};
}

} // namespace

TEST(HomePage, OnlineWhenTheSiteAnswersElseLocal) {
    LocalSite site;
    site.Publish("ZQP_CURRENT_VER:4.3");
    ASSERT_TRUE(WriteFile(site.ProgramDir() + "inweb/bindex.html", "<html>home</html>"));
    {
        Pages p;
        RunHomePage(p.mailbox, SetupFor(site.Site(), site.ProgramDir()));
        p.Deliver();
        EXPECT_EQ(p.shown, QStringList{"online"});
        EXPECT_EQ(p.mailbox.onlineHomePage, 1);
    }
    {
        Pages p;
        RunHomePage(p.mailbox, SetupFor(kClosedSite, site.ProgramDir()));
        p.Deliver();
        EXPECT_EQ(p.shown, QStringList{site.ProgramDir() + "inweb/bindex.html"});
        EXPECT_EQ(p.mailbox.onlineHomePage, 0);
    }
    {
        Pages p; // no local page either: the browser keeps its blank page
        QFile::remove(site.ProgramDir() + "inweb/bindex.html");
        RunHomePage(p.mailbox, SetupFor(kClosedSite, site.ProgramDir()));
        p.Deliver();
        EXPECT_TRUE(p.shown.isEmpty());
    }
    {
        Pages p; // the receiver has gone: nothing reaches it
        p.mailbox.Close();
        RunHomePage(p.mailbox, SetupFor(site.Site(), site.ProgramDir()));
        p.Deliver();
        EXPECT_TRUE(p.shown.isEmpty());
    }
}

TEST(HomePage, ConnectivityRecheckOpensTheOnlinePageOnce) {
    LocalSite site;
    site.Publish("ZQP_CURRENT_VER:4.3");
    Pages p;
    RunConnectivityCheck(p.mailbox, SetupFor(kClosedSite, site.ProgramDir()));
    p.Deliver();
    EXPECT_TRUE(p.shown.isEmpty());
    EXPECT_EQ(p.mailbox.onlineHomePage, 0);
    RunConnectivityCheck(p.mailbox, SetupFor(site.Site(), site.ProgramDir()));
    RunConnectivityCheck(p.mailbox, SetupFor(site.Site(), site.ProgramDir()));
    p.Deliver();
    EXPECT_EQ(p.shown, QStringList{"online"});
    EXPECT_EQ(p.mailbox.onlineHomePage, 1);
}
