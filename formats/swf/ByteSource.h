#pragma once
// Where a movie's bytes come from: a file read piece by piece (skips seek) or a buffer in
// memory, owned or borrowed. Every read and skip is checked against the bytes there are here,
// so format code never reads past the data.

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kz {

// Counts the bytes a file source took from its file, for tests and benchmarks.
struct ReadCounter {
    std::uint64_t bytesRead = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads exactly n bytes, or fails without going past the end of the data.
    bool Read(std::uint8_t *to, std::size_t n);
    // Moves n bytes forward; fails when that would pass the end of the data.
    bool Skip(std::uint64_t n);
    // Bytes between the position and the end of the data.
    virtual std::uint64_t Remaining() const = 0;

protected:
    // Called only for 0 < n <= Remaining().
    virtual bool DoRead(std::uint8_t *to, std::size_t n) = 0;
    virtual bool DoSkip(std::uint64_t n) = 0;
};

// A buffer in memory. Borrowed bytes must outlive the source; owned ones live with it.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    MemorySource(std::unique_ptr<std::uint8_t[]> owned, std::size_t size)
        : m_owned(std::move(owned)), m_bytes(m_owned.get(), size) {}
    std::uint64_t Remaining() const override { return m_bytes.size() - m_pos; }
    std::size_t Position() const { return m_pos; }

private:
    bool DoRead(std::uint8_t *to, std::size_t n) override;
    bool DoSkip(std::uint64_t n) override;

    std::unique_ptr<std::uint8_t[]> m_owned;
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// A file read from its current position; the end is its size when the source was made.
// Either borrows an open file or opens one itself (regular files only: a pipe or a device
// could block or never end).
class FileSource final : public ByteSource {
public:
    explicit FileSource(QFile &file, ReadCounter *counter = nullptr);
    // Empty when the path is not a regular file or does not open.
    static std::unique_ptr<FileSource> Open(const QString &path, ReadCounter *counter = nullptr);
    ~FileSource() override;
    std::uint64_t Remaining() const override;

private:
    FileSource(std::unique_ptr<QFile> owned, ReadCounter *counter);
    bool DoRead(std::uint8_t *to, std::size_t n) override;
    bool DoSkip(std::uint64_t n) override;

    std::unique_ptr<QFile> m_owned;
    QFile &m_file;
    ReadCounter *m_counter;
    std::uint64_t m_size = 0;
};

// True for a regular file (not a folder, pipe or device).
bool IsRegularFile(const QString &path);

} // namespace kz
