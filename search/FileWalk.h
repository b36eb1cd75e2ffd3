#pragma once
// The walk of a folder tree for movie files. It never changes the process's current folder
// (other threads resolve relative names against it): every folder is opened relative to its
// parent's descriptor. Symbolic links are not followed, the walk stays on the file system where
// it started, unreadable folders are passed over, and only regular files whose name ends in
// ".swf" in any letter case are handed out, opened without blocking and with their length.
// In each folder its files come first, then its sub-folders, both in byte order of the names.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

namespace kz {

// A candidate file, open for reading for the duration of the visit.
struct WalkFile {
    QString path; // full path
    int fd = -1;  // read-only descriptor; the walk closes it after the visit
    std::int64_t length = 0;
};

enum class WalkResult {
    Done,
    Stopped,    // the stop flag was seen
    NotAFolder, // the root does not exist or is no folder
};

struct WalkLimits {
    // Folders deeper than this below the root are passed over; each level holds one open
    // descriptor while the walk is inside it.
    int maxDepth = 200;
};

// Visits the movie candidates below `root` in walk order. `stop` (may be null) is polled
// between entries.
WalkResult WalkMovieFiles(const QString &root, const std::atomic<bool> *stop,
                          const std::function<void(const WalkFile &)> &visit,
                          const WalkLimits &limits = {});

// Whether a file name ends in ".swf", in any letter case.
bool HasSwfExtension(const QString &name);
bool HasSwfExtension(const char *name, std::size_t length);

} // namespace kz
