#include "FileWalk.h"

#include "platform/Workers.h"

#include <QFile>

#include <algorithm>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

bool HasSwfExtension(const char *name, std::size_t length) {
    if (length < 4 || name[length - 4] != '.')
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(name[length - 3]) == 's' && lower(name[length - 2]) == 'w' &&
           lower(name[length - 1]) == 'f';
}

bool HasSwfExtension(const QString &name) {
    return name.endsWith(QStringLiteral(".swf"), Qt::CaseInsensitive);
}

bool VisitedFolders::Insert(dev_t device, ino_t inode) {
    return m_seen.insert(Key{device, inode}).second;
}

namespace {

// The caller's flag, or the application ending (its workers are joined then).
bool Stopped(const std::atomic<bool> *stop) {
    return (stop && stop->load(std::memory_order_relaxed)) || WorkersStopping();
}

// One folder of the walk: its descriptor (children are opened relative to it), its device, its
// path and the sub-folders still to visit.
struct Level {
    int fd = -1;
    dev_t device = 0;
    std::string path; // with a trailing separator
    int depth = 0;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
};

enum class Kind { Other, Folder, File };

Kind KindOf(int dirFd, const dirent *entry) {
    switch (entry->d_type) {
    case DT_DIR:
        return Kind::Folder;
    case DT_REG:
        return Kind::File;
    case DT_UNKNOWN: {
        // Some file systems do not fill the type in; the entry itself is asked, not its target.
        struct stat st;
        if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Other;
        return S_ISDIR(st.st_mode) ? Kind::Folder : S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
    }
    default:
        return Kind::Other; // links, pipes, sockets, devices
    }
}

// Reads the folder's names, then hands out its movie files; keeps its sub-folders for later.
// False when the stop flag was seen.
bool ScanFolder(Level &level, const EnterFileSystem &enter, const std::atomic<bool> *stop,
                const std::function<void(const WalkFile &)> &visit) {
    std::vector<std::string> files;
    const int listFd = dup(level.fd);
    if (listFd < 0)
        return true;
    DIR *dir = fdopendir(listFd);
    if (!dir) {
        close(listFd);
        return true; // unreadable: passed over
    }
    rewinddir(dir);
    while (const dirent *entry = readdir(dir)) {
        if (Stopped(stop)) {
            closedir(dir);
            return false;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const std::size_t length = std::char_traits<char>::length(name);
        const bool movieName = HasSwfExtension(name, length);
        if (entry->d_type == DT_REG && !movieName)
            continue;
        switch (KindOf(level.fd, entry)) {
        case Kind::Folder:
            level.subfolders.emplace_back(name, length);
            break;
        case Kind::File:
            if (movieName)
                files.emplace_back(name, length);
            break;
        case Kind::Other:
            break;
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    std::sort(level.subfolders.begin(), level.subfolders.end());

    for (const std::string &name : files) {
        if (Stopped(stop))
            return false;
        // Non-blocking and without following a link: the name may have become a pipe or a
        // link since it was listed.
        const int fd = openat(level.fd, name.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A file bound here from another file system is taken as its folder would be.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_dev == level.device || (enter && enter(fd, st.st_dev)))) {
            WalkFile file;
            file.path = QFile::decodeName(QByteArray::fromStdString(level.path + name));
            file.fd = fd;
            file.length = std::int64_t(st.st_size);
            visit(file);
        }
        close(fd);
    }
    return true;
}

void CloseAll(std::vector<Level> &stack) {
    for (Level &level : stack)
        close(level.fd);
    stack.clear();
}

} // namespace

WalkResult WalkMovieFiles(const QString &root, const std::atomic<bool> *stop,
                          const std::function<void(const WalkFile &)> &visit,
                          const WalkLimits &limits) {
    const QByteArray rootName = QFile::encodeName(root);
    if (rootName.isEmpty())
        return WalkResult::NotAFolder;
    // The root the user named may itself be a link to a folder; below it no link is followed.
    const int rootFd = open(rootName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (rootFd < 0) {
        struct stat st;
        if (stat(rootName.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return WalkResult::NotAFolder;
        return WalkResult::Done; // a folder we may not read: nothing found
    }
    struct stat rootStat;
    if (fstat(rootFd, &rootStat) != 0) {
        close(rootFd);
        return WalkResult::NotAFolder;
    }
    VisitedFolders ownVisited;
    VisitedFolders &visited = limits.visited ? *limits.visited : ownVisited;
    if (!visited.Insert(rootStat.st_dev, rootStat.st_ino)) {
        close(rootFd);
        return WalkResult::Done; // walked already, under another name
    }

    std::vector<Level> stack;
    Level first;
    first.fd = rootFd;
    first.device = rootStat.st_dev;
    first.path = rootName.toStdString();
    if (first.path.back() != '/')
        first.path += '/';
    stack.push_back(std::move(first));
    if (!ScanFolder(stack.back(), limits.enter, stop, visit)) {
        CloseAll(stack);
        return WalkResult::Stopped;
    }
    while (!stack.empty()) {
        if (Stopped(stop)) {
            CloseAll(stack);
            return WalkResult::Stopped;
        }
        Level &top = stack.back();
        if (top.next >= top.subfolders.size() || top.depth >= limits.maxDepth) {
            close(top.fd);
            stack.pop_back();
            continue;
        }
        const std::string &name = top.subfolders[top.next++];
        const int fd = openat(top.fd, name.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue; // unreadable, or gone since it was listed
        struct stat st;
        const bool ok =
            fstat(fd, &st) == 0 &&
            (st.st_dev == top.device || (limits.enter && limits.enter(fd, st.st_dev))) &&
            visited.Insert(st.st_dev, st.st_ino);
        if (!ok) {
            close(fd); // a file system not to enter, or a folder seen already
            continue;
        }
        Level level;
        level.fd = fd;
        level.device = st.st_dev;
        level.path = top.path + name + '/';
        level.depth = top.depth + 1;
        stack.push_back(std::move(level)); // `top` is not used past this point
        if (!ScanFolder(stack.back(), limits.enter, stop, visit)) {
            CloseAll(stack);
            return WalkResult::Stopped;
        }
    }
    return WalkResult::Done;
}

} // namespace kz
