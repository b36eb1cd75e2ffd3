#pragma once
// Where a movie lives for the engine, and what it may reach, as the Flash Player's local
// security model had it. Each movie gets an address of its own under the player's scheme whose
// host stands for its folder, its list file or its web site: relative loads resolve among its
// siblings, its saves are kept under a stable origin, and one folder's movies never share a
// page origin with another's.
//   - a local movie reads the files of its folder tree and has no network;
//   - a local movie (SWF 8 or later) whose file attributes ask for the network has the network
//     and none of its files;
//   - a movie in a folder the user trusts has both;
//   - a web movie has the network as a browser gives it, and its own site's files through the
//     player, never local files.
// No web engine here: the control applies what these decide.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <optional>

namespace kz {

struct MovieFacts;

inline constexpr char kMovieScheme[] = "kzmovie";
// The host of the page while no movie is loaded.
inline constexpr char kBlankSiteHost[] = "app";
// Where the runtime and the player's own pieces lie on every movie's host; a movie's own files
// are never looked up under it.
inline constexpr char kPlayerPath[] = "/.kz/";

struct MovieSite {
    enum class Kind { None, Folder, ListFile, Web };
    Kind kind = Kind::None;
    QString host;     // the address's host, also the page's origin
    QString movieUrl; // the movie's own address under the scheme
    QString folder;   // Folder: the folder whose tree the movie reads
    QString listFile; // ListFile: the list whose entries are the siblings
    QString entry;    // ListFile: the movie's own entry
    QUrl webUrl;      // Web: the movie's web address
    bool readFiles = false;
    bool network = false;
    // What the movie is for its saves and settings: a path, "list|entry" or a web address.
    QString identity;
};

// The site of a movie file. `head` is the start of the file (4 KB is plenty), for the network
// request of its file attributes.
MovieSite SiteForFile(const QString &path, const QByteArray &head, const QStringList &trusted);
// The site of a list file's entry: its siblings are the other entries, its trust that of the
// list file's folder.
MovieSite SiteForListEntry(const QString &listFile, const QString &entry, const QByteArray &head,
                           const QStringList &trusted);
MovieSite SiteForWeb(const QUrl &url);
// The page's site while the control is empty.
MovieSite BlankSite();

// True when the movie's file attributes (SWF 8 and later) ask for network access.
bool MovieAsksForNetwork(const QByteArray &head);

// The frame rate the movie's header gives (fractions kept); 0 when the head does not say or
// says something no player would use (nothing, or more than 120 a second).
double HeadFrameRate(const QByteArray &head);

// True when the path (after links) lies in one of the trusted folders or is one of them.
bool InTrustedFolder(const QString &path, const QStringList &trusted);

// A file of the movie's folder tree for a request path of its site ("/sub/a%20b.jpg"): the
// decoded path cleaned, kept inside the folder after links are resolved, a regular file.
// Empty for anything else (a folder, a FIFO, a device, a link out, "..", a NUL).
QString ResolveSiteFile(const QString &folder, const QString &requestPath);
// The entry name a list-file site's request path names ("/a%20b.swf" -> "a b.swf"); empty when
// it names none (a folder path, nothing).
QString ResolveSiteEntry(const QString &requestPath);
// The web address a web site's request path stands for (same scheme, host and port).
QUrl ResolveSiteWeb(const QUrl &webUrl, const QString &requestPath, const QString &query);

// The movie's facts as the engine reported them, each checked: sizes within the stage limits,
// counts at most 65,535, rates finite and within (0, 120], the version a byte. A value out of
// range is dropped (left unknown), never trusted.
MovieFacts CheckedFacts(const QVariantMap &reported);
// A reported frame (counted from 1) within the movie's count, else nothing.
std::optional<int> CheckedFrame(const QVariant &reported, int frameCount);

// Links a movie opens go to the desktop: http, https and mailto only, at most one a second,
// and only while the player's window is active.
class LinkGate {
public:
    using Clock = std::function<std::int64_t()>; // milliseconds, monotonic
    explicit LinkGate(Clock clock = {});
    // The address to open, or an invalid one when the link is refused.
    QUrl Admit(const QString &link, bool windowActive);

private:
    Clock m_clock;
    std::int64_t m_last = 0;
    bool m_opened = false;
};

// The texts of the status pane for a refused request.
QString NetworkRefusedText(const QString &host);
QString FileRefusedText(const QString &name);

} // namespace kz
