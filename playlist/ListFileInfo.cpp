#include "ListFileInfo.h"

#include "ListFile.h"
#include "platform/TextRecords.h"

namespace kz {

ListFileInfo ParseListFileInfo(const QStringList &records) {
    ListFileInfo info;
    const std::pair<const char *, QString ListFileInfo::*> keys[] = {
        {"KZNAME=", &ListFileInfo::sharer}, {"KZEMAIL=", &ListFileInfo::email},
        {"KZMSN=", &ListFileInfo::msn},     {"KZOTHER=", &ListFileInfo::other},
        {"KZWEB=", &ListFileInfo::web},     {"KZDETAIL=", &ListFileInfo::details},
    };
    for (const QString &text : records) {
        for (const auto &[key, field] : keys) {
            if (text.contains(QLatin1String(key))) {
                info.*field = text.mid(text.lastIndexOf(u'=') + 1);
                break;
            }
        }
    }
    return info;
}

bool ReadListFileInfo(const QString &listPath, ListFileInfo &info) {
    info = ListFileInfo();
    // Only the head of a record that is larger than any honest one is read.
    QByteArray bytes;
    if (!ReadEntryHead(listPath, QString::fromUtf16(kInfoEntryName), kMaxListInfoBytes, bytes))
        return false;
    info = ParseListFileInfo(ReadTextRecordsFromBytes(bytes));
    return true;
}

} // namespace kz
