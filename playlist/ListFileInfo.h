#pragma once
// The information record of a list file: the entry "KZinfo.data", a sequence of text records
// "KEY=value" naming who shared the list file and how to reach them.

#include <QString>
#include <QStringList>

namespace kz {

struct ListFileInfo {
    QString sharer;  // KZNAME=
    QString email;   // KZEMAIL=
    QString msn;     // KZMSN=
    QString other;   // KZOTHER=
    QString web;     // KZWEB=
    QString details; // KZDETAIL=
};

// Each record is taken by the first key it contains, anywhere in its text, in the order above;
// its value is the text after the record's last "="; a later record of a key wins.
ListFileInfo ParseListFileInfo(const QStringList &records);

// A record's six texts fit many times over; a longer entry is read only this far.
inline constexpr qint64 kMaxListInfoBytes = 16 * 1024;

// Reads the information entry (its first kMaxListInfoBytes). False, with empty fields, when the
// list file has no such entry.
bool ReadListFileInfo(const QString &listPath, ListFileInfo &info);

} // namespace kz
