#pragma once
// The decisions the application takes while it starts, kept apart from any window: the
// updater's replacement and hand-over, the command-line file, the start-size check, the
// names of things.

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace kz {

// The executable's base name: it names the instance lock, the server and the list-file type.
inline constexpr char kExeBaseName[] = "KZPlayer";
inline constexpr char kUpdaterName[] = "vupdate";
inline constexpr char kNewUpdaterName[] = "vupdate1";
inline constexpr char kUpdatePackageName[] = "duvez.zip";
// The framework's registry root, which is the profile's organisation.
inline constexpr char16_t kRegistryRoot[] = u"应用程序向导生成的本地应用程序";

// A waiting new updater replaces the old one. True when it did.
bool ReplaceUpdater(const QString &programDir);
// An update package waits in the program directory.
bool UpdatePackageWaiting(const QString &programDir);

// At most one file from the command line (the arguments after the program's name), made
// absolute against the current folder so that another process can open it; empty for none.
QString CommandLineFile(const QStringList &arguments);

// The stored window rectangle as the start-size check reads it.
struct StartPlacement {
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;
};
// True when the main window should first show maximised: a stored extent larger than the
// screen, or a negative value.
bool StartMaximised(const StartPlacement &stored, QSize screen);

// The maker's web site (KZPLAYER_SITE overrides it), without a trailing "/".
QString MakerSite();

} // namespace kz
