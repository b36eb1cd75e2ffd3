#include "MovieIdentity.h"

#include "platform/Paths.h"

#include <QFileInfo>
#include <QUrl>

namespace kz {

QString FileIdentity(const QString &path) {
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

QString ListEntryIdentity(const QString &listFile, const QString &entry) {
    return listFile.isEmpty() ? QString() : QFileInfo(listFile).absoluteFilePath() + u'|' + entry;
}

QString WebIdentity(const QUrl &url) {
    return url.isValid() ? url.toString(QUrl::FullyEncoded) : QString();
}

bool IsListEntryRow(const QString &column0, const QString &column1) {
    return ExtensionOf(column0) == u"tpl" && !column1.isEmpty();
}

QString RowIdentity(const QString &column0, const QString &column1) {
    if (column0.startsWith(u"http://", Qt::CaseInsensitive) ||
        column0.startsWith(u"https://", Qt::CaseInsensitive))
        return WebIdentity(QUrl(column0));
    if (IsListEntryRow(column0, column1))
        return ListEntryIdentity(column0, column1);
    return FileIdentity(column0);
}

} // namespace kz
