#pragma once
// The records a second start hands to the first instance over the local socket: a 32-bit data
// word and a byte block, as a copy-data message carried them. On the wire each record is the
// data word and the byte count (both 32-bit little-endian) followed by the bytes.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace kz {

inline constexpr std::uint32_t kHandOverFile = 0;           // a command-line file name
inline constexpr std::uint32_t kHandOverFtpClient = 0x8888; // the FTP client's exchange
// A record never needs more: a path, or nothing.
inline constexpr std::uint32_t kMaxHandOverBytes = 64 * 1024;

struct HandOverRecord {
    std::uint32_t dataWord = 0;
    QByteArray data;
    bool operator==(const HandOverRecord &) const = default;
};

// The file name as UTF-16LE with its terminating zero (2 bytes for no name).
QByteArray FileNameBytes(const QString &file);
// The text up to the first zero (or the end); empty optional when the byte count is odd.
std::optional<QString> FileNameFromBytes(const QByteArray &data);

QByteArray EncodeRecord(const HandOverRecord &record);

// Splits a byte stream into records. A count beyond kMaxHandOverBytes, or a data word other
// than kHandOverFile and kHandOverFtpClient, fails the stream.
class HandOverReader {
public:
    void Append(const QByteArray &bytes);
    std::optional<HandOverRecord> Next();
    bool Failed() const { return m_failed; }

private:
    QByteArray m_buffer;
    bool m_failed = false;
};

} // namespace kz
