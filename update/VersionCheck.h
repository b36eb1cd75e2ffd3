#pragma once
// The player's side of updates: whether the maker's site answers (which home page to show), the
// published version against this build's marker, and the download of the update package into
// the program directory, where the next start hands it to the updater.

#include "update/PackageTrust.h"

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
inline constexpr char kSignaturePath[] = "/newver/duvez.zip.sig";
inline constexpr char kDownloadedPackageName[] = "duvez.zip";
inline constexpr char kOnlineHomePath[] = "/bindex.html";
inline constexpr char kLocalHomePage[] = "inweb/bindex.html";
inline constexpr int kVersionReadBytes = 64;
inline constexpr int kDownloadChunkBytes = 512;

// The site's address joined with a path.
QUrl SiteUrl(const QString &site, const char *path);

// Whether the first bytes of the version file announce another version: they hold the prefix
// and differ from this build's marker by more than trailing white space.
bool AnnouncesOtherVersion(const QByteArray &firstBytes);

enum class VersionAnswer { Same, Other, NoAnswer };
// Reads the version file once (at most 64 bytes) and judges it.
VersionAnswer CheckVersion(HttpSession &session, const QUrl &versionUrl);

// Downloads the package's signature and the package into the private temporary folder, checks
// the package against the program directory's key and moves it with its signature into the
// program directory, unless one waits there already. Without a key nothing is fetched; a
// missing or bad signature, a download that fails or is larger than maxBytes, a package that
// is the one set aside after a failed installation, or one that cannot be moved leaves nothing
// behind.
bool DownloadPackage(HttpSession &session, const QUrl &packageUrl, const QUrl &signatureUrl,
                     const QString &tempFolder, const QString &programDir,
                     std::int64_t maxBytes = kMaxPackageBytes);

// Whether the site answers at all (any HTTP response counts).
bool SiteReachable(HttpSession &session, const QUrl &siteRoot);

using HttpSessionFactory = std::function<std::unique_ptr<HttpSession>()>;

// The whole version check of its thread: the version file, then the download. Nothing is asked
// of the site for a program directory that takes no updates or holds no key. True when a
// package was put into the program directory.
bool RunVersionCheck(const HttpSessionFactory &http, const QString &site, const QString &programDir,
                     const QString &tempFolder);

} // namespace kz
