#include "platform/http/HttpClient.h"

#include "platform/Workers.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <mutex>

namespace kz {

namespace {

// Qt keeps at most this much unread body per reply, so a large body streams instead of piling
// up in memory while the caller is slow.
constexpr qint64 kReadBufferSize = 256 * 1024;

bool IsWebScheme(const QUrl &url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Errors Qt reports for HTTP statuses (4xx/5xx) leave the body intact; only the others are
// failures of the transfer itself.
bool IsTransferError(QNetworkReply::NetworkError error) {
    if (error == QNetworkReply::NoError)
        return false;
    const int code = int(error);
    const bool httpStatus = (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
    return !httpStatus;
}

// How often a wait looks at the cancel flags.
constexpr int kCancelPollMs = 50;

// Runs a local event loop until `done` holds, the time-out passes or `cancelled` holds. Works
// on any thread, also on threads Qt did not start.
bool WaitFor(QNetworkReply *reply, int timeoutMs, const std::function<bool()> &done,
             const std::function<bool()> &cancelled) {
    if (done())
        return true;
    if (timeoutMs <= 0 || cancelled())
        return false;
    QEventLoop loop;
    QTimer timer, poll;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cancelled())
            loop.quit();
    });
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, check);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, check);
    QObject::connect(reply, &QNetworkReply::finished, &loop, check);
    QObject::connect(reply, &QNetworkReply::errorOccurred, &loop, check);
    timer.start(timeoutMs);
    poll.start(kCancelPollMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done();
}

// The shorter of a wait's own time-out and what is left of the transfer's.
int WaitBudget(int timeoutMs, const QDeadlineTimer &transfer) {
    return int(std::min<qint64>(std::max(0, timeoutMs), transfer.remainingTime()));
}

bool HeadersArrived(QNetworkReply *reply) {
    return reply->isFinished() ||
           reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

struct ReplyDeleter {
    void operator()(QNetworkReply *reply) const {
        if (!reply)
            return;
        reply->disconnect();
        if (!reply->isFinished())
            reply->abort();
        delete reply;
    }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleter>;

class QtHttpConnection final : public HttpConnection {
public:
    QtHttpConnection(std::shared_ptr<QNetworkAccessManager> manager, ReplyPtr reply,
                     const HttpOptions &options, QDeadlineTimer deadline,
                     std::function<bool()> cancelled)
        : m_manager(std::move(manager)), m_reply(std::move(reply)), m_options(options),
          m_deadline(deadline), m_cancelled(std::move(cancelled)) {
        m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_contentLength = length.isValid() ? length.toLongLong() : -1;
        m_finalUrl = m_reply->url();
    }
    ~QtHttpConnection() override { Close(); }

    int Status() const override { return m_status; }
    std::int64_t ContentLength() const override { return m_contentLength; }
    QUrl FinalUrl() const override { return m_finalUrl; }
    QByteArray Header(const QByteArray &name) const override {
        return m_reply ? m_reply->rawHeader(name) : QByteArray();
    }

    std::int64_t Read(char *to, std::int64_t max) override {
        if (!m_reply || m_failed || max < 0 || (max > 0 && !to))
            return -1;
        if (max == 0)
            return 0;
        QNetworkReply *reply = m_reply.get();
        const bool ready = WaitFor(
            reply, WaitBudget(m_options.readTimeoutMs, m_deadline),
            [reply] { return reply->bytesAvailable() > 0 || reply->isFinished(); }, m_cancelled);
        if (!ready) {
            // Stalled, past the transfer's deadline, or cancelled: give up on the body; further
            // reads fail too.
            m_failed = true;
            reply->abort();
            return -1;
        }
        if (reply->bytesAvailable() > 0) {
            const qint64 n = reply->read(to, max);
            if (n < 0)
                m_failed = true;
            return n;
        }
        if (IsTransferError(reply->error())) {
            m_failed = true;
            return -1;
        }
        return 0;
    }

    void Close() override { m_reply.reset(); }

private:
    std::shared_ptr<QNetworkAccessManager> m_manager; // outlives the reply
    ReplyPtr m_reply;
    HttpOptions m_options;
    QDeadlineTimer m_deadline;
    std::function<bool()> m_cancelled;
    int m_status = 0;
    std::int64_t m_contentLength = -1;
    QUrl m_finalUrl;
    bool m_failed = false;
};

class QtHttpSession final : public HttpSession {
public:
    explicit QtHttpSession(const HttpOptions &options)
        : m_options(options), m_manager(std::make_shared<QNetworkAccessManager>()) {
        // Redirects are followed here, so their count and schemes stay under our control.
        m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }

    ~QtHttpSession() override = default;

    std::unique_ptr<HttpConnection> Open(const QUrl &url, QString *error) override {
        const auto fail = [error](const QString &why) -> std::unique_ptr<HttpConnection> {
            if (error)
                *error = why;
            return nullptr;
        };
        if (!url.isValid() || !IsWebScheme(url) || url.host().isEmpty())
            return fail(QStringLiteral("not an http(s) address"));
        if (m_options.mayRequest && !m_options.mayRequest(url))
            return fail(QStringLiteral("address refused"));

        // One deadline for the whole transfer, redirects and body included.
        const int budgetMs = m_transferLimitMs >= 0
                                 ? std::min(m_transferLimitMs, m_options.transferTimeoutMs)
                                 : m_options.transferTimeoutMs;
        const QDeadlineTimer deadline(std::max(0, budgetMs));
        const auto cancelled = [flag = m_cancel] {
            return WorkersStopping() || (flag && flag->load());
        };
        QUrl current = url.adjusted(QUrl::RemoveFragment);
        for (int hop = 0;; ++hop) {
            QNetworkRequest request(current);
            if (!m_options.userAgent.isEmpty())
                request.setHeader(QNetworkRequest::UserAgentHeader, m_options.userAgent);
            // The body as sent: declared lengths and progress then describe what is read.
            request.setRawHeader("Accept-Encoding", "identity");
            ReplyPtr reply(m_manager->get(request));
            reply->setReadBufferSize(kReadBufferSize);

            QNetworkReply *raw = reply.get();
            if (!WaitFor(
                    raw, WaitBudget(m_options.connectTimeoutMs, deadline),
                    [raw] { return HeadersArrived(raw); }, cancelled))
                return fail(cancelled() ? QStringLiteral("cancelled")
                                        : QStringLiteral("time-out waiting for the response"));

            const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (!statusValue.isValid()) {
                const QString why = reply->errorString();
                return fail(why.isEmpty() ? QStringLiteral("no response") : why);
            }
            const int status = statusValue.toInt();
            const QByteArray location = reply->rawHeader("Location");
            if (!IsRedirect(status) || location.isEmpty())
                return std::make_unique<QtHttpConnection>(m_manager, std::move(reply), m_options,
                                                          deadline, cancelled);

            if (hop >= m_options.maxRedirects)
                return fail(QStringLiteral("too many redirects"));
            const QUrl next =
                current.resolved(QUrl::fromEncoded(location)).adjusted(QUrl::RemoveFragment);
            if (!next.isValid() || !IsWebScheme(next) || next.host().isEmpty())
                return fail(QStringLiteral("redirect to an unsupported address"));
            // Never from https down to plain http.
            if (current.scheme() == QLatin1String("https") &&
                next.scheme() == QLatin1String("http"))
                return fail(QStringLiteral("redirect from https to http refused"));
            if (m_options.mayRequest && !m_options.mayRequest(next))
                return fail(QStringLiteral("redirect to a refused address"));
            current = next;
        }
    }

private:
    HttpOptions m_options;
    std::shared_ptr<QNetworkAccessManager> m_manager;
};

} // namespace

bool HttpSession::Cancelled() const {
    return WorkersStopping() || (m_cancel && m_cancel->load());
}

std::unique_ptr<HttpSession> CreateHttpSession(const HttpOptions &options) {
    static std::once_flag proxyOnce;
    std::call_once(proxyOnce, [] { QNetworkProxyFactory::setUseSystemConfiguration(true); });
    return std::make_unique<QtHttpSession>(options);
}

HttpFetchResult HttpFetch(HttpSession &session, const QUrl &url, std::int64_t maxBytes) {
    HttpFetchResult result;
    if (maxBytes < 0)
        return result;
    std::unique_ptr<HttpConnection> connection = session.Open(url);
    if (!connection)
        return result;
    result.status = connection->Status();
    const std::int64_t declared = connection->ContentLength();
    if (declared > maxBytes)
        return result;
    if (declared > 0)
        result.body.reserve(qsizetype(declared));

    char chunk[16 * 1024];
    for (;;) {
        const std::int64_t n = connection->Read(chunk, sizeof chunk);
        if (n < 0) {
            result.body.clear();
            return result;
        }
        if (n == 0)
            break;
        if (std::int64_t(result.body.size()) + n > maxBytes) {
            result.body.clear();
            return result;
        }
        result.body.append(chunk, qsizetype(n));
    }
    result.ok = true;
    return result;
}

std::int64_t HttpReadFull(HttpConnection &connection, char *to, std::int64_t max) {
    if (max < 0)
        return -1;
    std::int64_t done = 0;
    while (done < max) {
        const std::int64_t n = connection.Read(to + done, max - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool IsValidWebUrl(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && IsWebScheme(url) && !url.host().isEmpty();
}

} // namespace kz
