#include "platform/FdIo.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace kz {

bool WriteAll(int fd, const char *data, std::int64_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, std::size_t(n));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= w;
    }
    return true;
}

bool WriteNewFile(const QString &path, const QByteArray &bytes, unsigned mode) {
    const QByteArray target = QFile::encodeName(path);
    if (target.isEmpty() || target.endsWith('/'))
        return false;
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    // A hidden scratch name beside the target: a fresh name each time, never an existing one.
    QByteArray scratch;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        scratch = folder + '.' + name.left(64) + '.' +
                  QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
        fd =
            ::open(scratch.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        ::unlink(scratch.constData());
        return false;
    }
    // Into place only where nothing is: renameat2 refuses an existing name; where the file
    // system lacks that, a hard link does the same (link(2) never follows the new name).
    const auto unsupported = [] {
        return errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM;
    };
    if (::renameat2(AT_FDCWD, scratch.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    if (!unsupported()) {
        ::unlink(scratch.constData());
        return false;
    }
    const bool linked = ::link(scratch.constData(), target.constData()) == 0;
    const bool noLinks = !linked && unsupported();
    ::unlink(scratch.constData());
    if (linked || !noLinks)
        return linked;
    // Neither (some network file systems): written in place, still only as a new file.
    const int direct =
        ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (direct < 0)
        return false;
    const bool ok = WriteAll(direct, bytes.constData(), bytes.size());
    if (::close(direct) != 0 || !ok) {
        ::unlink(target.constData());
        return false;
    }
    return true;
}

WriteBehind::WriteBehind(const QString &path) {
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0)
        return;
    m_thread = std::thread([this] {
        while (!m_stop.load()) {
            // Starts the writing of the dirty pages of the whole file; waits for none.
            ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
}

WriteBehind::~WriteBehind() {
    Stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

void WriteBehind::Stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace kz
