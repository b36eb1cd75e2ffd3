#include "Harvest.h"

#include "platform/Paths.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QHostInfo>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

namespace kz {

namespace {

using Clock = std::chrono::steady_clock;

constexpr QByteArrayView kOpen("<a href=");
constexpr QByteArrayView kClose("</a>");
constexpr QByteArrayView kSwf(".swf");

// Writes to the result page file come from the search threads of more than one search: the
// header of a new search must never interleave with the last appends of an abandoned one.
std::mutex &PageFileLock() {
    static std::mutex lock;
    return lock;
}

QString Decode(QByteArrayView bytes, const QByteArray &charset) {
    if (charset == "UTF-8")
        return QString::fromUtf8(bytes);
    return FromGbk(bytes.toByteArray());
}

QByteArray Encode(const QString &text, const QByteArray &charset) {
    if (charset == "UTF-8")
        return text.toUtf8();
    return ToGbk(text);
}

// Resolves the character references a page commonly uses; others stay as written.
QString ResolveReferences(const QString &text) {
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const qsizetype semi = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semi < 0 || semi - i > 10) {
            out += c;
            continue;
        }
        const QString name = text.mid(i + 1, semi - i - 1);
        char32_t code = 0;
        if (name == QLatin1String("amp"))
            code = '&';
        else if (name == QLatin1String("lt"))
            code = '<';
        else if (name == QLatin1String("gt"))
            code = '>';
        else if (name == QLatin1String("quot"))
            code = '"';
        else if (name == QLatin1String("apos"))
            code = '\'';
        else if (name == QLatin1String("nbsp"))
            code = ' ';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
            const uint v = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok && v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF))
                code = v;
        }
        if (code == 0) {
            out += c;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

// The text of markup with its tags, scripts and styles left out.
QString WithoutTags(const QString &markup) {
    QString out;
    for (qsizetype i = 0; i < markup.size();) {
        if (markup.at(i) != u'<') {
            out += markup.at(i++);
            continue;
        }
        bool skipped = false;
        for (const QLatin1String element : {QLatin1String("script"), QLatin1String("style")}) {
            if (markup.mid(i + 1, element.size()).compare(element, Qt::CaseInsensitive) != 0)
                continue;
            const QString end = QStringLiteral("</") + element;
            const qsizetype at = markup.indexOf(end, i, Qt::CaseInsensitive);
            const qsizetype close = at < 0 ? -1 : markup.indexOf(u'>', at);
            i = close < 0 ? markup.size() : close + 1;
            skipped = true;
            break;
        }
        if (skipped)
            continue;
        const qsizetype close = markup.indexOf(u'>', i);
        i = close < 0 ? markup.size() : close + 1;
        out += u' ';
    }
    return out;
}

qsizetype IndexOfSwfAnyCase(QByteArrayView data, qsizetype from) {
    return QLatin1StringView(data.data(), data.size())
        .indexOf(QLatin1StringView(kSwf.data(), kSwf.size()), from, Qt::CaseInsensitive);
}

// True when the address fits the result page: escaped and encoded as written there, within the
// bytes the page is read back with.
bool FitsResultPage(const QString &url, const QByteArray &charset) {
    return Encode(HtmlEscape(url), charset).size() <= kResultUrlMaxBytes;
}

// An entry's text, cut with an ellipsis to what the list shows.
QString ClippedEntryText(QString text) {
    if (text.size() > kEntryTextMaxChars)
        text = text.left(kEntryTextMaxChars - 1) + QChar(0x2026);
    return text;
}

QString UrlFileName(const QString &url) {
    const QString path = QUrl(url).path();
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.isEmpty() ? url : name;
}

} // namespace

qsizetype ScanFragments(QByteArrayView data,
                        const std::function<void(QByteArrayView)> &onFragment) {
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = data.indexOf(kOpen, from);
        if (open < 0) {
            // A "<a href=" cut by the end of the data starts here: keep its beginning too.
            for (qsizetype keep = std::min<qsizetype>(kOpen.size() - 1, data.size() - from);
                 keep > 0; --keep) {
                if (data.last(keep) == kOpen.first(keep))
                    return data.size() - keep;
            }
            return data.size();
        }
        const qsizetype close = data.indexOf(kClose, open + kOpen.size());
        if (close < 0)
            return open;
        const qsizetype end = close + kClose.size();
        if (end - open <= kFragmentMaxBytes)
            onFragment(data.sliced(open, end - open));
        from = end;
    }
}

bool ScanStream(const std::function<qint64(char *, qint64)> &read, qsizetype window,
                const std::function<void(QByteArrayView)> &onFragment) {
    if (window <= 0)
        return false;
    QByteArray buffer(window, '\0');
    qsizetype carried = 0;
    for (;;) {
        if (carried >= window)
            return true; // one fragment fills the whole window: the scan ends
        const qint64 n = read(buffer.data() + carried, window - carried);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        const qsizetype filled = carried + qsizetype(n);
        const QByteArrayView data(buffer.constData(), filled);
        const qsizetype rest = ScanFragments(data, onFragment);
        carried = filled - rest;
        if (carried > 0 && rest > 0)
            std::memmove(buffer.data(), buffer.constData() + rest, size_t(carried));
    }
}

QString ResultLinkUrl(QByteArrayView link, const QByteArray &charset, bool anyCase) {
    const qsizetype first = link.indexOf('"');
    if (first < 0)
        return {};
    const qsizetype swf =
        anyCase ? IndexOfSwfAnyCase(link, first + 1) : link.indexOf(kSwf, first + 1);
    if (swf < 0)
        return {};
    const qsizetype last = link.indexOf('"', swf + kSwf.size());
    if (last < 0)
        return {};
    const QByteArrayView raw = link.sliced(first + 1, last - first - 1);
    if (raw.size() > kResultUrlMaxBytes)
        return {};
    const QString url = ResolveReferences(Decode(raw, charset)).trimmed();
    if (!IsValidWebUrl(url))
        return {};
    // The address is written into the result page in its charset and read back after a
    // restart: one the charset cannot hold (a reference to a character GBK lacks) is kept in
    // its percent-encoded form, which every charset holds, so both reads give the same address.
    const QString listed = Decode(Encode(url, charset), charset) == url
                               ? url
                               : QString::fromLatin1(QUrl(url, QUrl::StrictMode).toEncoded());
    // And the page must hold it: as written there, an address may be longer than it was in the
    // engine's page.
    if (!FitsResultPage(listed, charset))
        return {};
    return listed;
}

std::optional<FragmentParts> SplitFragment(QByteArrayView fragment) {
    const qsizetype first = fragment.indexOf('"');
    const qsizetype second = first < 0 ? -1 : fragment.indexOf('"', first + 1);
    const qsizetype gt = second < 0 ? -1 : fragment.indexOf('>', second + 1);
    if (gt < 0)
        return std::nullopt;
    FragmentParts parts;
    parts.href = fragment.sliced(first + 1, second - first - 1).toByteArray();
    qsizetype end = fragment.size();
    if (fragment.endsWith(kClose))
        end -= kClose.size();
    parts.inner = fragment.sliced(gt + 1, std::max<qsizetype>(0, end - gt - 1)).toByteArray();
    return parts;
}

QByteArray LinkLine(QByteArrayView fragment) {
    const qsizetype first = fragment.indexOf('"');
    const qsizetype second = first < 0 ? -1 : fragment.indexOf('"', first + 1);
    const qsizetype gt = second < 0 ? -1 : fragment.indexOf('>', second + 1);
    if (gt < 0)
        return {};
    return fragment.first(second + 1).toByteArray() + fragment.sliced(gt).toByteArray();
}

QString PlainLinkText(const QByteArray &inner, const QByteArray &charset) {
    return ClippedEntryText(ResolveReferences(WithoutTags(Decode(inner, charset))).simplified());
}

QString HtmlEscape(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray PageEntry(const QString &url, const QString &text, const QByteArray &charset) {
    const QString shown = text.isEmpty() ? UrlFileName(url) : text;
    const QString line = QStringLiteral("<a href=\"") + HtmlEscape(url) + QStringLiteral("\">") +
                         HtmlEscape(shown) + QStringLiteral("</a>");
    return "\r\n" + Encode(line, charset) + "\r\n\r\n<p></p>\r\n";
}

QString ResultPagePath() {
    const QString folder = TempFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1String(kResultPageName);
}

QByteArray PageHeader(const QByteArray &charset) {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
           "\"http://www.w3.org/TR/html4/loose.dtd\">\r\n"
           "<html>\r\n"
           "<head>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
           charset +
           "\">\r\n"
           "<title>Vobi Search Result</title>\r\n"
           "</head>\r\n"
           "<body>\r\n";
}

QByteArray PageEnd() {
    return "\r\n</body>\r\n</html>\r\n";
}

bool WritePageHeader(const QString &path, const QByteArray &charset) {
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray header = PageHeader(charset);
    return file.write(header) == header.size();
}

bool AppendToPage(const QString &path, const QByteArray &bytes) {
    if (path.isEmpty() || !QFile::exists(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(bytes) == bytes.size();
}

QStringList ReloadResultLinks(const QString &path) {
    QStringList urls;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return urls;
    // The page says its charset in its header.
    const QByteArray head = file.peek(1024);
    const QByteArray charset =
        head.contains("charset=UTF-8") ? QByteArrayLiteral("UTF-8") : QByteArrayLiteral("gb2312");
    ScanStream([&file](char *to, qint64 max) { return file.read(to, max); }, kReloadChunkBytes,
               [&](QByteArrayView fragment) {
                   // The library's file names end in ".swf" in any case.
                   const QString url = ResultLinkUrl(fragment, charset, true);
                   if (!url.isEmpty())
                       urls << url;
               });
    return urls;
}

// --- the search ------------------------------------------------------------------------------

SearchJob::SearchJob(int engine, QString words, int page, QString pageFile, EngineHosts hosts,
                     SearchLimits limits, HttpSessionFactory http)
    : m_engine(ClampEngine(engine)), m_words(std::move(words)), m_page(std::max(0, page)),
      m_pageFile(std::move(pageFile)), m_hosts(std::move(hosts)), m_limits(limits),
      m_http(std::move(http)) {
    if (!m_http)
        m_http = [](const HttpOptions &options) { return CreateHttpSession(options); };
    m_charset = PageCharset(m_engine);
    m_url = QueryUrl(m_engine, m_words, m_page, m_hosts);
}

SearchJob::~SearchJob() = default;

void SearchJob::Abandon() {
    std::lock_guard lock(PageFileLock());
    *m_abandoned = true;
}

bool SearchJob::Write(const QByteArray &bytes, bool header) {
    std::lock_guard lock(PageFileLock());
    if (*m_abandoned)
        return false;
    return header ? WritePageHeader(m_pageFile, m_charset) : AppendToPage(m_pageFile, bytes);
}

std::optional<SearchJob::Entry> SearchJob::EntryFromFragment(QByteArrayView fragment) const {
    const std::optional<FragmentParts> parts = SplitFragment(fragment);
    if (!parts)
        return std::nullopt;
    const QString url = ResultLinkUrl(LinkLine(fragment), m_charset);
    if (url.isEmpty())
        return std::nullopt;
    return Entry{url, PlainLinkText(parts->inner, m_charset)};
}

QString ResolveSiteLink(const QString &root, const QString &link) {
    const QUrl base(root);
    const QUrl resolved = base.resolved(QUrl::fromEncoded(link.toUtf8(), QUrl::TolerantMode));
    if (!resolved.isValid() || base.host().isEmpty() || resolved.scheme() != base.scheme() ||
        resolved.host().compare(base.host(), Qt::CaseInsensitive) != 0 ||
        resolved.port() != base.port() || !resolved.userInfo().isEmpty())
        return {};
    return QString::fromLatin1(resolved.toEncoded());
}

bool IsLocalNetworkAddress(const QHostAddress &address) {
    if (address.isNull() || address.isLoopback() || address.isLinkLocal() ||
        address.isSiteLocal() || address.isUniqueLocalUnicast() || address.isMulticast() ||
        address.isBroadcast() || address == QHostAddress(QHostAddress::AnyIPv6))
        return true;
    bool v4 = false;
    const quint32 a = address.toIPv4Address(&v4); // also an IPv4 address mapped into IPv6
    if (!v4)
        return false;
    const auto in = [a](quint32 net, int bits) {
        return (a >> (32 - bits)) == (net >> (32 - bits));
    };
    return in(0x00000000, 8) || in(0x0A000000, 8) || in(0x7F000000, 8) || in(0xA9FE0000, 16) ||
           in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0x64400000, 10);
}

namespace {

// The name "localhost" and the names under it (RFC 6761), with or without the final dot.
bool IsLocalName(QString host) {
    host = host.toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    return host == QLatin1String("localhost") || host.endsWith(QStringLiteral(".localhost"));
}

// A host's text: an address (QUrl has written every IPv4 form as dotted decimal) or a name.
bool IsLocalHostText(const QString &host) {
    const QHostAddress literal(host);
    return literal.isNull() ? IsLocalName(host) : IsLocalNetworkAddress(literal);
}

} // namespace

bool MayFetchLinkedPage(const QUrl &url, const QString &engineHost, const HostResolver &resolve) {
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    if (IsLocalHostText(engineHost))
        return true; // the engine itself is a local stand-in
    const QString host = url.host();
    if (IsLocalHostText(host))
        return false;
    if (!QHostAddress(host).isNull())
        return true;
    const QList<QHostAddress> addresses =
        resolve ? resolve(host) : QHostInfo::fromName(host).addresses();
    return std::none_of(addresses.begin(), addresses.end(), IsLocalNetworkAddress);
}

std::optional<SearchJob::Entry> SearchJob::FetchLink(const QString &url) const {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(m_limits.linkDeadlineMs);
    const auto remainingMs = [&deadline] {
        return int(std::max<qint64>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                   .count()));
    };
    HttpOptions options;
    options.maxRedirects = 2;
    // Every hop may wait for its headers: together they stay inside the deadline.
    options.connectTimeoutMs =
        std::min(m_limits.linkConnectTimeoutMs, remainingMs() / (options.maxRedirects + 1));
    options.readTimeoutMs = std::min(m_limits.linkReadTimeoutMs, remainingMs());
    // The link and every redirect of it stay out of the user's own network.
    options.mayRequest = [engineHost = QUrl(m_hosts.bases.value(m_engine)).host(),
                          resolve = m_limits.resolve](const QUrl &address) {
        return MayFetchLinkedPage(address, engineHost, resolve);
    };
    std::unique_ptr<HttpSession> session = m_http(options);
    if (session)
        session->SetCancelFlag(m_abandoned);
    if (!session || *m_abandoned)
        return std::nullopt;
    std::unique_ptr<HttpConnection> connection =
        session->Open(QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode));
    if (!connection || connection->Status() < 200 || connection->Status() > 299)
        return std::nullopt;
    QByteArray body(kLinkPageMaxBytes, '\0');
    qsizetype filled = 0;
    while (filled < body.size()) {
        if (*m_abandoned || remainingMs() == 0)
            return std::nullopt;
        const std::int64_t n = connection->Read(body.data() + filled, body.size() - filled);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        filled += qsizetype(n);
    }
    if (filled >= kLinkPageMaxBytes)
        return std::nullopt; // too big to be an intermediate page
    connection->Close();
    std::optional<Entry> found;
    ScanFragments(QByteArrayView(body.constData(), filled), [&](QByteArrayView fragment) {
        if (!found && fragment.contains(kSwf) && SplitFragment(fragment)) {
            // The first movie fragment decides, whether or not its address is accepted.
            found = EntryFromFragment(fragment);
            if (!found)
                found = Entry{};
        }
    });
    if (found && found->url.isEmpty())
        return std::nullopt;
    return found;
}

std::vector<SearchJob::Entry> SearchJob::FetchAll(int count,
                                                  std::function<std::vector<Entry>(int)> fetch,
                                                  qint64 extraMs,
                                                  std::vector<std::thread> &workers) {
    std::vector<Entry> entries;
    if (count <= 0)
        return entries;
    // Shared with the workers, which may outlive the wait below.
    struct Pool {
        std::mutex lock;
        std::condition_variable changed;
        int next = 0;
        int reported = 0;
        bool closed = false;
        std::vector<std::vector<Entry>> results;
    };
    auto pool = std::make_shared<Pool>();
    pool->results.resize(size_t(count));
    const int threads = std::min(std::max(1, m_limits.maxLinkThreads), count);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, pool, fetch, count] {
            for (;;) {
                int i;
                {
                    std::lock_guard lock(pool->lock);
                    if (pool->closed || *m_abandoned || pool->next >= count)
                        return;
                    i = pool->next++;
                }
                std::vector<Entry> result = fetch(i);
                std::lock_guard lock(pool->lock);
                if (pool->closed)
                    return; // too late: the page is already finished
                pool->results[size_t(i)] = std::move(result);
                ++pool->reported;
                pool->changed.notify_all();
            }
        });
    }
    const int rounds = (count + threads - 1) / threads;
    const Clock::time_point until =
        Clock::now() +
        std::chrono::milliseconds(qint64(m_limits.linkDeadlineMs) * rounds + 500 + extraMs);
    std::unique_lock lock(pool->lock);
    // Abandon comes from another thread without notice here: look again now and then.
    while (pool->reported < count && !*m_abandoned && Clock::now() < until)
        pool->changed.wait_for(lock, std::chrono::milliseconds(100));
    pool->closed = true;
    for (std::vector<Entry> &result : pool->results)
        for (Entry &entry : result)
            entries.push_back(std::move(entry));
    return entries;
}

std::unique_ptr<HttpSession> SearchJob::PageSession(const QByteArray &userAgent) const {
    HttpOptions options;
    options.connectTimeoutMs = m_limits.connectTimeoutMs;
    options.readTimeoutMs = m_limits.readTimeoutMs;
    options.transferTimeoutMs = m_limits.pageDeadlineMs;
    if (!userAgent.isEmpty())
        options.userAgent = userAgent;
    std::unique_ptr<HttpSession> session = m_http(options);
    if (session)
        session->SetCancelFlag(m_abandoned);
    return session;
}

std::vector<SearchJob::Entry> SearchJob::HarvestArchive(SearchOutcome &outcome,
                                                        std::vector<std::thread> &workers) {
    std::vector<Entry> entries;
    if (m_engine == kEngineWaybackSite &&
        WaybackUrlPrefix(QString::fromUtf8(WordBytes(m_engine, m_words))).isEmpty()) {
        outcome.connected = true; // nothing to ask for
        return entries;
    }
    std::unique_ptr<HttpSession> session = PageSession(ArchiveUserAgent());
    if (!session)
        return entries;
    const ArchiveAnswer answer = ArchiveGet(*session, m_url, m_limits.archive, m_abandoned);
    session.reset();
    if (*m_abandoned)
        return entries;
    if (answer.result == ArchiveAnswer::Result::Busy) {
        outcome.connected = true;
        outcome.busy = true;
        return entries;
    }
    if (answer.result != ArchiveAnswer::Result::Ok)
        return entries;
    outcome.connected = true;

    if (m_engine == kEngineWaybackSite) {
        const WaybackPage page = ParseWaybackCaptures(answer.body, m_hosts.waybackRoot, m_page);
        for (const WaybackCapture &capture : page.captures)
            if (FitsResultPage(capture.url, m_charset))
                entries.push_back({capture.url, capture.text});
        outcome.linksCounted = int(page.captures.size());
        outcome.nextPageEnabled = page.more;
        return entries;
    }

    // Engine 4: each item's file list, through the same bounded threads as the links.
    const ArchiveSearchPage page = ParseArchiveSearch(answer.body);
    std::vector<ArchiveItem> items = page.items;
    if (items.size() > size_t(kResultsPerPage))
        items.resize(size_t(kResultsPerPage));
    outcome.linksCounted = int(items.size());
    outcome.nextPageEnabled = page.numFound >= 0
                                  ? page.numFound > qint64(m_page + 1) * kResultsPerPage
                                  : int(items.size()) >= kResultsPerPage;
    auto busy = std::make_shared<std::atomic_bool>(false);
    entries = FetchAll(
        int(items.size()),
        [this, items, busy](int i) {
            std::vector<Entry> found;
            if (*busy)
                return found; // the library asked to wait: no more of it now
            std::unique_ptr<HttpSession> session = PageSession(ArchiveUserAgent());
            if (!session)
                return found;
            const ArchiveItem &item = items.at(size_t(i));
            const ArchiveAnswer files = ArchiveGet(
                *session, m_hosts.archiveRoot + QStringLiteral("/metadata/") + item.identifier,
                m_limits.archive, m_abandoned);
            if (files.result == ArchiveAnswer::Result::Busy)
                *busy = true;
            if (files.result != ArchiveAnswer::Result::Ok)
                return found;
            for (const ArchiveFile &file : ParseArchiveSwfFiles(files.body)) {
                const QString url =
                    ArchiveDownloadUrl(m_hosts.archiveRoot, item.identifier, file.name);
                // The result page holds it within the bytes it is read back with.
                if (url.isEmpty() || !IsValidWebUrl(url) || !FitsResultPage(url, m_charset))
                    continue;
                found.push_back({url, ClippedEntryText(ArchiveEntryText(item.title, file))});
            }
            return found;
        },
        m_limits.archive.busyWaitMs, workers);
    outcome.busy = *busy;
    return entries;
}

SearchOutcome SearchJob::Run(const std::function<void(const SearchOutcome &)> &finished) {
    SearchOutcome outcome;
    const auto finish = [&](SearchOutcome &o) {
        o.abandoned = *m_abandoned;
        if (finished)
            finished(o);
        return o;
    };
    Write({}, true);
    std::vector<std::thread> workers;
    const auto joinWorkers = [&workers] {
        for (std::thread &worker : workers)
            worker.join();
    };

    if (IsArchiveEngine(m_engine)) {
        const std::vector<Entry> entries = HarvestArchive(outcome, workers);
        if (outcome.connected && !*m_abandoned) {
            for (const Entry &entry : entries) {
                Write(PageEntry(entry.url, entry.text, m_charset), false);
                outcome.urls << entry.url;
            }
            Write(PageEnd(), false);
        }
        finish(outcome);
        joinWorkers();
        return outcome;
    }

    std::unique_ptr<HttpSession> session = PageSession();
    std::unique_ptr<HttpConnection> connection =
        session ? session->Open(QUrl::fromEncoded(m_url.toLatin1(), QUrl::StrictMode)) : nullptr;
    if (!connection || *m_abandoned)
        return finish(outcome);
    outcome.connected = true;
    const bool direct = m_engine == kEngineGoogleChina || m_engine == kEngineGoogleEnglish;
    std::vector<Entry> entries;
    QStringList links;
    qint64 pageBytes = 0;
    ScanStream(
        [&](char *to, qint64 max) -> qint64 {
            max = std::min(max, kEnginePageMaxBytes - pageBytes);
            if (*m_abandoned || max <= 0)
                return 0;
            // One read at a time: what came before a failure (the page's deadline) is
            // harvested, the read that fails ends the scan.
            const qint64 n = connection->Read(to, max);
            pageBytes += std::max<qint64>(n, 0);
            return n;
        },
        kHarvestWindowBytes,
        [&](QByteArrayView fragment) {
            if (!fragment.contains(kSwf) ||
                int(direct ? entries.size() : links.size()) >= kPageLinksMax)
                return;
            const std::optional<FragmentParts> parts = SplitFragment(fragment);
            if (!parts)
                return;
            if (direct) {
                if (std::optional<Entry> entry = EntryFromFragment(fragment))
                    entries.push_back(std::move(*entry));
                return;
            }
            if (parts->href.size() >= kLinkUrlMaxBytes)
                return;
            QString address = ResolveReferences(Decode(parts->href, m_charset)).trimmed();
            if (m_engine == kEngineYahooChina) {
                if (!fragment.contains(QByteArrayView("下载")))
                    return;
                address = ResolveSiteLink(m_hosts.yahooRoot, address);
                if (address.isEmpty() || address.size() >= kLinkUrlMaxBytes)
                    return; // off the site
            }
            links << address;
        });
    connection->Close();
    connection.reset();
    session.reset();

    // The intermediate pages: a few at a time, each within its deadline; the page is finished
    // when all have reported or their time is up, whichever comes first.
    std::vector<Entry> fetched = FetchAll(
        int(links.size()),
        [this, &links](int i) {
            std::vector<Entry> found;
            if (std::optional<Entry> entry = FetchLink(links.at(i)))
                found.push_back(std::move(*entry));
            return found;
        },
        0, workers);
    for (Entry &entry : fetched)
        entries.push_back(std::move(entry));

    if (!*m_abandoned) {
        for (const Entry &entry : entries) {
            // An entry the page file cannot take is lost there but still listed.
            Write(PageEntry(entry.url, entry.text, m_charset), false);
            outcome.urls << entry.url;
        }
        Write(PageEnd(), false);
        outcome.linksCounted = direct ? int(entries.size()) : int(links.size());
        outcome.nextPageEnabled = outcome.linksCounted >= kNextPageThreshold;
    }
    finish(outcome);
    joinWorkers();
    return outcome;
}

} // namespace kz
