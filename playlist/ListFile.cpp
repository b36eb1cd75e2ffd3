#include "ListFile.h"

#include "platform/FdIo.h"
#include "platform/Paths.h"
#include "platform/Workers.h"
#include "platform/storage/CompoundFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kz {

namespace {

using Access = CompoundFile::Access;
constexpr CompoundFile::Id kRoot = CompoundFile::kRootId;
// A movie being added is written under this name first, so a failed add never costs the entry
// it would have replaced.
const QString kAddingName = QStringLiteral("\x01KZadding");

QByteArray Native(const QString &path) {
    return QFile::encodeName(path);
}

// Reads until the buffer is full or the file ends: the count, or -1 on an error.
qint64 ReadChunk(int fd, char *buf, qint64 n) {
    qint64 got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buf + got, size_t(n - got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += r;
    }
    return got;
}

// A new file beside the destination, renamed over it once complete.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString &dest) : m_dest(dest) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_temp = FolderWithSep(dest) + QStringLiteral(".%1.%2-%3.part")
                                               .arg(FileNameOf(dest))
                                               .arg(::getpid())
                                               .arg(counter++);
            m_fd =
                ::open(Native(m_temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
    }
    ~ReplacingFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(Native(m_temp).constData());
        }
    }
    int Fd() const { return m_fd; }
    bool Commit() {
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        if (closed && ::rename(Native(m_temp).constData(), Native(m_dest).constData()) == 0)
            return true;
        ::unlink(Native(m_temp).constData());
        return false;
    }

private:
    QString m_dest, m_temp;
    int m_fd = -1;
};

std::unique_ptr<CompoundFile> OpenList(const QString &listPath, Access access) {
    if (!CompoundFile::IsCompoundFile(listPath))
        return nullptr;
    return CompoundFile::Open(listPath, access);
}

bool SameFile(int fd, const QString &path) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::stat(Native(path).constData(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Copies the open movie into a fresh entry under kAddingName; false leaves that entry behind.
bool WriteAddingEntry(CompoundFile &list, int movieFd, const QString &name) {
    const auto storage = list.CreateStorage(kRoot, kAddingName);
    if (!storage)
        return false;
    const auto stream = list.CreateStream(*storage, name);
    if (!stream)
        return false;
    auto writer = list.OpenWriter(*stream);
    if (!writer)
        return false;
    struct stat st {};
    if (::fstat(movieFd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A regular file goes across file to file, 16 runs of chunks (10 MB) at a time.
        const std::uint64_t step = 16 * kListCopyRun;
        for (std::uint64_t at = 0; at < std::uint64_t(st.st_size); at += step) {
            const qint64 n = qint64(std::min<std::uint64_t>(step, st.st_size - at));
            if (!writer->WriteFromFile(movieFd, at, n))
                return false;
        }
        return true;
    }
    std::vector<char> buf(kListCopyRun);
    for (;;) {
        const qint64 got = ReadChunk(movieFd, buf.data(), kListCopyRun);
        if (got < 0 || !writer->Write(buf.data(), got))
            return false;
        if (got < kListCopyRun)
            return true;
    }
}

} // namespace

bool CreateListFile(const QString &listPath) {
    return CompoundFile::Create(listPath) != nullptr;
}

bool AddMovie(const QString &moviePath, const QString &listPath) {
    const QString name = FileNameOf(moviePath);
    if (!CompoundFile::IsValidName(name) || CompoundFile::CompareNames(name, kAddingName) == 0)
        return false;
    auto list = OpenList(listPath, Access::Write);
    if (!list)
        return false;
    const int fd = ::open(Native(moviePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    // A folder, or the list file itself (it would grow while being read), is no movie.
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || SameFile(fd, listPath)) {
        ::close(fd);
        return false;
    }
    const bool written = WriteAddingEntry(*list, fd, name);
    ::close(fd);
    if (!written) {
        // After a failed write the file is reopened from what is on disk.
        if (list->Broken()) {
            list.reset();
            list = OpenList(listPath, Access::Write);
        }
        if (list)
            list->Destroy(kRoot, kAddingName);
        return false;
    }
    if (!list->Rename(kRoot, kAddingName, name, /*replace=*/true)) {
        list->Destroy(kRoot, kAddingName);
        return false;
    }
    return true;
}

bool ListEntries(const QString &listPath, QStringList &names) {
    auto list = OpenList(listPath, Access::Read);
    if (!list)
        return false;
    for (const CompoundFile::Element &e : list->Children(kRoot))
        names.append(e.name);
    return true;
}

namespace {
// The reader of the entry's movie: the stream of its name inside the storage of its name.
std::unique_ptr<StreamReader> OpenEntry(CompoundFile &list, const QString &entryName) {
    const auto storage = list.Find(kRoot, entryName);
    if (!storage || storage->kind != CompoundFile::Kind::Storage)
        return nullptr;
    const auto stream = list.Find(storage->id, entryName);
    if (!stream || stream->kind != CompoundFile::Kind::Stream)
        return nullptr;
    return list.OpenReader(stream->id);
}
} // namespace

bool ExtractEntry(const QString &destPath, const QString &entryName, const QString &listPath,
                  std::uint64_t maxBytes) {
    auto list = OpenList(listPath, Access::Read);
    if (!list)
        return false;
    auto reader = OpenEntry(*list, entryName);
    if (!reader || reader->Size() > maxBytes)
        return false;
    ReplacingFile out(destPath);
    if (out.Fd() < 0)
        return false;
    // File to file where the entry's sectors allow, as a copy of a file would.
    const std::int64_t copied = reader->CopyTo(out.Fd());
    if (copied < 0 || std::uint64_t(copied) != reader->Size())
        return false;
    return out.Commit();
}

bool ReadEntryHead(const QString &listPath, const QString &entryName, qint64 maxBytes,
                   QByteArray &bytes) {
    bytes.clear();
    auto list = OpenList(listPath, Access::Read);
    if (!list || maxBytes < 0)
        return false;
    auto reader = OpenEntry(*list, entryName);
    if (!reader)
        return false;
    bytes.resize(qsizetype(std::min<std::uint64_t>(reader->Size(), std::uint64_t(maxBytes))));
    if (reader->Read(bytes.data(), bytes.size()) != bytes.size()) {
        bytes.clear();
        return false;
    }
    return true;
}

bool DeleteEntry(const QString &listPath, const QString &entryName) {
    auto list = OpenList(listPath, Access::Write);
    return list && list->Destroy(kRoot, entryName);
}

namespace {
// The scratch path of an entry in the temporary folder; empty when there is none to be had.
QString TempEntryPath(const QString &entryName) {
    const QString temp = TempFolder();
    if (temp.isEmpty() || !CompoundFile::IsValidName(entryName) || entryName == u"." ||
        entryName == u"..")
        return QString();
    return temp + entryName;
}
} // namespace

bool CopyEntry(const QString &entryName, const QString &srcListPath, const QString &destListPath) {
    const QString temp = TempEntryPath(entryName);
    if (temp.isEmpty())
        return false;
    const bool ok = ExtractEntry(temp, entryName, srcListPath) && AddMovie(temp, destListPath);
    QFile::remove(temp);
    return ok;
}

bool RenameEntry(const QString &newName, const QString &listPath, const QString &oldName) {
    const QString temp = TempEntryPath(newName);
    if (temp.isEmpty())
        return false;
    bool ok = ExtractEntry(temp, oldName, listPath) && AddMovie(temp, listPath);
    // A change of letter case only: the add has already replaced the old entry.
    if (ok && CompoundFile::CompareNames(newName, oldName) != 0)
        ok = DeleteEntry(listPath, oldName);
    QFile::remove(temp);
    return ok;
}

namespace {
// Scratch files of this list that compactions which died left behind: a live compaction holds
// its scratch file's lock from creation to the rename, so one whose lock can be had is stale.
void RemoveStaleScratchFiles(const QString &listPath) {
    const QString prefix = QStringLiteral(".%1.").arg(FileNameOf(listPath).left(64));
    const QString suffix = QString::fromUtf16(kCompactScratchSuffix);
    const QStringList names =
        QDir(FolderWithSep(listPath)).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !name.endsWith(suffix))
            continue;
        const QByteArray path = Native(FolderWithSep(listPath) + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}
} // namespace

bool CompactListFile(const QString &listPath) {
    // Replace the file a link points to, not the link.
    const QFileInfo info(listPath);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : listPath;
    // The shared lock, held until the new file is in place, keeps writers out meanwhile.
    auto src = OpenList(target, Access::Read);
    if (!src)
        return false;
    RemoveStaleScratchFiles(target);
    // A scratch file of our own beside the list file (the rename stays on its file system);
    // another compaction in the same folder gets another name.
    static std::atomic<unsigned> counter{0};
    QString scratch;
    std::unique_ptr<CompoundFile> dst;
    for (int attempt = 0; attempt < 100 && !dst; ++attempt) {
        scratch = FolderWithSep(target) + QStringLiteral(".%1.%2-%3%4")
                                              .arg(FileNameOf(target).left(64))
                                              .arg(::getpid())
                                              .arg(counter++)
                                              .arg(QString::fromUtf16(kCompactScratchSuffix));
        dst = CompoundFile::CreateNew(scratch);
        if (!dst && errno != EEXIST)
            return false;
    }
    if (!dst)
        return false;
    struct stat st {};
    // The rename below makes the file system write the new file out before it returns: most
    // of that is done alongside the copy instead.
    WriteBehind writeBehind(scratch);
    const bool copied = src->CopyStorageTo(kRoot, *dst, kRoot);
    writeBehind.Stop();
    const bool ok = copied && ::stat(Native(target).constData(), &st) == 0 &&
                    dst->SetPermissions(st.st_mode & 07777) &&
                    // Still holding the scratch file's lock: no writer gets in before the new
                    // file is in place, and then it holds the lock under the list file's name.
                    ::rename(Native(scratch).constData(), Native(target).constData()) == 0;
    if (!ok) {
        dst.reset();
        ::unlink(Native(scratch).constData());
        return false;
    }
    dst.reset();
    // The old file is gone from the folder; its space is given back when it is closed, which
    // for a big list takes a while (its cached pages go too): that is left to a worker.
    StartWorker([old = std::shared_ptr<CompoundFile>(std::move(src))]() mutable { old.reset(); });
    return true;
}

int PutRowsIntoListFile(const std::vector<PlayListRow> &rows, const QString &listPath,
                        const std::function<bool(const PlayListRow &)> &failed) {
    int put = 0;
    for (const PlayListRow &row : rows) {
        if (row.column0.isEmpty())
            continue;
        const bool ok = RowInListFile(row.column0) ? CopyEntry(row.column1, row.column0, listPath)
                                                   : AddMovie(row.column0, listPath);
        if (ok)
            ++put;
        else if (failed && !failed(row))
            break;
    }
    return put;
}

} // namespace kz
