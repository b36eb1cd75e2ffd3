#pragma once
// Installing an update package (a compound file of groups, each holding a nested compound file
// of files) into the program directory. A package comes from the network, so nothing in it is
// trusted: names are plain file names or skipped, nothing is written through a symbolic link,
// and every file is written beside its destination under a temporary name and renamed over the
// old one only when it is complete.

#include <QString>
#include <QStringList>

#include <functional>

namespace kz {

inline constexpr char kPackageFileName[] = "duvez.zip";
inline constexpr char kPlayerFileName[] = "KZPlayer";
inline constexpr char kRootFolderName[] = "root";
inline constexpr int kCopyChunkBytes = 10240;
inline constexpr int kFinalPauseMs = 400;

// A name from a package that may name a file or folder here: not empty, not "." or "..", with
// no "/", "\" or zero in it.
bool IsSafeElementName(const QString &name);
// The destination folder of a group: the text after its last "." (the whole name without one).
QString GroupFolderName(const QString &group);

struct InstallEvents {
    // The progress bar steps by one.
    std::function<void()> step;
    // A target could not be created or replaced: the file error shown to the user.
    std::function<void(const QString &path, const QString &why)> fileError;
};

enum class InstallStatus {
    Installed,   // every group was gone through (unsafe or unreadable elements skipped)
    NotAPackage, // not a compound file, or it cannot be opened or listed
    Stopped,     // a target could not be written: the installation stopped there
};

struct InstallReport {
    InstallStatus status = InstallStatus::NotAPackage;
    QStringList installed; // destination paths, in the order written
    QStringList skipped;   // names of elements left out
};

// Installs the groups of the package, the last listed first, into the program directory. It
// trusts the package: RunInstallation checks its signature first.
InstallReport InstallPackage(const QString &programDir, const QString &packagePath,
                             const InstallEvents &events);

// What the updater's dialog lends the installation.
struct UpdaterHooks {
    InstallEvents events;
    std::function<void(int)> setProgress;
    std::function<void(int ms)> pause;
    std::function<bool(const QString &program)> startPlayer;
};

enum class UpdateOutcome {
    Installed,   // installed, the package deleted
    NotOurs,     // the program directory takes no updates: nothing touched
    NoPackage,   // no readable package: its name deleted
    Refused,     // no key, no signature or a bad one: the package deleted
    NotAPackage, // signed but not a package: deleted
    Failed,      // a file could not be written: the package set aside under ".failed"
};

// The updater's whole run over the package in the program directory: check its signature,
// install it, delete it, and start the player again. Every outcome starts the player once. The
// package is set aside before anything is installed, so an installation that fails or breaks
// off is never tried again and never keeps the player from starting.
UpdateOutcome RunInstallation(const QString &programDir, const UpdaterHooks &hooks);

} // namespace kz
