#include "HeaderProbe.h"

#include "formats/swf/SwfFraming.h"
#include "platform/http/HttpClient.h"

#include <QByteArray>
#include <QUrl>

#include <algorithm>

namespace kz {

ProbeOutcome ProbeMovieHeader(HttpSession &session, UrlProbeRecord &record, Event &headerFound,
                              int transferLimitMs) {
    if (record.url.isEmpty())
        return ProbeOutcome::Error;
    session.LimitTransfer(transferLimitMs);
    std::unique_ptr<HttpConnection> c = session.Open(QUrl(record.url));
    if (!c)
        return ProbeOutcome::Error;
    const int status = c->Status();
    if (status < 200 || status > 299) {
        c->Close();
        return ProbeOutcome::Silent;
    }
    QByteArray bytes(kProbeBytes, '\0');
    const std::int64_t n = HttpReadFull(*c, bytes.data(), kProbeBytes);
    c->Close();
    bool signature = false;
    const ProbeOutcome outcome =
        ParseProbedHeader(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                          std::size_t(std::max<std::int64_t>(n, 0)), record, signature);
    if (signature)
        headerFound.Set();
    return outcome;
}

ProbeOutcome ParseProbedHeader(const std::uint8_t *b, std::size_t count, UrlProbeRecord &record,
                               bool &signature) {
    signature = false;
    if (b == nullptr || count < std::size_t(kProbeMinBytes))
        return ProbeOutcome::Silent;
    SwfHeaderInfo info;
    if (IsSwfSignature(b, 'F')) {
        signature = true;
        ParseUncompressedSwfBuffer(b, count, info);
        info.isFlash = 1;
    } else if (IsSwfSignature(b, 'C') || IsSwfSignature(b, 'Z')) {
        signature = true;
        if (!ParseCompressedSwfBuffer(b, count, info))
            return ProbeOutcome::Silent;
        info.isFlash = 1;
    } else {
        return ProbeOutcome::Error;
    }
    record.version = info.version;
    record.frameRate = info.frameRate;
    record.frameCount = info.frameCount;
    record.right = info.right;
    record.left = info.left;
    record.bottom = info.bottom;
    record.top = info.top;
    record.backgroundColor = info.backgroundColor;
    record.isFlash = info.isFlash;
    return ProbeOutcome::Header;
}

void CopyProbedHeader(const UrlProbeRecord &r, SwfHeaderInfo &h) {
    h.version = r.version;
    h.frameRate = r.frameRate;
    h.frameCount = r.frameCount;
    h.right = r.right;
    h.left = r.left;
    h.bottom = r.bottom;
    h.top = r.top;
    h.backgroundColor = r.backgroundColor;
}

std::shared_ptr<std::atomic_bool> PendingDownloads::Add(const QString &url) {
    std::lock_guard lock(m_mutex);
    if (m_cancel && m_url == url)
        return nullptr;
    if (m_cancel)
        *m_cancel = true;
    m_url = url;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    return m_cancel;
}

void PendingDownloads::Remove(const std::shared_ptr<std::atomic_bool> &cancel) {
    std::lock_guard lock(m_mutex);
    if (cancel && m_cancel == cancel) {
        m_cancel.reset();
        m_url.clear();
    }
}

void PendingDownloads::CancelAll() {
    std::lock_guard lock(m_mutex);
    if (m_cancel)
        *m_cancel = true;
    m_cancel.reset();
    m_url.clear();
}

bool PendingDownloads::Contains(const QString &url) const {
    std::lock_guard lock(m_mutex);
    return m_cancel && m_url == url;
}

QStringList PendingDownloads::All() const {
    std::lock_guard lock(m_mutex);
    return m_cancel ? QStringList{m_url} : QStringList();
}

std::mutex &HeaderLock() {
    static std::mutex lock;
    return lock;
}

} // namespace kz
