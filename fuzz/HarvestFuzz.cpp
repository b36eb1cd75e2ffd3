// The net search's harvest over a hostile engine page: the fragment scanner through windows of
// every size against one scan of the whole page, then a whole search job over a session that
// serves the page (and, for the engines with intermediate pages, the page's head as each
// intermediate page; for the library's engine, the same bytes as the search answer and as every
// item's file list). The result page it writes must hold only our own markup, one anchor per
// listed movie, and read back to the same addresses.
//
// Input: byte 0 picks the engine and the size of the reads, byte 1 the scanner's window; the
// rest is the page. (Reads of a few bytes would make the check of the scanner, which scans its
// window again after each read, quadratic; the program's reads fill the window.)

#include "FuzzSupport.h"
#include "netsearch/Harvest.h"

#include <QDebug>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace kz;

// A response of fixed bytes, handed out in reads of at most `step` bytes (a server sends its
// page in pieces).
class PageConnection : public HttpConnection {
public:
    PageConnection(QByteArray body, std::int64_t step) : m_body(std::move(body)), m_step(step) {}
    int Status() const override { return 200; }
    std::int64_t ContentLength() const override { return m_body.size(); }
    QUrl FinalUrl() const override { return {}; }
    QByteArray Header(const QByteArray &) const override { return {}; }
    std::int64_t Read(char *to, std::int64_t max) override {
        const std::int64_t n = std::min({max, m_step, std::int64_t(m_body.size() - m_pos)});
        std::copy_n(m_body.constData() + m_pos, n, to);
        m_pos += n;
        return n;
    }
    void Close() override {}

private:
    QByteArray m_body;
    std::int64_t m_step;
    std::int64_t m_pos = 0;
};

// Like the network session, it opens only valid web addresses.
class PageSession : public HttpSession {
public:
    PageSession(QByteArray page, QByteArray linkPage, std::int64_t step)
        : m_page(std::move(page)), m_linkPage(std::move(linkPage)), m_step(step) {}
    std::unique_ptr<HttpConnection> Open(const QUrl &url, QString *) override {
        if (Cancelled() || !IsValidWebUrl(url.toString()))
            return nullptr;
        const bool engine = url.host() == QLatin1String("engine.test");
        return std::make_unique<PageConnection>(engine ? m_page : m_linkPage, m_step);
    }

private:
    QByteArray m_page, m_linkPage;
    std::int64_t m_step;
};

std::vector<QByteArray> ScanWhole(QByteArrayView page) {
    std::vector<QByteArray> out;
    const qsizetype rest =
        ScanFragments(page, [&](QByteArrayView f) { out.push_back(f.toByteArray()); });
    if (rest < 0 || rest > page.size())
        std::abort();
    return out;
}

std::vector<QByteArray> ScanWindowed(QByteArrayView page, qsizetype window, std::int64_t step) {
    std::vector<QByteArray> out;
    PageConnection source(page.toByteArray(), step);
    ScanStream([&](char *to, qint64 max) { return source.Read(to, max); }, window,
               [&](QByteArrayView f) { out.push_back(f.toByteArray()); });
    return out;
}

void CheckScanner(QByteArrayView page, qsizetype window, std::int64_t step) {
    const std::vector<QByteArray> whole = ScanWhole(page);
    for (const QByteArray &f : whole) {
        if (!f.startsWith("<a href=") || !f.endsWith("</a>") || f.size() > kFragmentMaxBytes)
            std::abort();
        // What the job takes from a fragment never reaches past it.
        if (const auto parts = SplitFragment(f);
            parts && parts->href.size() + parts->inner.size() > f.size())
            std::abort();
        if (LinkLine(f).size() > f.size())
            std::abort();
        if (PlainLinkText(f, "UTF-8").size() > kEntryTextMaxChars)
            std::abort();
    }
    // Reading in windows loses only what no window holds whole: the fragments found are the
    // first ones of the whole scan, all of them when the page fits one window.
    const std::vector<QByteArray> windowed = ScanWindowed(page, window, step);
    if (windowed.size() > whole.size() ||
        !std::equal(windowed.begin(), windowed.end(), whole.begin()))
        std::abort();
    if (window > page.size() && windowed.size() != whole.size())
        std::abort();
}

qsizetype Count(const QByteArray &bytes, char c) {
    return std::count(bytes.begin(), bytes.end(), c);
}

void CheckJob(int engine, const QByteArray &page, std::int64_t step) {
    const QString pageFile = fuzz::Folder() + QStringLiteral("result.html");
    EngineHosts hosts;
    for (int i = 0; i < kWebEngineCount; ++i)
        hosts.bases << QStringLiteral("http://engine.test");
    hosts.yahooRoot = QStringLiteral("http://links.test");
    hosts.archiveRoot = QStringLiteral("http://engine.test");
    hosts.waybackRoot = QStringLiteral("http://engine.test/wb");
    SearchLimits limits;
    limits.maxLinkThreads = 2;
    // Each input stands alone: no pacing, no answers remembered from an earlier one.
    limits.archive.spacingMs = 0;
    limits.archive.cache = false;
    const QByteArray linkPage = page.left(kLinkPageMaxBytes - 1);
    SearchJob job(
        engine, QStringLiteral("flash"), 0, pageFile, hosts, limits,
        [&](const HttpOptions &) { return std::make_unique<PageSession>(page, linkPage, step); });
    const SearchOutcome outcome = job.Run();
    // (Engine 5 with words that name no site asks nothing and lists nothing.)
    if (!outcome.connected || outcome.abandoned || outcome.busy)
        std::abort();
    for (const QString &url : outcome.urls)
        if (!IsValidWebUrl(url) || url.toUtf8().size() > 4 * kResultUrlMaxBytes)
            std::abort();

    QFile file(pageFile);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray written = file.readAll();
    file.close();
    // Only our markup: the header's and end's tags and four per entry (<a, </a>, <p>, </p>).
    const QByteArray charset = PageCharset(engine);
    const qsizetype tags =
        Count(PageHeader(charset), '<') + Count(PageEnd(), '<') + 4 * outcome.urls.size();
    if (Count(written, '<') != tags || Count(written, '>') != tags)
        std::abort();
    if (const QStringList back = ReloadResultLinks(pageFile); back != outcome.urls) {
        qWarning() << "listed" << outcome.urls << "read back" << back;
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const int engine = data[0] % kEngineCount;
    const qsizetype window = 16 + qsizetype(data[1]) * 64; // 16 … 16336 bytes
    const std::int64_t step = 64 + (data[0] >> 2) * 97;    // reads of 64 … 6175 bytes
    const QByteArray page(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    CheckScanner(page, window, step);
    CheckJob(engine, page, step);
    // A result page left behind is read back whatever it holds.
    ReloadResultLinks(fuzz::WriteInput(data + 2, size - 2, "old.html"));
    return 0;
}
