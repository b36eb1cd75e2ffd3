#pragma once
// Movie references (the one-text form of a play-list row) and the play-list state files
// "1list.ini" (the play list) and "2list.ini" (the list-file list), each a sequence of
// length-prefixed text records, one per row.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kz {

// Column 0: the movie file's path or the list file holding the movie; column 1: the visible
// name (the file name or the entry name).
struct PlayListRow {
    QString column0;
    QString column1;
    friend bool operator==(const PlayListRow &, const PlayListRow &) = default;
};

// The two rules by which a play-list row is taken for a movie inside a list file. Loading and
// the one-text form go by the extension; the commands that copy, delete or rename what a row
// stands for, and the drops onto list files, go by ".tpl" anywhere in column 0.
// Column 0's extension is "tpl" in any letter case.
bool IsListFilePath(const QString &column0);
// Column 0, in lower case, contains ".tpl".
bool RowInListFile(const QString &column0);

// Column 0 when its extension is not "tpl", else column 0, a separator and column 1.
QString MovieReference(const PlayListRow &row);
// Whether the text before the last separator, in lower case, contains ".tpl".
bool IsListFileReference(const QString &reference);
// The row a reference stands for, when what it names can be opened for reading: a list file's
// entry is checked by its list file. The paths keep their real letter case.
std::optional<PlayListRow> RowFromReference(const QString &reference);

struct StateFileRead {
    bool opened = false; // the file could be read
    int records = 0;     // records found, accepted or not
    std::vector<PlayListRow> rows;
};

inline constexpr char16_t kPlayListStateName[] = u"1list.ini";
inline constexpr char16_t kListFileStateName[] = u"2list.ini";
inline constexpr char16_t kFavouritesName[] = u"MyFavo.tpl";
// The net search box's history (netsearch/SearchHistory.h).
inline constexpr char16_t kSearchHistoryName[] = u"slist.data";

// "1list.ini": one movie reference per play-list row.
bool WritePlayListState(const QString &path, const std::vector<PlayListRow> &rows);
StateFileRead ReadPlayListState(const QString &path);
// "2list.ini": column 0 (the list file's path) per row of the list-file list.
bool WriteListFileState(const QString &path, const std::vector<PlayListRow> &rows);
StateFileRead ReadListFileState(const QString &path);

// The state files live in the user's data folder; older installations kept them (and the
// favourites and the search history) in the program directory. When the user's folder has neither
// state file, those found in the old folder are copied over, the user's folder made as needed; a
// file the user's folder already has is never replaced. The number of files copied.
int AdoptOldStateFiles(const QString &oldFolder, const QString &userFolder);

} // namespace kz
