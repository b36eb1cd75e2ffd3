#include "ByteSource.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace kz {

bool ByteSource::Read(std::uint8_t *to, std::size_t n) {
    if (n == 0)
        return true;
    if (n > Remaining())
        return false;
    return DoRead(to, n);
}

bool ByteSource::Skip(std::uint64_t n) {
    if (n == 0)
        return true;
    if (n > Remaining())
        return false;
    return DoSkip(n);
}

bool MemorySource::DoRead(std::uint8_t *to, std::size_t n) {
    std::memcpy(to, m_bytes.data() + m_pos, n);
    m_pos += n;
    return true;
}

bool MemorySource::DoSkip(std::uint64_t n) {
    m_pos += std::size_t(n);
    return true;
}

bool IsRegularFile(const QString &path) {
    return QFileInfo(path).isFile();
}

FileSource::FileSource(QFile &file, ReadCounter *counter)
    : m_file(file), m_counter(counter), m_size(std::uint64_t(std::max<qint64>(file.size(), 0))) {}

FileSource::FileSource(std::unique_ptr<QFile> owned, ReadCounter *counter)
    : FileSource(*owned, counter) {
    m_owned = std::move(owned);
}

FileSource::~FileSource() = default;

std::unique_ptr<FileSource> FileSource::Open(const QString &path, ReadCounter *counter) {
    if (!IsRegularFile(path))
        return nullptr;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return nullptr;
    return std::unique_ptr<FileSource>(new FileSource(std::move(file), counter));
}

std::uint64_t FileSource::Remaining() const {
    const std::uint64_t pos = std::uint64_t(std::max<qint64>(m_file.pos(), 0));
    return m_size - std::min(pos, m_size);
}

bool FileSource::DoRead(std::uint8_t *to, std::size_t n) {
    const qint64 got = m_file.read(reinterpret_cast<char *>(to), qint64(n));
    if (got > 0 && m_counter)
        m_counter->bytesRead += std::uint64_t(got);
    return got == qint64(n);
}

bool FileSource::DoSkip(std::uint64_t n) {
    return m_file.seek(m_file.pos() + qint64(n));
}

} // namespace kz
