// The length-prefixed text records (play-list state files, the information record) and the
// information record's keys.

#include "platform/TextRecords.h"
#include "playlist/ListFileInfo.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList records = kz::ReadTextRecordsFromBytes(bytes);
    // Each record is at least its 6-byte head and never longer than the reader's buffer.
    if (std::size_t(records.size()) * 6 > size)
        std::abort();
    for (const QString &r : records)
        if (std::size_t(r.size()) * 2 > kz::kTextRecordBufferBytes)
            std::abort();
    kz::ParseListFileInfo(records);
    // What was read writes back to records that read the same, up to the longest text the
    // reader's buffer takes with its terminator (a record of exactly the buffer's size without
    // one reads as one character more).
    QByteArray again;
    QStringList fit;
    for (const QString &r : records) {
        if (std::size_t(r.size() + 1) * 2 > kz::kTextRecordBufferBytes)
            break;
        again += kz::EncodeTextRecord(r);
        fit << r;
    }
    if (kz::ReadTextRecordsFromBytes(again) != fit)
        std::abort();
    return 0;
}
