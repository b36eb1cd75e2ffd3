#include "LocalSearch.h"

#include "platform/Paths.h"
#include "platform/urlcache/UrlCache.h"
#include "search/FixedDisks.h"

#include <QFile>

#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

std::int64_t MinMovieBytes(std::int64_t filterKb) {
    constexpr std::int64_t kMaxKb = std::numeric_limits<std::int64_t>::max() / 1024;
    return filterKb <= 0 ? 0 : std::min(filterKb, kMaxKb) * 1024;
}

std::optional<SwfHeaderInfo> TestMovie(int fd, std::int64_t length, std::int64_t minBytes) {
    if (fd < 0 || length < minBytes)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return std::nullopt;
    SwfHeaderInfo info;
    ReadSwfHeader(file, info);
    if (!IsPlayableMovie(info))
        return std::nullopt;
    return info;
}

std::optional<SwfHeaderInfo> TestMovieFile(const QString &path, std::int64_t minBytes,
                                           std::int64_t *length) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return std::nullopt;
    const int fd =
        open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<SwfHeaderInfo> info;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        info = TestMovie(fd, std::int64_t(st.st_size), minBytes);
        if (length)
            *length = std::int64_t(st.st_size);
    }
    close(fd);
    return info;
}

namespace {

WalkResult Search(const QString &folder, std::int64_t minBytes, const std::atomic<bool> *stop,
                  const HitCallback &hit, const WalkLimits &limits) {
    return WalkMovieFiles(
        folder, stop,
        [&](const WalkFile &file) {
            if (const auto info = TestMovie(file.fd, file.length, minBytes))
                hit(MovieHit{file.path, file.length, *info});
        },
        limits);
}

} // namespace

WalkResult SearchFolder(const QString &folder, std::int64_t minBytes, const std::atomic<bool> *stop,
                        const HitCallback &hit) {
    // The drives mounted below the folder are part of what the user chose.
    MountedFileSystems mounts;
    WalkLimits limits;
    limits.enter = [&mounts](int fd, dev_t device) { return mounts.MayEnter(fd, device); };
    return Search(folder, minBytes, stop, hit, limits);
}

bool SearchDisks(const QStringList &roots, std::int64_t minBytes, const std::atomic<bool> *stop,
                 const HitCallback &hit, const std::function<void(const QString &)> &current) {
    // Each disk is a walk of its own, which stays on it; a folder reached from two of them (a
    // bound folder) is visited once.
    VisitedFolders visited;
    WalkLimits limits;
    limits.visited = &visited;
    for (const QString &root : roots) {
        if (stop && stop->load())
            return false;
        if (current)
            current(root);
        if (Search(root, minBytes, stop, hit, limits) == WalkResult::Stopped)
            return false;
    }
    return true;
}

bool SearchUrlCache(const UrlCache &cache, std::int64_t minBytes, const std::atomic<bool> *stop,
                    const HitCallback &hit) {
    return cache.VisitEntries([&](const UrlCacheEntry &entry) {
        if (stop && stop->load())
            return false;
        if (ExtensionOf(entry.localFile) != u"swf")
            return true;
        std::int64_t length = 0;
        if (const auto info = TestMovieFile(entry.localFile, minBytes, &length))
            hit(MovieHit{entry.localFile, length, *info});
        return true;
    });
}

int CleanUrlCache(UrlCache &cache) {
    return cache.DeleteEntryFiles(
        [](const UrlCacheEntry &entry) { return ExtensionOf(entry.localFile) == u"swf"; });
}

} // namespace kz
