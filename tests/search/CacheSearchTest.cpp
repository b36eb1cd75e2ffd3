// The cache search and the clean-up over a cache filled through the cache's own downloads from
// a loopback server.

#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"
#include "search/LocalSearch.h"
#include "support/FolderServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

constexpr qsizetype kLimit = 2048;

class CacheSearch : public testing::Test {
protected:
    void SetUp() override {
        ClearProxyEnvironment();
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.path() + "/site/";
        ASSERT_TRUE(WriteFile(m_site + "big.swf", MovieOfSize(kLimit + 10)));
        ASSERT_TRUE(WriteFile(m_site + "LOUD.SWF", MovieOfSize(kLimit)));
        ASSERT_TRUE(WriteFile(m_site + "small.swf", MovieOfSize(kLimit - 1)));
        ASSERT_TRUE(WriteFile(m_site + "fake.swf", QByteArray(kLimit * 2, 'f')));
        ASSERT_TRUE(WriteFile(m_site + "movie.bin", MovieOfSize(kLimit * 2)));
        ASSERT_TRUE(WriteFile(m_site + "page.html", QByteArray(kLimit * 2, 'h')));
        m_cache = std::make_unique<UrlCache>(m_dir.path() + "/cache/");
        FolderServer server(m_site);
        HttpOptions options;
        options.connectTimeoutMs = 10000;
        options.readTimeoutMs = 10000;
        auto session = CreateHttpSession(options);
        for (const char *name :
             {"big.swf", "page.html", "LOUD.SWF", "small.swf", "fake.swf", "movie.bin"}) {
            const auto entry = m_cache->Download(QUrl(server.Url(name)), *session);
            ASSERT_TRUE(entry) << name;
            m_local[name] = entry->localFile;
        }
    }
    QStringList Hits(std::int64_t minBytes = kLimit) const {
        QStringList hits;
        EXPECT_TRUE(SearchUrlCache(*m_cache, minBytes, nullptr,
                                   [&](const MovieHit &hit) { hits << hit.path; }));
        return hits;
    }

    QTemporaryDir m_dir;
    QString m_site;
    std::unique_ptr<UrlCache> m_cache;
    QMap<QString, QString> m_local;
};

} // namespace

TEST_F(CacheSearch, FindsQualifyingMoviesByLocalFile) {
    // In the cache's order; the extension in capitals counts; the short movie, the text named
    // like a movie and the movie without the extension do not.
    EXPECT_EQ(Hits(), (QStringList{m_local["big.swf"], m_local["LOUD.SWF"]}));
    EXPECT_EQ(Hits(0),
              (QStringList{m_local["big.swf"], m_local["LOUD.SWF"], m_local["small.swf"]}));
    for (const QString &path : Hits())
        EXPECT_TRUE(path.startsWith(m_cache->Folder()));

    // A stop before the first entry ends the search with nothing.
    std::atomic<bool> stop{true};
    int hits = 0;
    EXPECT_TRUE(SearchUrlCache(*m_cache, 0, &stop, [&](const MovieHit &) { ++hits; }));
    EXPECT_EQ(hits, 0);
}

TEST_F(CacheSearch, LinksPlantedInTheCacheAreNeitherReadNorFollowedWhenDeleting) {
    // Someone swaps a cached movie for a link to a movie of theirs elsewhere.
    const QString outside = m_dir.path() + "/precious.swf";
    ASSERT_TRUE(WriteFile(outside, MovieOfSize(kLimit * 3)));
    ASSERT_TRUE(QFile::remove(m_local["big.swf"]));
    ASSERT_TRUE(QFile::link(outside, m_local["big.swf"]));
    EXPECT_EQ(Hits(), QStringList{m_local["LOUD.SWF"]});

    EXPECT_EQ(CleanUrlCache(*m_cache), 4); // the link, LOUD.SWF, small.swf, fake.swf
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo(m_local["big.swf"]).isSymLink());
}

TEST(CacheSearchEmpty, ACacheNeverUsedHasNothingAndFailsNothing) {
    QTemporaryDir dir;
    UrlCache cache(dir.path() + "/never/");
    int hits = 0;
    EXPECT_TRUE(SearchUrlCache(cache, 0, nullptr, [&](const MovieHit &) { ++hits; }));
    EXPECT_EQ(hits, 0);
    EXPECT_EQ(CleanUrlCache(cache), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/never"));
}

TEST_F(CacheSearch, CleanUpDeletesMovieFilesAndKeepsEntries) {
    const int entriesBefore = int(m_cache->Entries().size());
    EXPECT_EQ(CleanUrlCache(*m_cache), 4);
    for (const char *name : {"big.swf", "LOUD.SWF", "small.swf", "fake.swf"})
        EXPECT_FALSE(QFileInfo::exists(m_local[name])) << name;
    for (const char *name : {"movie.bin", "page.html"})
        EXPECT_TRUE(QFileInfo::exists(m_local[name])) << name;
    EXPECT_EQ(m_cache->Entries().size(), entriesBefore);
    EXPECT_TRUE(Hits(0).isEmpty());
    // A second clean-up finds nothing left to delete; the cache still downloads.
    EXPECT_EQ(CleanUrlCache(*m_cache), 0);
    EXPECT_TRUE(QFileInfo::exists(m_cache->Folder() + ".index"));
}
