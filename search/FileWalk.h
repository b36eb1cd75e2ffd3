#pragma once
// The walk of a folder tree for movie files. It never changes the process's current folder
// (other threads resolve relative names against it): every folder is opened relative to its
// parent's descriptor. Symbolic links are not followed, file systems mounted below the root are
// entered only when the caller says so, each folder is visited once by its device and inode (a
// folder bound to a second place gives no second visit), unreadable folders are passed over,
// and only regular files whose name ends in ".swf" in any letter case are handed out, opened
// without blocking and with their length. In each folder its files come first, then its
// sub-folders, both in byte order of the names.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <unordered_set>

#include <sys/types.h>

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

// The folders visited, by device and inode; one set may serve several walks.
class VisitedFolders {
public:
    // False when the folder was visited before.
    bool Insert(dev_t device, ino_t inode);

private:
    struct Key {
        dev_t device;
        ino_t inode;
        bool operator==(const Key &) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key &k) const {
            return std::hash<std::uint64_t>()(std::uint64_t(k.inode) * 0x9E3779B97F4A7C15ull ^
                                              std::uint64_t(k.device));
        }
    };
    std::unordered_set<Key, Hash> m_seen;
};

// Whether the walk goes into a folder (or takes a file) on another device than its parent
// folder's: the entry's open descriptor and its device.
using EnterFileSystem = std::function<bool(int fd, dev_t device)>;

struct WalkLimits {
    // Folders deeper than this below the root are passed over; each level holds one open
    // descriptor while the walk is inside it.
    int maxDepth = 200;
    // Null: the walk stays on the root's file system.
    EnterFileSystem enter;
    // Null: the walk keeps its own.
    VisitedFolders *visited = nullptr;
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
