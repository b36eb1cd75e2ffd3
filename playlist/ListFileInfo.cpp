#include "ListFileInfo.h"

#include "ListFile.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"

#include <QFile>

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
    const QString temp = TempFolder();
    if (temp.isEmpty())
        return false;
    const QString scratch = temp + QString::fromUtf16(kInfoEntryName);
    if (!ExtractEntry(scratch, QString::fromUtf16(kInfoEntryName), listPath)) {
        QFile::remove(scratch);
        return false;
    }
    const auto records = ReadTextRecordFile(scratch);
    if (!records)
        return false;
    info = ParseListFileInfo(*records);
    return true;
}

} // namespace kz
