#pragma once
// The search engines: which bytes the search words become, how they are escaped, and the query
// address of a result page. The hosts are configuration (KZPLAYER_ENGINE_HOSTS,
// KZPLAYER_YAHOO_ROOT, KZPLAYER_ARCHIVE_ROOT, KZPLAYER_WAYBACK_ROOT); the paths and query keys
// are fixed. Engines 0-3 answer with web pages; 4 and 5 are the Internet Archive's Flash
// library and the Wayback Machine's capture index, which answer with JSON.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kz {

inline constexpr int kEngineCount = 6;
// The engines whose hosts KZPLAYER_ENGINE_HOSTS lists.
inline constexpr int kWebEngineCount = 4;
inline constexpr int kEngineBaiduMp3 = 0;
inline constexpr int kEngineGoogleChina = 1;
inline constexpr int kEngineGoogleEnglish = 2;
inline constexpr int kEngineYahooChina = 3;
inline constexpr int kEngineArchiveFlash = 4; // keywords over the library's Flash items
inline constexpr int kEngineWaybackSite = 5;  // a site or address prefix: its captured movies
// Results asked for per page; the offset of page P is P times this.
inline constexpr int kResultsPerPage = 20;
// The word buffer: UTF-8 words must fit whole; GBK words are cut to one byte less.
inline constexpr int kWordBufferBytes = 100;

struct EngineHosts {
    QStringList bases;   // engine 0-3, without a trailing "/"
    QString yahooRoot;   // put before engine 3's site-relative links
    QString archiveRoot; // engine 4: search, file lists and downloads
    QString waybackRoot; // engine 5: the capture index and the captures

    // The public hosts, replaced by KZPLAYER_ENGINE_HOSTS (four comma-separated base
    // addresses), KZPLAYER_YAHOO_ROOT, KZPLAYER_ARCHIVE_ROOT and KZPLAYER_WAYBACK_ROOT when
    // those are set.
    static EngineHosts FromEnvironment();
    static EngineHosts Public();
};

// An engine number outside 0-5 counts as engine 0, the setting's default.
int ClampEngine(int engine);
bool IsArchiveEngine(int engine);

// The bytes of the words for an engine: UTF-8 for 1-5 (empty when longer than 100 bytes), GBK
// for 0 cut at 99 bytes without splitting a character.
QByteArray WordBytes(int engine, const QString &words);

// Letters, digits and "-_.~" stay, a space becomes "+", every other byte "%XX" (upper case).
QByteArray PercentEncode(const QByteArray &bytes);

// Each byte outside the unreserved set (letters, digits, "-_.~") as "%XX": one path segment.
QByteArray PercentEncodeSegment(const QByteArray &bytes);

// Engine 4's query: the Flash collections joined with AND to the words, each word's special
// characters of the search syntax escaped with a backslash and bare operators lower-cased.
QString ArchiveQueryText(const QString &words);
// Engine 5's prefix: the words without a scheme, white space, "*" or trailing "/", then "/*".
// Empty when nothing is left.
QString WaybackUrlPrefix(const QString &words);
// Engine 5 asks for the captures of every page up to the one shown, and one more to know
// whether a next page exists (the index has a limit but no documented offset).
int WaybackLimit(int page);

// The query address of zero-based result page `page`.
QString QueryUrl(int engine, const QString &words, int page, const EngineHosts &hosts);

// The charset of the result page built from an engine's results: "gb2312" or "UTF-8".
QByteArray PageCharset(int engine);

} // namespace kz
