#pragma once
// The player's side of updates: whether the maker's site answers (which home page to show), the
// published version against this build's marker, and the download of the update package into
// the program directory, where the next start hands it to the updater.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>

namespace kz {

class HttpSession;

inline constexpr char kVersionMarker[] = "ZQP_CURRENT_VER:4.3";
inline constexpr char kVersionPrefix[] = "ZQP_CURRENT_VER:";
inline constexpr char kVersionPath[] = "/newver/ver.zip";
inline constexpr char kPackagePath[] = "/newver/duvez.zip";
inline constexpr char kDownloadedPackageName[] = "duvez.zip";
inline constexpr char kOnlineHomePath[] = "/bindex.html";
inline constexpr char kLocalHomePage[] = "inweb/bindex.html";
// An installation made by the system's package manager carries this file: it takes its updates
// from there, never from the site.
inline constexpr char kPackagedMarker[] = "kzplayer.packaged";
inline constexpr int kVersionReadBytes = 64;
inline constexpr int kDownloadChunkBytes = 512;
inline constexpr std::int64_t kMaxPackageBytes = 256LL * 1024 * 1024;

// The site's address joined with a path.
QUrl SiteUrl(const QString &site, const char *path);

// Whether the first bytes of the version file announce another version: they hold the prefix
// and differ from this build's marker by more than trailing white space.
bool AnnouncesOtherVersion(const QByteArray &firstBytes);

enum class VersionAnswer { Same, Other, NoAnswer };
// Reads the version file once (at most 64 bytes) and judges it.
VersionAnswer CheckVersion(HttpSession &session, const QUrl &versionUrl);

// Downloads the package into the private temporary folder and moves it into the program
// directory, unless one waits there already. A download that fails, is larger than maxBytes or
// cannot be moved leaves nothing behind.
bool DownloadPackage(HttpSession &session, const QUrl &packageUrl, const QString &tempFolder,
                     const QString &programDir, std::int64_t maxBytes = kMaxPackageBytes);

// Only a program directory the user may write and that no package manager installed takes
// update packages.
bool ProgramDirTakesUpdates(const QString &programDir);

// Whether the site answers at all (any HTTP response counts).
bool SiteReachable(HttpSession &session, const QUrl &siteRoot);

using HttpSessionFactory = std::function<std::unique_ptr<HttpSession>()>;

// The whole version check of its thread: the version file, then the download. True when a
// package was put into the program directory.
bool RunVersionCheck(const HttpSessionFactory &http, const QString &site, const QString &programDir,
                     const QString &tempFolder);

} // namespace kz
