#pragma once
// A small blocking HTTP interface for worker threads: open an address, read its numeric status,
// read the body piece by piece, close. It follows redirects, uses the system proxy settings and
// gives up after time-outs. Each thread opens its own session; nothing here needs an event
// loop of the caller's.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace kz {

struct HttpOptions {
    int connectTimeoutMs = 15000; // from the request until the response headers
    int readTimeoutMs = 30000;    // the longest wait for more body bytes
    // The whole transfer, from the request (redirects included) to the body's last byte: a
    // server that drips its bytes just inside the read time-out still cannot hold a thread
    // longer. Long enough for the largest movie over a slow line.
    int transferTimeoutMs = 20 * 60 * 1000;
    int maxRedirects = 5;
    QByteArray userAgent = "KZPlayer";
    // Asked for every address a transfer would go to, the first and each redirect's; false
    // refuses it. None: every http(s) address.
    std::function<bool(const QUrl &)> mayRequest;
};

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // The response's status code (200, 404, …).
    virtual int Status() const = 0;
    // The declared body length, or -1 when the server did not say.
    virtual std::int64_t ContentLength() const = 0;
    // The address the body came from, after redirects.
    virtual QUrl FinalUrl() const = 0;
    // A response header's value, empty when absent.
    virtual QByteArray Header(const QByteArray &name) const = 0;
    // Reads up to max bytes: the count read, 0 at the end of the body, -1 on an error or a
    // time-out. Blocks until some bytes are there.
    virtual std::int64_t Read(char *to, std::int64_t max) = 0;
    virtual void Close() = 0;
};

class HttpSession {
public:
    virtual ~HttpSession() = default;
    // Sends a GET and waits for the response headers. Null when the address is not a valid
    // http(s) address, the host cannot be reached, or the time-out passes; `error` then says why.
    virtual std::unique_ptr<HttpConnection> Open(const QUrl &url, QString *error = nullptr) = 0;

    // A flag another thread may set to end this session's transfers at once: an Open waiting
    // fails, a Read waiting returns -1. Transfers also end when the workers are stopped at the
    // application's end (WorkersStopping).
    void SetCancelFlag(std::shared_ptr<const std::atomic_bool> flag) { m_cancel = std::move(flag); }
    bool Cancelled() const;
    // Shortens the transfer deadline of the transfers opened from now on (never lengthens the
    // one of the options): for reads that need only the first bytes of a body.
    void LimitTransfer(int ms) { m_transferLimitMs = ms; }

protected:
    std::shared_ptr<const std::atomic_bool> m_cancel;
    int m_transferLimitMs = -1; // none
};

// A session on Qt Network, for the calling thread only.
std::unique_ptr<HttpSession> CreateHttpSession(const HttpOptions &options = {});

// Reads a whole body of at most maxBytes; empty optional on error or when it is longer.
// (Convenience over Open/Read for small pages.)
struct HttpFetchResult {
    int status = 0;
    QByteArray body;
    bool ok = false;
};
HttpFetchResult HttpFetch(HttpSession &session, const QUrl &url, std::int64_t maxBytes);

// Reads until max bytes are there or the body ends, as one blocking read of a whole buffer:
// the count read (less than max only at the end of the body), or -1 on an error or a time-out.
std::int64_t HttpReadFull(HttpConnection &connection, char *to, std::int64_t max);

// Strict address check: parses strictly, schemes http and https only, with a host.
bool IsValidWebUrl(const QString &text);

} // namespace kz
