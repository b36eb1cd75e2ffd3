#pragma once
// Path helpers on the native separator "/". Every place that speaks of a file's name, base
// name, extension or folder uses these. Lower-casing is for comparisons and output names only.

#include <QString>

namespace kz {

inline constexpr QChar kSep = u'/';

// Text after the last separator; the whole text when there is none.
QString FileNameOf(const QString &path);
// The file name cut before its last "."; empty when it has no ".".
QString BaseNameOf(const QString &path);
// Text after the last "." of the whole text, in lower case; empty when there is no ".".
QString ExtensionOf(const QString &path);
// Text up to and including the last separator; empty when there is none.
QString FolderWithSep(const QString &path);
// Text before the last separator; empty when there is none.
QString FolderWithoutSep(const QString &path);
// The folder with exactly one trailing separator.
QString WithTrailingSep(const QString &folder);

// Creates every folder of the text before its last separator ("make sure the path exists").
bool MakeSureDirectoryPathExists(const QString &path);

// Moves a damaged file or folder out of the way, to "PATH.damaged-<yyyyMMdd-HHmmss>" (with
// "-2", "-3"… when taken), never over anything. The new name; empty when it could not move.
QString SetAsideDamaged(const QString &path);

// The folder of the running executable, with a trailing separator.
QString ProgramDir();
// Tests point the program directory elsewhere; an empty text restores the real one.
void SetProgramDirOverride(const QString &dir);

// The per-user private temporary folder ($TMPDIR, else /tmp, + "/KZPlayer-<uid>/"), created
// with mode 0700, with a trailing separator. Empty when it cannot be made safe: it exists but
// is not a real directory owned by this user, or cannot be created.
QString TempFolder();

} // namespace kz
