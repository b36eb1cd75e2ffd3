#pragma once
// Engines 4 and 5: reading the Internet Archive's JSON answers (advanced search, an item's file
// list, the Wayback capture index) and asking for them as a polite client: a User-Agent naming
// the player, at most four requests in flight and one new request every 250 ms, Retry-After
// obeyed on 429 and 503, answers cut at 4 MB, and the same address answered from memory for ten
// minutes. Addresses are built from the configured roots only, never from an answer's server
// fields.

#include "platform/http/HttpClient.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace kz {

inline constexpr qint64 kArchiveAnswerMaxBytes = 4 * 1024 * 1024;
inline constexpr int kArchiveMaxInFlight = 4;
inline constexpr int kArchiveSpacingMs = 250;
inline constexpr int kArchiveBusyWaitMs = 30000;
inline constexpr int kArchiveCacheSeconds = 600;

// One item of a search answer; the title falls back to the identifier.
struct ArchiveItem {
    QString identifier;
    QString title;
};
struct ArchiveSearchPage {
    bool ok = false;                // the answer was a search answer
    qint64 numFound = -1;           // -1 when not given
    std::vector<ArchiveItem> items; // only identifiers the download path can hold
};
ArchiveSearchPage ParseArchiveSearch(QByteArrayView json);

// The files of an item whose name ends in ".swf" in any case; size -1 when not given.
struct ArchiveFile {
    QString name;
    qint64 size = -1;
};
std::vector<ArchiveFile> ParseArchiveSwfFiles(QByteArrayView json);

// Whether a text is an item identifier (letters, digits, "._-", at most 100).
bool IsArchiveIdentifier(const QString &identifier);
// ROOT/download/IDENTIFIER/FILE with every path segment percent-encoded; empty when the name
// has an empty, "." or ".." segment.
QString ArchiveDownloadUrl(const QString &root, const QString &identifier, const QString &name);
// "title — name (size)" as listed.
QString ArchiveEntryText(const QString &title, const ArchiveFile &file);

// One capture of the index: the address of its original bytes and the listed text.
struct WaybackCapture {
    QString url;  // WAYBACK/web/<TIMESTAMP>id_/<ORIGINAL>
    QString text; // file name, capture date (YYYY-MM-DD), site
};
struct WaybackPage {
    bool ok = false;
    std::vector<WaybackCapture> captures; // those of the page asked for
    bool more = false;                    // captures past this page exist
};
// The rows of an index answer (the first names the columns) that make page `page` of 20;
// captures whose address does not name a ".swf" file are left out (the player plays by name).
WaybackPage ParseWaybackCaptures(QByteArrayView json, const QString &root, int page);

// --- asking -----------------------------------------------------------------------------------

struct ArchiveLimits {
    int spacingMs = kArchiveSpacingMs;
    int busyWaitMs = kArchiveBusyWaitMs; // the longest Retry-After obeyed, and the total per ask
    bool cache = true;
};

struct ArchiveAnswer {
    enum class Result { Ok, Failed, Busy };
    Result result = Result::Failed;
    QByteArray body; // at most kArchiveAnswerMaxBytes
};

// The User-Agent sent to the library: the player's name and version.
QByteArray ArchiveUserAgent();

// GETs an address through the shared gate. `cancel` ends waits at once (Failed).
ArchiveAnswer ArchiveGet(HttpSession &session, const QString &url, const ArchiveLimits &limits,
                         const std::shared_ptr<const std::atomic_bool> &cancel);

// Drops what the cache holds (tests, and a fresh start of a search of the same words).
void ClearArchiveCache();

} // namespace kz
