#pragma once
// The search box's history in "slist.data": each entry's UTF-16LE code units followed by one
// byte 0xFF, most recent first, at most 40 entries.
//
// The separator is a single byte, so every entry after the first starts at an odd offset, and
// a character such as "（" (U+FF08) has a 0xFF byte inside its code unit. The reader therefore
// counts code units from each entry's start: a 0xFF ends the entry only at an even offset from
// there. What it still cannot tell from a separator is a character whose low byte is 0xFF
// (U+xxFF, for instance "仿" U+4EFF or "ÿ" U+00FF): it ends its entry there.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kz {

inline constexpr int kHistoryMaxEntries = 40;
// The reader's entry buffer: longer entries are cut when written.
inline constexpr int kHistoryMaxUnits = 255;
// The history file "slist.data" in the user's data folder (one an older copy left in the
// program directory is taken over with the play-list state files, AdoptOldStateFiles).
QString HistoryPath();

QStringList ParseHistory(const QByteArray &bytes);
QByteArray FormatHistory(const QStringList &entries);

// A missing or unreadable file is an empty history.
QStringList LoadHistory(const QString &path);
bool SaveHistory(const QString &path, const QStringList &entries);

// Puts the words at the top, removing older copies (exact, case-sensitive).
QStringList WithSearch(QStringList entries, const QString &words);

} // namespace kz
