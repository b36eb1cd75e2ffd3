// The capture command's steps with a stand-in screen: clipping, the clipboard, the folder, the
// files; and the movie's local file for mail and save as, a web movie's from a real URL cache.

#include "capture/FrameCapture.h"
#include "capture/MovieMail.h"
#include "platform/Paths.h"
#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;

namespace {

// A 1280x1024 screen whose pixels encode their position; it records what is asked of it.
struct FakeScreen {
    QList<QRect> grabbed;
    QList<QSize> clipboard;
    CaptureScreen Make(int depth = 24) {
        CaptureScreen s;
        s.geometry = QRect(0, 0, 1280, 1024);
        s.depth = depth;
        s.grab = [this](const QRect &area) {
            grabbed << area;
            QImage img(area.size(), QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    img.setPixel(x, y, qRgb((area.x() + x) % 256, (area.y() + y) % 256, 90));
            return img;
        };
        s.setClipboard = [this](const QImage &img) { clipboard << img.size(); };
        return s;
    }
};

// The permission bits, not through a link.
int ModeOf(const QString &path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

FrameSettings Settings(const QString &folder) {
    FrameSettings s;
    s.m_strSavedDirectory = folder;
    s.m_bSavedInClipboard = 0;
    s.m_bSavedInFile = 1;
    s.m_bBmpFormat = 1;
    return s;
}

} // namespace

TEST(FrameCapture, ClipsTheControlToTheScreen) {
    EXPECT_EQ(ClipToScreen(QRect(10, 20, 300, 200), QRect(0, 0, 1280, 1024)),
              QRect(10, 20, 300, 200));
    EXPECT_EQ(ClipToScreen(QRect(-5, -8, 300, 200), QRect(0, 0, 1280, 1024)),
              QRect(0, 0, 295, 192));
    EXPECT_EQ(ClipToScreen(QRect(1200, 1000, 300, 200), QRect(0, 0, 1280, 1024)),
              QRect(1200, 1000, 80, 24));
    // Nothing of it on the screen: nothing at all (not the whole screen).
    EXPECT_TRUE(ClipToScreen(QRect(2000, 10, 300, 200), QRect(0, 0, 1280, 1024)).isEmpty());
    EXPECT_TRUE(ClipToScreen(QRect(10, 10, 0, 200), QRect(0, 0, 1280, 1024)).isEmpty());
}

TEST(FrameCapture, FilesClipboardAndFolder) {
    QTemporaryDir dir;
    FakeScreen screen;
    const QString folder = dir.filePath("deep/er/shots");
    FrameSettings s = Settings(folder);
    s.m_bSavedInClipboard = 1;
    s.m_bPngFormat = 1;
    const CaptureOutcome a =
        CaptureFrame("/movies/a.swf", QRect(1100, 900, 300, 200), s, screen.Make());
    ASSERT_EQ(screen.grabbed, QList<QRect>{QRect(1100, 900, 180, 124)});
    EXPECT_EQ(screen.clipboard, QList<QSize>{QSize(180, 124)});
    EXPECT_EQ(a.counter, 0);
    EXPECT_EQ(a.files, (QStringList{folder + "/a.swf_0.bmp", folder + "/a.swf_0.png"}));
    // The BMP holds the grabbed pixels at the screen's depth.
    const QImage back(folder + "/a.swf_0.bmp");
    EXPECT_EQ(back.size(), QSize(180, 124));
    EXPECT_EQ(back.pixel(0, 0), qRgb(1100 % 256, 900 % 256, 90));
    EXPECT_EQ(test::ReadFile(folder + "/a.swf_0.bmp").mid(28, 2), QByteArray("\x18\x00", 2));
    const CaptureOutcome b = CaptureFrame("/movies/a.swf", QRect(0, 0, 64, 48), s, screen.Make(32));
    EXPECT_EQ(b.counter, 1);
    EXPECT_EQ(test::ReadFile(folder + "/a.swf_1.bmp").mid(28, 2), QByteArray("\x20\x00", 2));

    // Clipboard only: the folder is still made, no files.
    QTemporaryDir dir2;
    FrameSettings clip = Settings(dir2.filePath("made"));
    clip.m_bSavedInClipboard = 1;
    clip.m_bSavedInFile = 0;
    const CaptureOutcome c = CaptureFrame("x.swf", QRect(0, 0, 10, 10), clip, screen.Make());
    EXPECT_TRUE(QDir(dir2.filePath("made")).exists());
    EXPECT_TRUE(QDir(dir2.filePath("made")).isEmpty());
    EXPECT_EQ(c.counter, -1);
    EXPECT_EQ(screen.clipboard.size(), 3);
}

TEST(FrameCapture, NothingWithoutAMovieOrAScreenAreaOrAFolder) {
    QTemporaryDir dir;
    FakeScreen screen;
    FrameSettings s = Settings(dir.path());
    s.m_bSavedInClipboard = 1;
    EXPECT_TRUE(CaptureFrame("", QRect(0, 0, 10, 10), s, screen.Make()).image.isNull());
    EXPECT_TRUE(CaptureFrame("a.swf", QRect(5000, 0, 10, 10), s, screen.Make()).image.isNull());
    EXPECT_TRUE(screen.grabbed.isEmpty());
    EXPECT_TRUE(screen.clipboard.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // A web movie is named by its address's last part.
    const CaptureOutcome web =
        CaptureFrame("http://127.0.0.1:8/f/w.swf", QRect(0, 0, 10, 10), s, screen.Make());
    EXPECT_EQ(web.files, QStringList{dir.filePath("w.swf_0.bmp")});
    // No folder: the clipboard copy, but no files at the file system's root.
    s.m_strSavedDirectory.clear();
    const CaptureOutcome none = CaptureFrame("a.swf", QRect(0, 0, 10, 10), s, screen.Make());
    EXPECT_FALSE(none.image.isNull());
    EXPECT_TRUE(none.files.isEmpty());
    EXPECT_EQ(screen.clipboard.size(), 2);
}

TEST(MovieMail, LocalFileOfALocalAndOfAWebMovie) {
    QTemporaryDir dir;
    UrlCache cache(dir.filePath("cache/"));
    EXPECT_EQ(MovieLocalFile("/m/a.swf", false, cache), QString("/m/a.swf"));
    EXPECT_EQ(MovieLocalFile("", false, cache), std::nullopt);
    ASSERT_TRUE(test::SharedServer().Running());
    const QUrl url = test::SharedServer().Url("/name/movie.swf");
    EXPECT_EQ(MovieLocalFile(url.toString(), true, cache), std::nullopt) << "not in the cache";
    HttpOptions options;
    options.connectTimeoutMs = options.readTimeoutMs = 10000;
    auto session = CreateHttpSession(options);
    const auto entry = cache.Download(url, *session);
    ASSERT_TRUE(entry.has_value());
    const auto found = MovieLocalFile(url.toString(), true, cache);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, entry->localFile);
    EXPECT_TRUE(found->startsWith(dir.filePath("cache/")));
    EXPECT_EQ(test::ReadFile(*found), test::PatternBytes(0, 100));
    // The cached file deleted since: nothing to hand over.
    QFile::remove(entry->localFile);
    EXPECT_EQ(MovieLocalFile(url.toString(), true, cache), std::nullopt);
}

TEST(MovieMail, TheMailProgramGetsTheFileOrIsMissing) {
    QStringList started;
    MailServices s;
    s.findProgram = [](const QString &name) { return "/opt/bin/" + name; };
    s.startDetached = [&](const QString &program, const QStringList &args) {
        started << program + " " + args.join(' ');
        return true;
    };
    EXPECT_EQ(SendFileByMail("/m/a b.swf", s), MailResult::Started);
    EXPECT_EQ(started, QStringList{"/opt/bin/xdg-email --attach /m/a b.swf"});
    s.startDetached = [](const QString &, const QStringList &) { return false; };
    EXPECT_EQ(SendFileByMail("/m/a.swf", s), MailResult::StartFailed);
    s.findProgram = [](const QString &) { return QString(); };
    EXPECT_EQ(SendFileByMail("/m/a.swf", s), MailResult::NoMailProgram);
}

TEST(MovieMail, AttachmentNamesKeepOnlyLettersDigitsCjkAndDashUnderscoreDot) {
    const struct {
        QString movie;
        QString name;
    } cases[] = {
        {"http://h/d/it's%20a%20%22game%22%60$(x)%60.swf", "itsagamex.swf"},
        {QStringLiteral("http://h/动画（一）_v-2.SWF?x=1"), QStringLiteral("动画一_v-2.SWF")},
        {QStringLiteral("http://h/%E3%81%8B%E3%83%8A%ED%95%9C.swf"), QStringLiteral("かナ한.swf")},
        {"http://h/..%2F..%2Fetc.swf", "etc.swf"},
        {"http://h/play.php?id=3", "play.php.swf"},
        {"http://h/$$$.swf", "movie.swf"},
        {"http://h/", "movie.swf"},
        {"/home/u/a$b'c.swf", "abc.swf"},
        {"http://h/" + QString(300, u'x') + ".swf", QString(196, u'x') + ".swf"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CleanAttachmentName(c.movie), c.name) << c.movie.toStdString();
}

// A web movie goes as a copy with a clean name in the private temporary folder, never as the
// cache's file named after the remote address; a local file only when its path is unsafe.
TEST(MovieMail, AWebMovieIsAttachedAsACleanCopy) {
    QTemporaryDir dir;
    UrlCache cache(dir.filePath("cache/"));
    ASSERT_TRUE(test::SharedServer().Running());
    const QUrl url = test::SharedServer().Url("/name/a'b%22c%60$(d).swf");
    auto session = CreateHttpSession();
    const auto entry = cache.Download(url, *session);
    ASSERT_TRUE(entry.has_value());
    ASSERT_TRUE(entry->localFile.contains('$'));

    const QString mail = TempFolder() + "mail/";
    const QString copy = MailAttachment(url.toString(), entry->localFile, true);
    EXPECT_EQ(copy, mail + "abcd.swf");
    EXPECT_EQ(test::ReadFile(copy), test::ReadFile(entry->localFile));
    EXPECT_EQ(ModeOf(copy), 0600);
    EXPECT_EQ(ModeOf(mail), 0700);
    // A later mail of the same name replaces the copy.
    ASSERT_TRUE(test::WriteFile(entry->localFile, "newer"));
    EXPECT_EQ(MailAttachment(url.toString(), entry->localFile, true), copy);
    EXPECT_EQ(test::ReadFile(copy), "newer");

    const QString safe = dir.filePath("my movie.swf");
    const QString unsafe = dir.filePath("it's $HOME.swf");
    ASSERT_TRUE(test::WriteFile(safe, "safe"));
    ASSERT_TRUE(test::WriteFile(unsafe, "unsafe"));
    EXPECT_EQ(MailAttachment(safe, safe, false), safe);
    EXPECT_EQ(MailAttachment(unsafe, unsafe, false), mail + "itsHOME.swf");
    EXPECT_EQ(test::ReadFile(mail + "itsHOME.swf"), "unsafe");
    EXPECT_TRUE(MailAttachment(url.toString(), dir.filePath("gone.swf"), true).isEmpty());
}
