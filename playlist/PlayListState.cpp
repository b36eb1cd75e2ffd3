#include "PlayListState.h"

#include "platform/Paths.h"
#include "platform/TextRecords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string_view>

namespace kz {

namespace {
bool CanOpenForReading(const QString &path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly);
}
} // namespace

bool IsListFilePath(const QString &column0) {
    return ExtensionOf(column0) == u"tpl";
}

bool RowInListFile(const QString &column0) {
    return column0.toLower().contains(QLatin1String(".tpl"));
}

QString MovieReference(const PlayListRow &row) {
    if (!IsListFilePath(row.column0))
        return row.column0;
    return row.column0 + kSep + row.column1;
}

bool IsListFileReference(const QString &reference) {
    return RowInListFile(FolderWithoutSep(reference));
}

std::optional<PlayListRow> RowFromReference(const QString &reference) {
    const QString name = FileNameOf(reference);
    if (IsListFileReference(reference)) {
        // Lower case serves the test only: this file system tells names apart by case.
        const QString container = FolderWithoutSep(reference);
        if (!CanOpenForReading(container))
            return std::nullopt;
        return PlayListRow{container, name};
    }
    if (!CanOpenForReading(reference))
        return std::nullopt;
    return PlayListRow{reference, name};
}

bool WritePlayListState(const QString &path, const std::vector<PlayListRow> &rows) {
    QStringList texts;
    for (const PlayListRow &row : rows)
        texts << MovieReference(row);
    return WriteTextRecordFile(path, texts);
}

StateFileRead ReadPlayListState(const QString &path) {
    StateFileRead result;
    const auto texts = ReadTextRecordFile(path);
    if (!texts)
        return result;
    result.opened = true;
    result.records = int(texts->size());
    for (const QString &t : *texts)
        if (auto row = RowFromReference(t))
            result.rows.push_back(*row);
    return result;
}

bool WriteListFileState(const QString &path, const std::vector<PlayListRow> &rows) {
    QStringList texts;
    for (const PlayListRow &row : rows)
        texts << row.column0;
    return WriteTextRecordFile(path, texts);
}

StateFileRead ReadListFileState(const QString &path) {
    StateFileRead result;
    const auto texts = ReadTextRecordFile(path);
    if (!texts)
        return result;
    result.opened = true;
    result.records = int(texts->size());
    for (const QString &t : *texts)
        if (CanOpenForReading(t))
            result.rows.push_back({t, FileNameOf(t)});
    return result;
}

int AdoptOldStateFiles(const QString &oldFolder, const QString &userFolder) {
    const QString from = WithTrailingSep(oldFolder), to = WithTrailingSep(userFolder);
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath() &&
        QFileInfo(to).exists())
        return 0;
    for (const char16_t *name : {kPlayListStateName, kListFileStateName})
        if (QFileInfo::exists(to + QString::fromUtf16(name)))
            return 0;
    int copied = 0;
    for (const char16_t *name :
         {kPlayListStateName, kListFileStateName, kFavouritesName, kSearchHistoryName}) {
        const QString source = from + QString::fromUtf16(name);
        const QString target = to + QString::fromUtf16(name);
        if (!QFileInfo(source).isFile() || QFileInfo::exists(target) || !QDir().mkpath(to))
            continue;
        if (!QFile::copy(source, target))
            continue;
        // A read-only installed copy must not make the user's copy read-only; the search
        // history is the user's alone.
        QFile::setPermissions(target, std::u16string_view(name) == kSearchHistoryName
                                          ? QFile::ReadOwner | QFile::WriteOwner
                                          : QFile::permissions(target) | QFile::WriteOwner |
                                                QFile::ReadOwner);
        ++copied;
    }
    return copied;
}

} // namespace kz
