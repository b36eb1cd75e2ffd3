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
    // What was read writes back to records that read the same (a text longer than the reader
    // takes back, read from a record without its terminator, is written cut).
    QByteArray again;
    QStringList cut;
    for (const QString &r : records) {
        again += kz::EncodeTextRecord(r);
        QString c = r.left(kz::kTextRecordMaxChars);
        if (c.size() < r.size() && !c.isEmpty() && c.back().isHighSurrogate())
            c.chop(1);
        cut << c;
    }
    if (kz::ReadTextRecordsFromBytes(again) != cut)
        std::abort();
    return 0;
}
