// The version check against a local site: the marker's comparison, the one read of 64 bytes,
// the package's download (whole or not at all) and where it goes, and the home-page routines.

#include "update/VersionCheck.h"
#include "platform/http/HttpClient.h"
#include "support/FolderServer.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"
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

// A site folder served over loopback, a program directory and a temporary folder.
struct LocalSite {
    QTemporaryDir root, program, temp;
    std::unique_ptr<FolderServer> server;
    QString Site() const { return server->Url(QString()); }
    QString ProgramDir() const { return program.path() + '/'; }
    QString Package() const { return ProgramDir() + "duvez.zip"; }
    void Publish(const QByteArray &version, const QByteArray &package = {}) {
        ASSERT_TRUE(WriteFile(root.filePath("newver/ver.zip"), version));
        if (!package.isEmpty()) {
            ASSERT_TRUE(WriteFile(root.filePath("newver/duvez.zip"), package));
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
        EXPECT_TRUE(site.TempEmpty());
        // A package that waits already is not replaced.
        ASSERT_TRUE(WriteFile(site.Package(), "waiting"));
        EXPECT_FALSE(site.Check());
        EXPECT_EQ(ReadFile(site.Package()), "waiting");
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
// systems the package still arrives whole.
TEST(VersionCheck, BrokenOrOversizedDownloadsLeaveNothing) {
    TestHttpServer &server = SharedServer();
    ASSERT_TRUE(server.Running());
    std::unique_ptr<HttpSession> session = CreateHttpSession();
    QTemporaryDir program, temp;
    const QString dir = program.path() + '/';
    const auto nothingLeft = [&] {
        return QDir(program.path()).isEmpty() && QDir(temp.path()).isEmpty();
    };
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/truncated/50000"), temp.path(), dir));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/bytes/5000"), temp.path(), dir, 4999));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/nolength/5000"), temp.path(), dir, 4999));
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(DownloadPackage(*session, server.Url("/status/404"), temp.path(), dir));
    EXPECT_TRUE(nothingLeft());

    EXPECT_TRUE(DownloadPackage(*session, server.Url("/nolength/5000"), temp.path(), dir, 5000));
    EXPECT_EQ(ReadFile(dir + "duvez.zip"), PatternBytes(0, 5000));
    EXPECT_TRUE(QDir(temp.path()).isEmpty());

    // The temporary folder on another file system (memory), as /tmp often is.
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &a) == 0 && ::stat(QFile::encodeName(dir).constData(), &b) == 0 &&
        a.st_dev != b.st_dev && ::access("/dev/shm", W_OK) == 0) {
        QTemporaryDir shm("/dev/shm/kz-update-XXXXXX");
        QTemporaryDir other;
        const QString to = other.path() + '/';
        EXPECT_TRUE(DownloadPackage(*session, server.Url("/bytes/70000"), shm.path(), to));
        EXPECT_EQ(ReadFile(to + "duvez.zip"), PatternBytes(0, 70000));
        EXPECT_TRUE(QDir(shm.path()).isEmpty());
        EXPECT_EQ(
            QDir(other.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"duvez.zip"});
    }
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
    EXPECT_TRUE(QDir(site.program.path()).isEmpty());

    ASSERT_TRUE(WriteFile(site.ProgramDir() + kPackagedMarker, ""));
    EXPECT_FALSE(ProgramDirTakesUpdates(site.ProgramDir()));
    EXPECT_FALSE(site.Check());
    EXPECT_FALSE(QFile::exists(site.Package()));
    EXPECT_FALSE(ProgramDirTakesUpdates(site.ProgramDir() + "missing/"));
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
