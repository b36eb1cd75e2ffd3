#include "platform/FdIo.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
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
