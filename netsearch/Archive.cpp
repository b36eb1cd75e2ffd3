#include "Archive.h"

#include "netsearch/Engines.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#ifndef KZ_VERSION
#define KZ_VERSION "0"
#endif

namespace kz {

namespace {

using Clock = std::chrono::steady_clock;

// The service gives a field as a string, an array of strings or a number.
QString FirstText(const QJsonValue &value) {
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'f', 0);
    if (value.isArray()) {
        for (const QJsonValue &v : value.toArray()) {
            const QString text = FirstText(v);
            if (!text.isEmpty())
                return text;
        }
    }
    return {};
}

qint64 NumberOf(const QJsonValue &value) {
    if (value.isDouble()) {
        const double d = value.toDouble();
        return d >= 0 && d < 9.0e15 ? qint64(d) : -1;
    }
    bool ok = false;
    const qint64 n = FirstText(value).trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

QJsonDocument ReadJson(QByteArrayView json) {
    QJsonParseError error{};
    return QJsonDocument::fromJson(json.toByteArray(), &error);
}

QString OneLine(const QString &text) {
    QString out = text.simplified();
    // Control characters the page has no use for.
    out.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return out;
}

QString SizeText(qint64 size) {
    if (size < 0)
        return {};
    if (size < 1024)
        return QStringLiteral("%1 B").arg(size);
    if (size < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(size) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(size) / (1024 * 1024), 0, 'f', 1);
}

bool EndsWithSwf(const QString &path) {
    return path.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

// --- the gate and the cache shared by every search of the process ----------------------------

struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int inFlight = 0;
    Clock::time_point nextStart{};
};

Gate &SharedGate() {
    static Gate gate;
    return gate;
}

struct CacheEntry {
    QString url;
    Clock::time_point at;
    QByteArray body;
};
constexpr size_t kCacheEntries = 64;
constexpr qint64 kCacheBytes = 16 * 1024 * 1024;

std::mutex &CacheLock() {
    static std::mutex lock;
    return lock;
}
std::deque<CacheEntry> &Cache() {
    static std::deque<CacheEntry> cache;
    return cache;
}

std::optional<QByteArray> Cached(const QString &url) {
    std::lock_guard guard(CacheLock());
    const Clock::time_point now = Clock::now();
    for (const CacheEntry &e : Cache())
        if (e.url == url && now - e.at < std::chrono::seconds(kArchiveCacheSeconds))
            return e.body;
    return std::nullopt;
}

void Remember(const QString &url, const QByteArray &body) {
    std::lock_guard guard(CacheLock());
    std::deque<CacheEntry> &cache = Cache();
    std::erase_if(cache, [&](const CacheEntry &e) { return e.url == url; });
    cache.push_back({url, Clock::now(), body});
    qint64 total = 0;
    for (const CacheEntry &e : cache)
        total += e.body.size();
    while (!cache.empty() && (cache.size() > kCacheEntries || total > kCacheBytes)) {
        total -= cache.front().body.size();
        cache.pop_front();
    }
}

bool IsCancelled(const std::shared_ptr<const std::atomic_bool> &cancel) {
    return cancel && cancel->load();
}

// Sleeps in short steps so that a cancel ends the wait at once. False when cancelled.
bool WaitUntil(Clock::time_point until, const std::shared_ptr<const std::atomic_bool> &cancel) {
    while (Clock::now() < until) {
        if (IsCancelled(cancel))
            return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(50)));
    }
    return !IsCancelled(cancel);
}

// A place among the requests in flight, and the start no sooner than the spacing allows.
class GateTicket {
public:
    GateTicket(int spacingMs, const std::shared_ptr<const std::atomic_bool> &cancel) {
        Gate &gate = SharedGate();
        std::unique_lock lock(gate.lock);
        for (;;) {
            if (IsCancelled(cancel))
                return;
            const Clock::time_point now = Clock::now();
            if (gate.inFlight < kArchiveMaxInFlight && now >= gate.nextStart) {
                ++gate.inFlight;
                gate.nextStart = now + std::chrono::milliseconds(spacingMs);
                m_held = true;
                return;
            }
            const Clock::time_point wake = gate.inFlight < kArchiveMaxInFlight
                                               ? gate.nextStart
                                               : now + std::chrono::milliseconds(50);
            gate.changed.wait_until(lock, std::min(wake, now + std::chrono::milliseconds(50)));
        }
    }
    ~GateTicket() {
        if (!m_held)
            return;
        Gate &gate = SharedGate();
        std::lock_guard lock(gate.lock);
        --gate.inFlight;
        gate.changed.notify_all();
    }
    GateTicket(const GateTicket &) = delete;
    GateTicket &operator=(const GateTicket &) = delete;
    bool Held() const { return m_held; }

private:
    bool m_held = false;
};

// Retry-After as seconds; the date form counts from now. -1 when absent or unreadable.
qint64 RetryAfterMs(const QByteArray &value) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? -1 : std::min<qint64>(seconds, 86400) * 1000;
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!at.isValid())
        return -1;
    return std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(at));
}

} // namespace

ArchiveSearchPage ParseArchiveSearch(QByteArrayView json) {
    ArchiveSearchPage page;
    const QJsonDocument doc = ReadJson(json);
    if (!doc.isObject())
        return page;
    const QJsonValue response = doc.object().value(QLatin1String("response"));
    if (!response.isObject())
        return page;
    const QJsonObject r = response.toObject();
    page.ok = true;
    page.numFound = NumberOf(r.value(QLatin1String("numFound")));
    for (const QJsonValue &d : r.value(QLatin1String("docs")).toArray()) {
        const QJsonObject doc = d.toObject();
        const QString identifier = FirstText(doc.value(QLatin1String("identifier"))).trimmed();
        if (!IsArchiveIdentifier(identifier))
            continue;
        QString title = OneLine(FirstText(doc.value(QLatin1String("title"))));
        if (title.isEmpty())
            title = identifier;
        page.items.push_back({identifier, title});
        if (page.items.size() >= size_t(kResultsPerPage) * 5)
            break; // a page asks for 20; more is not a page of ours
    }
    return page;
}

std::vector<ArchiveFile> ParseArchiveSwfFiles(QByteArrayView json) {
    std::vector<ArchiveFile> files;
    const QJsonDocument doc = ReadJson(json);
    // The whole record has "files"; a read of its files alone has them under "result".
    QJsonArray list;
    if (doc.isObject()) {
        const QJsonObject o = doc.object();
        list = o.value(QLatin1String("files")).toArray();
        if (list.isEmpty())
            list = o.value(QLatin1String("result")).toArray();
    } else if (doc.isArray()) {
        list = doc.array();
    }
    for (const QJsonValue &f : list) {
        const QJsonObject file = f.toObject();
        const QString name = FirstText(file.value(QLatin1String("name")));
        if (!EndsWithSwf(name) || name.size() > 1024)
            continue;
        files.push_back({name, NumberOf(file.value(QLatin1String("size")))});
        if (files.size() >= 1000)
            break;
    }
    return files;
}

bool IsArchiveIdentifier(const QString &identifier) {
    if (identifier.isEmpty() || identifier.size() > 100 || identifier == QLatin1String(".") ||
        identifier == QLatin1String(".."))
        return false;
    for (const QChar c : identifier) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
              u == '.' || u == '_' || u == '-'))
            return false;
    }
    return true;
}

QString ArchiveDownloadUrl(const QString &root, const QString &identifier, const QString &name) {
    if (!IsArchiveIdentifier(identifier))
        return {};
    QString url = root + QStringLiteral("/download/") + identifier;
    for (const QString &segment : name.split(u'/')) {
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String(".."))
            return {};
        url += u'/' + QString::fromLatin1(PercentEncodeSegment(segment.toUtf8()));
    }
    return url;
}

QString ArchiveEntryText(const QString &title, const ArchiveFile &file) {
    const QString name = file.name.section(u'/', -1);
    QString text = title + QStringLiteral(" — ") + OneLine(name);
    if (file.size >= 0)
        text += QStringLiteral(" (") + SizeText(file.size) + u')';
    return text;
}

WaybackPage ParseWaybackCaptures(QByteArrayView json, const QString &root, int page) {
    WaybackPage out;
    const QJsonDocument doc = ReadJson(json);
    if (!doc.isArray())
        return out;
    const QJsonArray rows = doc.array();
    out.ok = true;
    if (rows.isEmpty())
        return out;
    const QJsonArray header = rows.at(0).toArray();
    qsizetype timestampAt = -1, originalAt = -1;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString name = header.at(i).toString();
        if (name == QLatin1String("timestamp"))
            timestampAt = i;
        else if (name == QLatin1String("original"))
            originalAt = i;
    }
    if (timestampAt < 0 || originalAt < 0) {
        out.ok = false;
        return out;
    }
    const qsizetype first = 1 + qsizetype(std::max(0, page)) * kResultsPerPage;
    const qsizetype end = first + kResultsPerPage;
    out.more = rows.size() > end;
    for (qsizetype i = first; i < std::min<qsizetype>(end, rows.size()); ++i) {
        const QJsonArray row = rows.at(i).toArray();
        const QString timestamp = FirstText(row.at(timestampAt)).trimmed();
        const QString original = FirstText(row.at(originalAt)).trimmed();
        bool digits = timestamp.size() >= 8 && timestamp.size() <= 14;
        for (const QChar c : timestamp)
            digits = digits && c.isDigit() && c.unicode() < 128;
        if (!digits || !IsValidWebUrl(original))
            continue;
        const QUrl originalUrl(original, QUrl::StrictMode);
        if (!EndsWithSwf(originalUrl.path()) || originalUrl.hasQuery() || originalUrl.hasFragment())
            continue;
        const QString url = root + QStringLiteral("/web/") + timestamp + QStringLiteral("id_/") +
                            QString::fromLatin1(originalUrl.toEncoded());
        if (!IsValidWebUrl(url))
            continue;
        const QString date =
            timestamp.left(4) + u'-' + timestamp.mid(4, 2) + u'-' + timestamp.mid(6, 2);
        const QString file = OneLine(originalUrl.fileName(QUrl::FullyDecoded));
        out.captures.push_back({url, file + u' ' + date + u' ' + originalUrl.host()});
    }
    return out;
}

QByteArray ArchiveUserAgent() {
    return QByteArrayLiteral("KZPlayer/" KZ_VERSION " (Flash movie player)");
}

ArchiveAnswer ArchiveGet(HttpSession &session, const QString &url, const ArchiveLimits &limits,
                         const std::shared_ptr<const std::atomic_bool> &cancel) {
    ArchiveAnswer answer;
    if (limits.cache) {
        if (std::optional<QByteArray> body = Cached(url)) {
            answer.result = ArchiveAnswer::Result::Ok;
            answer.body = std::move(*body);
            return answer;
        }
    }
    const QUrl address = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
    const Clock::time_point waitsEnd = Clock::now() + std::chrono::milliseconds(limits.busyWaitMs);
    int backOffMs = 1000;
    for (;;) {
        int status = 0;
        QByteArray retryAfter;
        {
            GateTicket ticket(std::max(0, limits.spacingMs), cancel);
            if (!ticket.Held())
                return answer;
            std::unique_ptr<HttpConnection> connection = session.Open(address);
            if (!connection)
                return answer;
            status = connection->Status();
            if (status >= 200 && status <= 299) {
                // Cut at the bound: a longer answer is not one of ours and fails to read.
                QByteArray body;
                char chunk[16 * 1024];
                while (body.size() < kArchiveAnswerMaxBytes) {
                    const std::int64_t n = connection->Read(
                        chunk,
                        std::min<std::int64_t>(sizeof chunk, kArchiveAnswerMaxBytes - body.size()));
                    if (n < 0)
                        return answer;
                    if (n == 0)
                        break;
                    body.append(chunk, qsizetype(n));
                }
                connection->Close();
                answer.result = ArchiveAnswer::Result::Ok;
                answer.body = std::move(body);
                // An error page sent with 200 is not kept: the next ask may get the answer.
                if (limits.cache && !ReadJson(answer.body).isNull())
                    Remember(url, answer.body);
                return answer;
            }
            retryAfter = connection->Header("Retry-After");
            connection->Close();
        }
        if (status != 429 && status != 503)
            return answer;
        qint64 waitMs = RetryAfterMs(retryAfter);
        if (waitMs < 0) {
            waitMs = backOffMs;
            backOffMs *= 2;
        }
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs);
        if (waitMs > limits.busyWaitMs || until > waitsEnd) {
            answer.result = ArchiveAnswer::Result::Busy;
            return answer;
        }
        if (!WaitUntil(until, cancel))
            return answer;
    }
}

void ClearArchiveCache() {
    std::lock_guard guard(CacheLock());
    Cache().clear();
}

} // namespace kz
