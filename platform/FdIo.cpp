#include "platform/FdIo.h"

#include <cerrno>
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

} // namespace kz
