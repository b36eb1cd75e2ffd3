#pragma once
// Length-prefixed text records: two marker bytes (0xFF 0xFF), a 32-bit little-endian byte
// length N, then N bytes of UTF-16LE text ending in a 16-bit zero. The play-list state files
// and the list-file information record are sequences of them.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QIODevice;

namespace kz {

// The reader's text buffer: a path of PATH_MAX characters and its terminator fit.
inline constexpr std::uint32_t kTextRecordBufferBytes = 2 * (4096 + 1);
// The longest text written: what the buffer holds with the terminator.
inline constexpr qsizetype kTextRecordMaxChars = kTextRecordBufferBytes / 2 - 1;

// A longer text is written cut to kTextRecordMaxChars.
QByteArray EncodeTextRecord(const QString &text);
bool WriteTextRecord(QIODevice &out, const QString &text);

// Reads records until the end, a marker pair with neither byte 0xFF, a short read, or a record
// longer than the text buffer.
QStringList ReadTextRecords(QIODevice &in);
QStringList ReadTextRecordsFromBytes(const QByteArray &bytes);
// Empty optional when the file cannot be opened for reading.
std::optional<QStringList> ReadTextRecordFile(const QString &path);
// Writes the whole file anew through a temporary file renamed into place.
bool WriteTextRecordFile(const QString &path, const QStringList &texts);

} // namespace kz
