#pragma once
// Whole reads and writes on file descriptors, for the code that works below QFile (exclusive
// creation, no links followed, renames while locked).

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <thread>

namespace kz {

// Writes all n bytes, going on after interrupted and short writes. False on an error.
bool WriteAll(int fd, const char *data, std::int64_t n);

// Makes a new file of these bytes (mode 0666 less the umask, or `mode`). Nothing at the name
// is ever followed or replaced: false when the name exists, as any kind of entry, a dangling
// link included. Written beside the name and moved into place, so a failure leaves nothing.
bool WriteNewFile(const QString &path, const QByteArray &bytes, unsigned mode = 0666);

// While a big file is being written, starts the writing back of what is already there, again
// and again, on a thread of its own until Stop (or the end of the scope). A file renamed over
// an old one is made to reach the disk by the rename itself (so that a crash leaves the old
// file or the whole new one): with this most of it is on its way by then, in parallel with the
// writing instead of after it. Nothing is waited for; without a usable path it does nothing.
class WriteBehind {
public:
    explicit WriteBehind(const QString &path);
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;
    void Stop();

private:
    int m_fd = -1;
    std::atomic_bool m_stop{false};
    std::thread m_thread;
};

} // namespace kz
