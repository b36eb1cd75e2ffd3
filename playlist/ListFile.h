#pragma once
// List files (".tpl"): compound files holding one storage per movie, named by the movie's file
// name, with one stream of the same name holding the movie's bytes. Each operation opens and
// closes the file itself, returns a success flag and shows nothing. Movies are copied in
// 10240-byte chunks, never held whole.

#include "playlist/PlayListState.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace kz {

inline constexpr qint64 kListCopyChunk = 10240;
// Each system call moves a run of 64 chunks (640 KB): with single chunks the copy costs about
// three times what cp does, with runs about as much. Memory stays bounded either way.
inline constexpr qint64 kListCopyRun = 64 * kListCopyChunk;
// The entry that describes who shared the list file.
inline constexpr char16_t kInfoEntryName[] = u"KZinfo.data";
// The end of a compaction's scratch file name: ".LIST.PID-N" + this, beside the list file.
inline constexpr char16_t kCompactScratchSuffix[] = u".compact";

// A new, empty list file, replacing an existing file.
bool CreateListFile(const QString &listPath);
// Adds the movie as the entry named by its file name, replacing an entry of that name. A failed
// add leaves the list file as it was.
bool AddMovie(const QString &moviePath, const QString &listPath);
// Appends the names of the root's children, in the storage's enumeration order.
bool ListEntries(const QString &listPath, QStringList &names);
// Writes the entry's bytes to a new file at the destination (replacing it). An entry larger
// than maxBytes is refused before anything is written.
bool ExtractEntry(const QString &destPath, const QString &entryName, const QString &listPath,
                  std::uint64_t maxBytes = UINT64_MAX);
// The first maxBytes of the entry's bytes (all of them when it is shorter), read into memory.
bool ReadEntryHead(const QString &listPath, const QString &entryName, qint64 maxBytes,
                   QByteArray &bytes);
bool DeleteEntry(const QString &listPath, const QString &entryName);
bool CopyEntry(const QString &entryName, const QString &srcListPath, const QString &destListPath);
// The entry under the new name is added before the old one is removed.
bool RenameEntry(const QString &newName, const QString &listPath, const QString &oldName);
// Rewrites the list file without unused space: the entries are copied into a new scratch file
// beside it, which then takes its place in one rename (the list file is never half written).
// A failed compaction leaves the list file as it was and removes the scratch file.
bool CompactListFile(const QString &listPath);

// Puts play-list rows into a list file, in order: a movie inside a list file is copied over by
// its entry name, a movie file is added. `failed` hears of each row that could not be put and
// says whether to go on; without it every row is tried. Returns the number of rows put.
int PutRowsIntoListFile(const std::vector<PlayListRow> &rows, const QString &listPath,
                        const std::function<bool(const PlayListRow &)> &failed = {});

} // namespace kz
