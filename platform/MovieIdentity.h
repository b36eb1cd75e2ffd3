#pragma once
// What a movie is for everything the player keeps about it (saves, settings, thumbnails): its
// file's absolute path, "LIST|ENTRY" for an entry of a list file, or its web address.

#include <QString>

class QUrl;

namespace kz {

QString FileIdentity(const QString &path);
QString ListEntryIdentity(const QString &listFile, const QString &entry);
QString WebIdentity(const QUrl &url);
// True when a play-list row stands for an entry of a list file: a ".tpl" file in column 0, the
// entry's name in column 1.
bool IsListEntryRow(const QString &column0, const QString &column1);
// The identity of a play-list row: a movie file, an entry of a list file (".tpl" in column 0
// and the entry in column 1), or a web address.
QString RowIdentity(const QString &column0, const QString &column1);

} // namespace kz
