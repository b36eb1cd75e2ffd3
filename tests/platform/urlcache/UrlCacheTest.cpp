#include "platform/urlcache/UrlCache.h"

#include "platform/http/HttpClient.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kz;
using kz::test::PatternBytes;
using kz::test::ReadFile;
using kz::test::SharedServer;
using kz::test::WriteFile;

namespace {

QUrl At(const QString &path) {
    return SharedServer().Url(path);
}

class UrlCacheTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SharedServer().Running());
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QStringLiteral("/cache/");
        m_session = CreateHttpSession(Options());
    }
    // Generous time-outs for a loaded machine; the stall cases use a session of their own.
    static HttpOptions Options() {
        HttpOptions options;
        options.connectTimeoutMs = 10000;
        options.readTimeoutMs = 10000;
        return options;
    }
    static HttpOptions ShortOptions() {
        HttpOptions options;
        options.connectTimeoutMs = 1000;
        options.readTimeoutMs = 1000;
        return options;
    }
    // Every file in the cache folder, the folder's own dot files included.
    QStringList FolderFiles() const {
        return QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QStringList CachedNames() const {
        QStringList names;
        for (const QString &name : FolderFiles()) {
            if (!name.startsWith(u'.'))
                names << name;
        }
        return names;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<HttpSession> m_session;
};

} // namespace

TEST_F(UrlCacheTest, DownloadRecordsAndLooksUp) {
    UrlCache cache(m_folder);
    EXPECT_EQ(cache.Folder(), m_folder);
    EXPECT_TRUE(cache.Entries().isEmpty());
    EXPECT_FALSE(cache.Lookup(At("/bytes/5000")));

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    auto entry = cache.Download(At("/bytes/5000"), *m_session);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->url, At("/bytes/5000"));
    EXPECT_EQ(entry->localFile, m_folder + "5000");
    EXPECT_EQ(entry->size, 5000);
    EXPECT_GE(entry->fetched, before);
    EXPECT_EQ(ReadFile(entry->localFile), PatternBytes(0, 5000));

    // A fresh object over the same folder (another thread or process) sees the same.
    UrlCache other(m_folder.chopped(1)); // without the trailing separator
    EXPECT_EQ(other.Folder(), m_folder);
    auto found = other.Lookup(At("/bytes/5000"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->localFile, entry->localFile);
    EXPECT_EQ(found->size, 5000);
    EXPECT_EQ(found->fetched.toMSecsSinceEpoch(), entry->fetched.toMSecsSinceEpoch());
    // The fragment never reaches the server, so it does not tell entries apart.
    EXPECT_TRUE(other.Lookup(At("/bytes/5000#frag")));
    EXPECT_FALSE(other.Lookup(At("/bytes/5001")));
    ASSERT_EQ(other.Entries().size(), 1);
    EXPECT_EQ(CachedNames(), QStringList{"5000"});
}

TEST_F(UrlCacheTest, NamesKeepTheFileNameAndTakeSuffixesOnCollision) {
    UrlCache cache(m_folder);
    auto a = cache.Download(At("/name/one/movie.swf"), *m_session);
    auto b = cache.Download(At("/name/two/movie.swf"), *m_session);
    auto c = cache.Download(At("/name/three/movie.swf?x=1"), *m_session);
    auto d = cache.Download(At("/name/four/Movie.SWF"), *m_session);
    auto e = cache.Download(At("/name/five/noext"), *m_session);
    auto f = cache.Download(At("/name/six/"), *m_session);
    ASSERT_TRUE(a && b && c && d && e && f);
    EXPECT_EQ(QFileInfo(a->localFile).fileName(), "movie.swf");
    EXPECT_EQ(QFileInfo(b->localFile).fileName(), "movie[1].swf");
    EXPECT_EQ(QFileInfo(c->localFile).fileName(), "movie[2].swf");
    EXPECT_EQ(QFileInfo(d->localFile).fileName(), "Movie.SWF");
    EXPECT_EQ(QFileInfo(e->localFile).fileName(), "noext");
    EXPECT_EQ(QFileInfo(f->localFile).fileName(), "download");

    // The same address again replaces its entry under the same name and becomes the newest.
    auto again = cache.Download(At("/name/one/movie.swf"), *m_session);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->localFile, a->localFile);
    const QList<UrlCacheEntry> entries = cache.Entries();
    ASSERT_EQ(entries.size(), 6);
    EXPECT_EQ(entries.front().url, At("/name/two/movie.swf"));
    EXPECT_EQ(entries.back().url, At("/name/one/movie.swf"));
    EXPECT_EQ(CachedNames().size(), 6);

    // A name whose file was deleted stays taken: the old entry must not end up naming another
    // address's body.
    ASSERT_TRUE(cache.DeleteEntryFile(*b));
    auto g = cache.Download(At("/name/seven/movie.swf"), *m_session);
    ASSERT_TRUE(g);
    EXPECT_EQ(QFileInfo(g->localFile).fileName(), "movie[3].swf");
}

TEST_F(UrlCacheTest, NamesFollowTheRedirectTarget) {
    UrlCache cache(m_folder);
    auto entry = cache.Download(At("/redirect/302?to=/name/real.swf"), *m_session);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->url, At("/redirect/302?to=/name/real.swf"));
    EXPECT_EQ(QFileInfo(entry->localFile).fileName(), "real.swf");
    EXPECT_TRUE(cache.Lookup(At("/redirect/302?to=/name/real.swf")));
}

TEST_F(UrlCacheTest, HostileNamesStayInsideTheFolder) {
    UrlCache cache(m_folder);
    const char *paths[] = {"/name/..%2F..%2Fescape.swf",
                           "/name/...",
                           "/name/.hidden.swf",
                           "/name/a%5Cb%5C..%5Cc.swf",
                           "/name/line%0Abreak.swf",
                           "/name/%00nul.swf",
                           "/name/.index",
                           "/name/.index.lock"};
    QSet<QString> names;
    for (const char *path : paths) {
        auto entry = cache.Download(At(QString::fromLatin1(path)), *m_session);
        ASSERT_TRUE(entry) << path;
        const QFileInfo info(entry->localFile);
        EXPECT_EQ(info.absolutePath() + u'/', QFileInfo(m_folder).absoluteFilePath()) << path;
        EXPECT_FALSE(info.fileName().startsWith(u'.')) << path;
        EXPECT_FALSE(info.fileName().contains(u'\n')) << path;
        EXPECT_EQ(ReadFile(entry->localFile), PatternBytes(0, 100)) << path;
        names.insert(info.fileName());
    }
    EXPECT_EQ(names.size(), qsizetype(std::size(paths)));
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + "/escape.swf"));
    EXPECT_EQ(cache.Entries().size(), qsizetype(std::size(paths)));

    // A very long name is cut but keeps its extension.
    auto longName = cache.Download(At("/name/" + QString(400, u'x') + ".swf"), *m_session);
    ASSERT_TRUE(longName);
    const QString name = QFileInfo(longName->localFile).fileName();
    EXPECT_TRUE(name.endsWith(".swf"));
    EXPECT_LE(name.toUtf8().size(), 255);
}

TEST_F(UrlCacheTest, ProgressRisesToTheTotal) {
    UrlCache cache(m_folder);
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    auto record = [&calls](std::int64_t received, std::int64_t total) {
        calls.emplace_back(received, total);
        return true;
    };
    auto entry = cache.Download(At("/slow/800000"), *m_session, record);
    ASSERT_TRUE(entry);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().first, 0);
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GT(calls[i].first, calls[i - 1].first);
        EXPECT_EQ(calls[i].second, 800000);
    }
    EXPECT_EQ(calls.back().first, 800000);
    EXPECT_EQ(ReadFile(entry->localFile), PatternBytes(0, 800000));

    calls.clear();
    auto unknown = cache.Download(At("/nolength/200000"), *m_session, record);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->size, 200000);
    EXPECT_EQ(calls.back(), std::make_pair(std::int64_t(200000), std::int64_t(-1)));
}

TEST_F(UrlCacheTest, FailuresLeaveNoFileAndNoEntry) {
    UrlCache cache(m_folder);
    ASSERT_TRUE(cache.Download(At("/name/kept.swf"), *m_session));
    const QStringList filesBefore = FolderFiles();

    auto cancelHalfway = [](std::int64_t received, std::int64_t) { return received < 300000; };
    struct Case {
        QString path;
        UrlCache::Progress progress;
        std::int64_t maxBytes;
    };
    const std::vector<Case> cases = {
        {"/status/404", {}, 1 << 20},
        {"/status/500", {}, 1 << 20},
        {"/bytes/600000", cancelHalfway, 1 << 20},
        {"/bytes/600000", {}, 599999},    // declared beyond the limit
        {"/nolength/600000", {}, 599999}, // found beyond the limit while streaming
        {"/truncated/600000", {}, 1 << 20},
        {"/stall-body/300000", {}, 1 << 20},
        {"/stall-headers", {}, 1 << 20},
        {"/chain/9", {}, 1 << 20},
    };
    auto impatient = CreateHttpSession(ShortOptions());
    for (const Case &c : cases) {
        EXPECT_FALSE(cache.Download(At(c.path), *impatient, c.progress, c.maxBytes))
            << c.path.toStdString();
        EXPECT_FALSE(cache.Lookup(At(c.path))) << c.path.toStdString();
        EXPECT_EQ(FolderFiles(), filesBefore) << c.path.toStdString();
    }
    // Just at the limit is fine.
    EXPECT_TRUE(cache.Download(At("/nolength/600000"), *m_session, {}, 600000));

    // A failed refresh of a cached address keeps the copy it had.
    auto kept = cache.Lookup(At("/name/kept.swf"));
    ASSERT_TRUE(kept);
    EXPECT_FALSE(cache.Download(At("/name/kept.swf"), *m_session, {}, 10));
    EXPECT_EQ(ReadFile(kept->localFile), PatternBytes(0, 100));
    EXPECT_EQ(cache.Lookup(At("/name/kept.swf"))->size, 100);
}

TEST_F(UrlCacheTest, DeleteEntryFileKeepsTheEntryAndStaysInTheFolder) {
    UrlCache cache(m_folder);
    auto entry = cache.Download(At("/name/gone.swf"), *m_session);
    ASSERT_TRUE(entry);
    EXPECT_TRUE(cache.DeleteEntryFile(*entry));
    EXPECT_FALSE(QFileInfo::exists(entry->localFile));
    EXPECT_FALSE(cache.DeleteEntryFile(*entry)); // nothing left to delete
    auto still = cache.Lookup(At("/name/gone.swf"));
    ASSERT_TRUE(still);
    EXPECT_EQ(still->localFile, entry->localFile);
    EXPECT_EQ(cache.Entries().size(), 1);

    // Entries made up by a caller cannot reach files elsewhere or the folder's own files.
    const QString outside = m_dir.path() + "/precious.swf";
    ASSERT_TRUE(WriteFile(outside, "keep"));
    for (const QString &path : {outside, m_folder + "../precious.swf", m_folder + ".index",
                                m_folder + "sub/../../precious.swf", QString()}) {
        UrlCacheEntry forged = *entry;
        forged.localFile = path;
        EXPECT_FALSE(cache.DeleteEntryFile(forged)) << path.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo::exists(m_folder + ".index"));
}

TEST_F(UrlCacheTest, DamagedIndexReadsAsEmptyAndKeepsFiles) {
    UrlCache cache(m_folder);
    auto first = cache.Download(At("/name/first.swf"), *m_session);
    ASSERT_TRUE(first);

    ASSERT_TRUE(WriteFile(m_folder + ".index", QByteArray("\x00\xff garbage\n\t\t\t", 15)));
    EXPECT_TRUE(cache.Entries().isEmpty());
    EXPECT_FALSE(cache.Lookup(At("/name/first.swf")));
    EXPECT_TRUE(QFileInfo::exists(first->localFile));

    // Downloading again rebuilds the index; the orphaned file's name is not reused.
    auto second = cache.Download(At("/name/first.swf"), *m_session);
    ASSERT_TRUE(second);
    EXPECT_EQ(QFileInfo(second->localFile).fileName(), "first[1].swf");
    EXPECT_EQ(cache.Entries().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(first->localFile));
    // The damaged index is set aside, not thrown away.
    EXPECT_EQ(ReadFile(m_folder + ".index.damaged"), QByteArray("\x00\xff garbage\n\t\t\t", 15));
}

TEST_F(UrlCacheTest, UnreadableIndexIsNeverOverwritten) {
    UrlCache cache(m_folder);
    ASSERT_TRUE(QDir().mkpath(m_folder + ".index")); // cannot be opened as a file
    EXPECT_FALSE(cache.Download(At("/name/a.swf"), *m_session));
    EXPECT_TRUE(QFileInfo(m_folder + ".index").isDir());
    EXPECT_TRUE(CachedNames().isEmpty());
    EXPECT_TRUE(cache.Entries().isEmpty());
}

TEST_F(UrlCacheTest, IndexLockIsHonouredAndStaleLocksAreTakenOver) {
    UrlCache cache(m_folder);
    ASSERT_TRUE(cache.Download(At("/name/first.swf"), *m_session));

    // Another process holds the lock: the download waits for it rather than racing.
    auto held = std::make_unique<QLockFile>(m_folder + ".index.lock");
    ASSERT_TRUE(held->tryLock(0));
    std::atomic<bool> done{false};
    std::optional<UrlCacheEntry> result;
    std::thread worker([&] {
        auto session = CreateHttpSession(Options());
        result = cache.Download(At("/name/second.swf"), *session);
        done = true;
    });
    QThread::msleep(600);
    EXPECT_FALSE(done.load());
    EXPECT_EQ(cache.Entries().size(), 1);
    held.reset();
    worker.join();
    ASSERT_TRUE(result);
    EXPECT_EQ(cache.Entries().size(), 2);

    // A lock left by a process that is gone does not block the cache.
    ASSERT_TRUE(WriteFile(m_folder + ".index.lock",
                          "2147483000\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                              QSysInfo::machineHostName().toUtf8() + "\n"));
    EXPECT_TRUE(cache.Download(At("/name/third.swf"), *m_session));
    EXPECT_EQ(cache.Entries().size(), 3);
}

TEST_F(UrlCacheTest, PlantedIndexLinesAreRefusedOneByOne) {
    UrlCache cache(m_folder);
    ASSERT_TRUE(cache.Download(At("/name/real.swf"), *m_session));
    QByteArray index = ReadFile(m_folder + ".index");
    ASSERT_TRUE(index.startsWith("KZURLCACHE 1\n"));
    const QByteArray url = At("/x").toEncoded();
    index += "1\t5\t..%2F..%2Fetc%2Fpasswd\t" + url + "\n"; // escapes the folder
    index += "1\t5\t.index\t" + url + "\n";                 // the folder's own file
    index += "1\t-5\tneg.swf\t" + url + "\n";               // negative size
    index += "x\t5\tbad.swf\t" + url + "\n";                // bad time
    index += "1\t5\tbad.swf\tnot a url\n";                  // bad address
    index += "1\t5\ttoo\tmany\tfields\n";
    index += "1\t5\tok%20name.swf\t" + At("/ok").toEncoded() + "\n";
    ASSERT_TRUE(WriteFile(m_folder + ".index", index));

    const QList<UrlCacheEntry> entries = cache.Entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].url, At("/name/real.swf"));
    EXPECT_EQ(entries[1].localFile, m_folder + "ok name.swf");
    EXPECT_EQ(entries[1].fetched.toMSecsSinceEpoch(), 1);
}

TEST_F(UrlCacheTest, ConcurrentDownloadsKeepEveryEntry) {
    // Threads with their own sessions and cache objects, colliding on names and addresses.
    constexpr int kThreads = 4;
    constexpr int kPerThread = 6;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &failures] {
            auto session = CreateHttpSession(Options());
            UrlCache cache(m_folder);
            for (int i = 0; i < kPerThread; ++i) {
                const QUrl url = At(QStringLiteral("/name/t%1/i%2/clip.swf").arg(t).arg(i));
                if (!cache.Download(url, *session))
                    ++failures;
                if (!cache.Download(At("/name/shared/clip.swf"), *session))
                    ++failures;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);

    UrlCache cache(m_folder);
    const QList<UrlCacheEntry> entries = cache.Entries();
    EXPECT_EQ(entries.size(), kThreads * kPerThread + 1);
    QSet<QString> files;
    for (const UrlCacheEntry &entry : entries) {
        files.insert(entry.localFile);
        EXPECT_EQ(ReadFile(entry.localFile), PatternBytes(0, 100));
    }
    EXPECT_EQ(files.size(), entries.size());
    EXPECT_EQ(CachedNames().size(), entries.size()); // no strays, no partial files
    EXPECT_EQ(FolderFiles().filter(".dl-").size(), 0);
}

// Beyond the quota the oldest entries go first (file and entry), but never the one just
// downloaded nor one held (the movie in play), in this cache object or any other of the process.
TEST_F(UrlCacheTest, QuotaEvictsTheOldestButNeverTheNewOrAHeldEntry) {
    UrlCache cache(m_folder);
    EXPECT_EQ(cache.Quota(), std::int64_t(1) << 30);
    cache.SetQuota(25000);
    const auto get = [&](const char *name) {
        auto entry = cache.Download(At(QStringLiteral("/name/%1/%1.swf").arg(name)), *m_session);
        EXPECT_TRUE(entry) << name;
        return entry ? entry->localFile : QString();
    };
    const auto urls = [&] {
        QStringList out;
        for (const UrlCacheEntry &e : UrlCache(m_folder).Entries())
            out << e.url.path().section(u'/', 2, 2);
        return out;
    };
    cache.SetQuota(250); // files of 100 bytes: two fit, a third does not
    get("a");
    get("b");
    EXPECT_EQ(urls(), (QStringList{"a", "b"}));
    {
        const UrlCache::Hold playing(At("/name/a/a.swf"));
        EXPECT_TRUE(UrlCache::IsHeld(At("/name/a/a.swf#x")));
        get("c"); // a is held: b goes
        EXPECT_EQ(urls(), (QStringList{"a", "c"}));
        UrlCache other(m_folder);
        other.SetQuota(250);
        ASSERT_TRUE(other.Download(At("/name/d/d.swf"), *m_session));
        EXPECT_EQ(urls(), (QStringList{"a", "d"})) << "the hold is the process's";
    }
    EXPECT_FALSE(UrlCache::IsHeld(At("/name/a/a.swf")));
    get("e"); // nothing held: the oldest, a, goes
    EXPECT_EQ(urls(), (QStringList{"d", "e"}));
    EXPECT_EQ(CachedNames(), (QStringList{"d.swf", "e.swf"}));
    // Fetching an address again makes it the newest.
    get("d");
    get("f");
    EXPECT_EQ(urls(), (QStringList{"d", "f"}));
    // An entry whose file the clean-up deleted takes no room and stays.
    ASSERT_TRUE(cache.DeleteEntryFile(*cache.Lookup(At("/name/d/d.swf"))));
    get("g");
    get("h");
    EXPECT_EQ(urls(), (QStringList{"d", "g", "h"}));
    // A download larger than the whole quota is still kept: it is the one about to play.
    cache.SetQuota(50);
    get("i");
    EXPECT_EQ(urls(), (QStringList{"d", "i"}));
    EXPECT_EQ(CachedNames(), QStringList{"i.swf"});
}

TEST(UrlCacheFolderTest, DefaultFolderFollowsTheCacheHome) {
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/some/where");
    EXPECT_EQ(UrlCache::DefaultFolder(), "/some/where/KZPlayer/urlcache/");
    qputenv("XDG_CACHE_HOME", "relative/ignored");
    EXPECT_EQ(UrlCache::DefaultFolder(), QDir::homePath() + "/.cache/KZPlayer/urlcache/");
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(UrlCache::DefaultFolder(), QDir::homePath() + "/.cache/KZPlayer/urlcache/");
    if (!saved.isEmpty())
        qputenv("XDG_CACHE_HOME", saved);
}

TEST(UrlCacheFolderTest, MissingFolderReadsAsEmpty) {
    QTemporaryDir dir;
    UrlCache cache(dir.path() + "/not/made/yet");
    EXPECT_TRUE(cache.Entries().isEmpty());
    EXPECT_FALSE(cache.Lookup(QUrl("http://127.0.0.1/a.swf")));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/not"));
}

// The cache tells every address the user played: its folder, files and index are the user's
// alone, also when an older version left the folder open to all.
TEST_F(UrlCacheTest, TheCacheIsTheUsersAlone) {
    const auto mode = [](const QString &path) {
        struct stat st;
        return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    ASSERT_TRUE(QDir().mkpath(m_folder));
    ASSERT_TRUE(WriteFile(m_folder + "old.swf", "old"));
    chmod(QFile::encodeName(m_folder).constData(), 0755);
    UrlCache cache(m_folder);
    auto entry = cache.Download(At("/bytes/100"), *m_session);
    ASSERT_TRUE(entry);
    EXPECT_EQ(mode(m_folder), 0700);
    EXPECT_EQ(mode(entry->localFile), 0600);
    EXPECT_EQ(mode(m_folder + ".index"), 0600);
    ASSERT_TRUE(cache.Download(At("/bytes/200"), *m_session));
    EXPECT_EQ(mode(cache.Lookup(At("/bytes/200"))->localFile), 0600);
}
