#pragma once
// The per-user cache of files downloaded from the web: a folder with an index. Movies played
// from the web land here (so load progress is real), the cache search looks through it and the
// cache clean-up deletes its movie files. Local names keep the address's file name, with a
// "[n]" suffix on a collision. Safe to use from several threads and processes at once.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

namespace kz {

class HttpSession;

struct UrlCacheEntry {
    QUrl url;
    QString localFile; // full path; the file may have been deleted since
    std::int64_t size = 0;
    QDateTime fetched;
};

class UrlCache {
public:
    // The default folder: $XDG_CACHE_HOME (else ~/.cache) + "/KZPlayer/urlcache/".
    static QString DefaultFolder();
    explicit UrlCache(QString folder = DefaultFolder());

    QString Folder() const { return m_folder; }

    // The most the entries' files may hold together. When a download would go beyond it, the
    // oldest entries are evicted (file and entry) until it fits, never the new one nor one held.
    static constexpr std::int64_t kDefaultQuotaBytes = std::int64_t(1) << 30;
    void SetQuota(std::int64_t bytes) { m_quota = bytes; }
    std::int64_t Quota() const { return m_quota; }

    // While a hold lives, the entry of its address is not evicted by any cache of this process:
    // the movie being played.
    class Hold {
    public:
        explicit Hold(const QUrl &url);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        QByteArray m_key;
    };
    static bool IsHeld(const QUrl &url);

    // Called as bytes arrive (received, total or -1); returning false cancels the download.
    using Progress = std::function<bool(std::int64_t received, std::int64_t total)>;

    // Downloads the address into the cache and records it (replacing an older entry of the same
    // address), evicting the oldest entries beyond the quota. Fails, leaving no partial file, on a
    // network error, a status other than 2xx, a cancel, or a body beyond maxBytes. Blocks; meant
    // for worker threads. A new entry is named after the address the body came from (after
    // redirects).
    std::optional<UrlCacheEntry> Download(const QUrl &url, HttpSession &session,
                                          const Progress &progress = {},
                                          std::int64_t maxBytes = std::int64_t(1) << 31);

    // The entry of an address, if the cache has one (addresses are compared without fragment).
    std::optional<UrlCacheEntry> Lookup(const QUrl &url) const;
    // Every entry, oldest first.
    QList<UrlCacheEntry> Entries() const;
    // Deletes an entry's local file; the entry itself stays (as the cache clean-up expects).
    bool DeleteEntryFile(const UrlCacheEntry &entry);

    // Visits every entry, oldest first, while holding the index lock, so that no download
    // replaces a local file under the visitor; keep visits short. The visitor returns false to
    // end early. False when the lock could not be had.
    bool VisitEntries(const std::function<bool(const UrlCacheEntry &)> &visit) const;
    // Under the index lock, deletes the local files of the entries `which` picks (only files of
    // the cache folder, never what a link there points at); the entries stay. The number
    // deleted, or -1 when the lock could not be had.
    int DeleteEntryFiles(const std::function<bool(const UrlCacheEntry &)> &which);

private:
    QString m_folder;
    std::int64_t m_quota = kDefaultQuotaBytes;
};

} // namespace kz
