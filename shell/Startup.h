#pragma once
// The decisions the application takes while it starts, kept apart from any window: the
// updater's replacement and hand-over, the command-line file, the start-size check, the
// names of things.

#include <QString>
#include <QStringList>

namespace kz {

// The executable's base name: it names the instance lock, the server and the list-file type.
inline constexpr char kExeBaseName[] = "KZPlayer";
inline constexpr char kUpdaterName[] = "vupdate";
inline constexpr char kNewUpdaterName[] = "vupdate1";
inline constexpr char kUpdatePackageName[] = "duvez.zip";

// A waiting new updater replaces the old one. True when it did.
bool ReplaceUpdater(const QString &programDir);
// An update package waits in the program directory.
bool UpdatePackageWaiting(const QString &programDir);

// At most one file from the command line (the arguments after the program's name), made
// absolute against the current folder so that another process can open it; empty for none.
QString CommandLineFile(const QStringList &arguments);

// The maker's web site (KZPLAYER_SITE overrides it), without a trailing "/".
QString MakerSite();

} // namespace kz
