#pragma once
// The harvest of a net search, without windows: the engine's result page is read through a
// fixed window, the movie links in it (or, for engines 0 and 3, in the intermediate pages it
// links to) are picked out, and a small local result page is written with one fresh anchor per
// movie. Engines 4 and 5 answer with JSON instead (Archive.h); engine 4's items have their file
// lists read on the same bounded threads as the intermediate pages. The remote markup itself never
// reaches the page: addresses and texts are escaped, so the page holds no script and nothing that
// loads from the network.

#include "netsearch/Archive.h"
#include "netsearch/Engines.h"
#include "platform/http/HttpClient.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kz {

// The bounds of the parsing.
inline constexpr qsizetype kHarvestWindowBytes = 102400; // the engine's page, with carry-over
inline constexpr qsizetype kFragmentMaxBytes = 5120;     // one "<a href=" … "</a>"
inline constexpr qsizetype kLinkPageMaxBytes =
    10240; // an intermediate page (this or more: not read)
inline constexpr qsizetype kLinkUrlMaxBytes =
    1024; // an intermediate address (this or more: skipped)
inline constexpr qsizetype kResultUrlMaxBytes = 260; // a movie address (more: not listed)
inline constexpr qsizetype kReloadChunkBytes = 5120; // reading a result page back
inline constexpr qsizetype kEntryTextMaxChars = 200; // the text shown for one movie
// An engine's page is read up to this many bytes (a result page of 20 is far smaller; a server
// that never ends its page cannot grow the list or hold the search).
inline constexpr qint64 kEnginePageMaxBytes = 4 * 1024 * 1024;
// At most this many movies (engines 1, 2) or intermediate links (0, 3) are taken from a page;
// the rest are passed over.
inline constexpr int kPageLinksMax = 100;
// A page with at least this many links has a next page.
inline constexpr int kNextPageThreshold = 15;
inline constexpr auto kResultPageName = "Vobi_Flash_Search_Result.html";

// Calls onFragment for every complete "<a href=" … "</a>" (inclusive) of at most
// kFragmentMaxBytes in data; longer ones are passed over. Returns the offset of a "<a href="
// whose "</a>" is not in data, or of a beginning of one cut by the end of data (to carry over
// into the next read), or data.size().
qsizetype ScanFragments(QByteArrayView data, const std::function<void(QByteArrayView)> &onFragment);

// Reads a stream through a buffer of `window` bytes: an unfinished fragment is moved to the
// front and the next read fills the rest. read(to, max) returns the count, 0 at the end, less
// than 0 on an error. A fragment longer than the window ends the scan. False on a read error.
bool ScanStream(const std::function<qint64(char *, qint64)> &read, qsizetype window,
                const std::function<void(QByteArrayView)> &onFragment);

// The movie address of a link: the text between the first double quote and the first double
// quote after a ".swf" behind it, its character references resolved, at most
// kResultUrlMaxBytes, decoded from the page's charset and accepted by the strict address check.
// Empty when rejected. anyCase: ".SWF" and the like count too (reading back our own page).
QString ResultLinkUrl(QByteArrayView link, const QByteArray &charset, bool anyCase = false);

// A fragment's parts: the text between its first two double quotes, and its text from the
// first ">" after them up to the closing "</a>". Empty when a quote or the ">" is missing.
struct FragmentParts {
    QByteArray href;
    QByteArray inner;
};
std::optional<FragmentParts> SplitFragment(QByteArrayView fragment);

// The fragment with the attributes between its quoted address and ">" dropped.
QByteArray LinkLine(QByteArrayView fragment);

// What a fragment's inner text shows as plain text: tags and scripts removed, character
// references resolved, white space collapsed, at most kEntryTextMaxChars.
QString PlainLinkText(const QByteArray &inner, const QByteArray &charset);

// HTML-escaped text (&, <, >, " and ').
QString HtmlEscape(const QString &text);

// One result page entry for a movie: a fresh anchor with the escaped address and text, in the
// page's charset, with the line breaks around it.
QByteArray PageEntry(const QString &url, const QString &text, const QByteArray &charset);

// The result page in the user's temporary folder; empty when that folder is not usable.
QString ResultPagePath();
// The page's three pieces. Every write opens, writes and closes the file; entries and the end
// are only appended to an existing file.
QByteArray PageHeader(const QByteArray &charset);
QByteArray PageEnd();
bool WritePageHeader(const QString &path, const QByteArray &charset);
bool AppendToPage(const QString &path, const QByteArray &bytes);

// The movie addresses of a result page left by an earlier search, in page order.
QStringList ReloadResultLinks(const QString &path);

// Engine 3's site-relative link, resolved against the site's root; empty when the result leaves
// the root's scheme, host and port (an "@host" or "//host" link, an absolute one elsewhere).
QString ResolveSiteLink(const QString &root, const QString &link);

// The addresses a host name stands for (the system's resolver by default).
using HostResolver = std::function<QList<QHostAddress>(const QString &name)>;
// Whether a loopback, link-local, private (RFC 1918, shared 100.64/10, unique local) or
// unspecified address.
bool IsLocalNetworkAddress(const QHostAddress &address);
// Whether a page an engine's results link to may be fetched: an http or https address that is
// not in the user's own network (by its text, by the name "localhost", or by what its name
// resolves to), unless the engine's own host is such (a stand-in on this machine or network).
bool MayFetchLinkedPage(const QUrl &url, const QString &engineHost,
                        const HostResolver &resolve = {});

struct SearchLimits {
    int connectTimeoutMs = 15000; // the engine's page
    int readTimeoutMs = 15000;
    // The engine's page from the request to its last byte: a server that drips its bytes just
    // inside the read time-out cannot hold the search (and the panel's controls) longer.
    int pageDeadlineMs = 30000;
    int maxLinkThreads = 4;     // intermediate pages fetched at once; the rest wait
    int linkDeadlineMs = 20000; // one intermediate page, from its start
    int linkConnectTimeoutMs = 8000;
    int linkReadTimeoutMs = 8000;
    // Names in intermediate links; none: the system's resolver.
    HostResolver resolve;
    // Engines 4 and 5: the pacing, the waits for a busy library and the cache.
    ArchiveLimits archive;
};

struct SearchOutcome {
    bool connected = false; // the engine's page was obtained
    bool abandoned = false; // a newer search took over; nothing was written
    int linksCounted = 0;   // accepted links (1, 2) or intermediate links started (0, 3)
    bool nextPageEnabled = false;
    bool busy = false; // engines 4, 5: the library asked us to wait longer than we do
    QStringList urls;  // the accepted movie addresses, in the engine's order
};

using HttpSessionFactory = std::function<std::unique_ptr<HttpSession>(const HttpOptions &)>;

// One search or page change: writes the page's header, fetches and harvests the engine's page,
// fetches the intermediate pages, writes the entries and the end. Run blocks; Abandon may be
// called from any thread and makes a running job stop writing and report nothing more.
class SearchJob {
public:
    SearchJob(int engine, QString words, int page, QString pageFile, EngineHosts hosts,
              SearchLimits limits = {}, HttpSessionFactory http = {});
    ~SearchJob();

    int Engine() const { return m_engine; }
    QString Url() const { return m_url; }

    // Calls finished once, as soon as the page is complete (or the connection failed, or the
    // job was abandoned), then waits for its link threads, whose time is bounded, and returns
    // the same outcome.
    SearchOutcome Run(const std::function<void(const SearchOutcome &)> &finished = {});
    void Abandon();
    bool Abandoned() const { return m_abandoned->load(); }

private:
    struct Entry {
        QString url;
        QString text;
    };
    std::optional<Entry> EntryFromFragment(QByteArrayView fragment) const;
    std::optional<Entry> FetchLink(const QString &url) const;
    // Runs fetch(0 … count-1) on at most maxLinkThreads threads (started into `workers`, which
    // the caller joins) and returns, in order, what reported before every one had, the job was
    // abandoned, or the time for the rounds (plus extraMs) was up.
    std::vector<Entry> FetchAll(int count, std::function<std::vector<Entry>(int)> fetch,
                                qint64 extraMs, std::vector<std::thread> &workers);
    // Engines 4 and 5: the JSON answers instead of a page of links.
    std::vector<Entry> HarvestArchive(SearchOutcome &outcome, std::vector<std::thread> &workers);
    // A session for one page of the search: its deadlines, cancelled with the search; the
    // player's own user agent unless one is given.
    std::unique_ptr<HttpSession> PageSession(const QByteArray &userAgent = {}) const;
    bool Write(const QByteArray &bytes, bool header);

    int m_engine;
    QString m_words;
    int m_page;
    QString m_pageFile;
    EngineHosts m_hosts;
    SearchLimits m_limits;
    HttpSessionFactory m_http;
    QByteArray m_charset;
    QString m_url;
    // Shared with the job's HTTP sessions: abandoning ends their waits at once.
    std::shared_ptr<std::atomic_bool> m_abandoned = std::make_shared<std::atomic_bool>(false);
};

} // namespace kz
