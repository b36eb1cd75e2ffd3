#pragma once
// The local searches: a folder tree, every fixed disk, and the player's URL cache; and the
// cache clean-up. A hit is a movie file at least the size limit long whose header makes it a
// playable movie. The searches run on any thread; they report hits through a callback in the
// order found and poll a stop flag.

#include "playback/SwfHeader.h"
#include "search/FileWalk.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace kz {

class UrlCache;

struct MovieHit {
    QString path;
    std::int64_t length = 0;
    SwfHeaderInfo header;
};
using HitCallback = std::function<void(const MovieHit &)>;

// The size limit in bytes of the setting in kilobytes (64-bit; a negative setting is 0).
std::int64_t MinMovieBytes(std::int64_t filterKb);

// The movie test on a file open for reading: its length first (no byte is read from a file
// too short), then the header. The header when the file qualifies.
std::optional<SwfHeaderInfo> TestMovie(int fd, std::int64_t length, std::int64_t minBytes);
// The same by path, for files named by someone else (the cache's local files): a link, a pipe
// or a device is not opened as a movie.
std::optional<SwfHeaderInfo> TestMovieFile(const QString &path, std::int64_t minBytes,
                                           std::int64_t *length = nullptr);

// Walks a folder tree (FileWalk) and reports its movies, going into the file systems mounted
// below the folder except pseudo and network ones.
WalkResult SearchFolder(const QString &folder, std::int64_t minBytes, const std::atomic<bool> *stop,
                        const HitCallback &hit);

// Walks each of the roots in turn (the fixed disks), each on its own file system, a folder
// reached from two roots once; `current` is told which one. False when stopped.
bool SearchDisks(const QStringList &roots, std::int64_t minBytes, const std::atomic<bool> *stop,
                 const HitCallback &hit, const std::function<void(const QString &)> &current = {});

// The cache's entries whose local file has the extension "swf" (any case) and qualifies, in
// the cache's order; the hit's path is the local file. False when the cache's lock could not be
// had.
bool SearchUrlCache(const UrlCache &cache, std::int64_t minBytes, const std::atomic<bool> *stop,
                    const HitCallback &hit);

// Deletes the local files with the extension "swf" (any case) of the cache's entries; the
// entries stay. The number deleted, or -1 when the cache's lock could not be had.
int CleanUrlCache(UrlCache &cache);

} // namespace kz
