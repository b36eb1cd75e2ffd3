#include "MovieSandbox.h"

#include "platform/MovieIdentity.h"
#include "platform/flash/FlashState.h"

#include "formats/swf/SwfBits.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfTagCodes.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <cmath>

namespace kz {

namespace {

constexpr int kFileAttributesVersion = 8;
constexpr std::uint8_t kUseNetworkFlag = 0x01;
// Enough of a body for its RECT, rate, count and the first tag's header and flags.
constexpr std::size_t kHeadBodyBytes = 64;
constexpr int kMaxStagePixels = 8191;
constexpr int kMaxCount = 65535;
constexpr double kMaxRate = 120;
constexpr std::int64_t kLinkIntervalMs = 1000;

QString HostFor(char kind, const QString &key) {
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return QLatin1Char(kind) + QString::fromLatin1(hash.toHex().left(20));
}

QString SchemeUrl(const QString &host, const QString &path) {
    QUrl u;
    u.setScheme(QString::fromLatin1(kMovieScheme));
    u.setHost(host);
    u.setPath(path, QUrl::DecodedMode);
    return u.toString(QUrl::FullyEncoded);
}

// The real path of a file, links resolved where they can be (its folder's, when the file
// itself is missing).
QString RealPath(const QString &path) {
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    if (!real.isEmpty())
        return real;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

QString RealFolder(const QString &path) {
    return QFileInfo(RealPath(path)).absolutePath();
}

// The first bytes of the body after the 8-byte header, inflated where the movie is compressed.
QByteArray HeadBody(const QByteArray &head) {
    if (head.size() < qsizetype(kSwfHeaderBytes))
        return {};
    const QByteArray sig = head.left(3);
    if (sig == "FWS")
        return head.mid(kSwfHeaderBytes, kHeadBodyBytes);
    if (sig != "CWS" && sig != "ZWS")
        return {};
    QByteArray out(kHeadBodyBytes, '\0');
    const auto *body = reinterpret_cast<const std::uint8_t *>(head.constData()) + kSwfHeaderBytes;
    out.truncate(qsizetype(
        InflateBodyStart(sig == "ZWS", body, std::size_t(head.size()) - kSwfHeaderBytes,
                         reinterpret_cast<std::uint8_t *>(out.data()), std::size_t(out.size()))));
    return out;
}

MovieSite LocalSite(MovieSite site, const QString &placeForTrust, const QByteArray &head,
                    const QStringList &trusted) {
    if (InTrustedFolder(placeForTrust, trusted)) {
        site.readFiles = true;
        site.network = true;
    } else if (MovieAsksForNetwork(head)) {
        site.network = true;
    } else {
        site.readFiles = true;
    }
    return site;
}

bool IsRegularFile(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool MovieAsksForNetwork(const QByteArray &head) {
    if (head.size() < 4 || std::uint8_t(head[3]) < kFileAttributesVersion)
        return false;
    const QByteArray body = HeadBody(head);
    if (body.isEmpty())
        return false;
    const qsizetype tagsAt = qsizetype(RectByteCount(std::uint8_t(body[0]))) + 4;
    if (body.size() < tagsAt + 3)
        return false;
    const auto *b = reinterpret_cast<const std::uint8_t *>(body.constData()) + tagsAt;
    const std::uint16_t tagHead = Le16(b);
    if ((tagHead >> 6) != kTagFileAttributes)
        return false;
    // The flags follow a short header, or a long one's four length bytes.
    const qsizetype flagsAt = (tagHead & kTagShortLengthMax) == kTagShortLengthMax ? 6 : 2;
    if (body.size() < tagsAt + flagsAt + 1)
        return false;
    return (std::uint8_t(body[tagsAt + flagsAt]) & kUseNetworkFlag) != 0;
}

double HeadFrameRate(const QByteArray &head) {
    const QByteArray body = HeadBody(head);
    if (body.isEmpty())
        return 0;
    const qsizetype rateAt = qsizetype(RectByteCount(std::uint8_t(body[0])));
    if (body.size() < rateAt + 2)
        return 0;
    // 8.8 fixed point, fraction first.
    const double rate = std::uint8_t(body[rateAt + 1]) + std::uint8_t(body[rateAt]) / 256.0;
    return rate > 0 && rate <= kMaxRate ? rate : 0;
}

bool InTrustedFolder(const QString &path, const QStringList &trusted) {
    const QString real = RealPath(path);
    for (const QString &folder : trusted) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (root.isEmpty())
            continue;
        if (real == root || real.startsWith(root == u"/" ? root : root + u'/'))
            return true;
    }
    return false;
}

MovieSite SiteForFile(const QString &path, const QByteArray &head, const QStringList &trusted) {
    MovieSite site;
    site.kind = MovieSite::Kind::Folder;
    site.folder = RealFolder(path);
    site.host = HostFor('f', site.folder);
    site.movieUrl = SchemeUrl(site.host, u'/' + QFileInfo(path).fileName());
    site.identity = FileIdentity(path);
    return LocalSite(site, path, head, trusted);
}

MovieSite SiteForListEntry(const QString &listFile, const QString &entry, const QByteArray &head,
                           const QStringList &trusted) {
    MovieSite site;
    site.kind = MovieSite::Kind::ListFile;
    site.listFile = RealPath(listFile);
    site.entry = entry;
    site.host = HostFor('t', site.listFile);
    site.movieUrl = SchemeUrl(site.host, u'/' + entry);
    site.identity = ListEntryIdentity(listFile, entry);
    return LocalSite(site, listFile, head, trusted);
}

MovieSite SiteForWeb(const QUrl &url) {
    MovieSite site;
    site.kind = MovieSite::Kind::Web;
    site.webUrl = url;
    site.host =
        HostFor('w', url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + u':' +
                         QString::number(url.port(url.scheme() == u"https" ? 443 : 80)));
    QUrl u;
    u.setScheme(QString::fromLatin1(kMovieScheme));
    u.setHost(site.host);
    u.setPath(url.path(QUrl::FullyEncoded).isEmpty() ? QStringLiteral("/")
                                                     : url.path(QUrl::FullyEncoded),
              QUrl::TolerantMode);
    if (url.hasQuery())
        u.setQuery(url.query(QUrl::FullyEncoded), QUrl::TolerantMode);
    site.movieUrl = u.toString(QUrl::FullyEncoded);
    site.network = true;
    site.identity = WebIdentity(url);
    return site;
}

MovieSite BlankSite() {
    MovieSite site;
    site.host = QString::fromLatin1(kBlankSiteHost);
    return site;
}

QString ResolveSiteFile(const QString &folder, const QString &requestPath) {
    const QString decoded = QUrl::fromPercentEncoding(requestPath.toUtf8());
    if (folder.isEmpty() || decoded.contains(QChar(0)) || decoded.contains(u'\\'))
        return {};
    const QStringList parts = decoded.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    for (const QString &part : parts)
        if (part == u".." || part == u".")
            return {};
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return {};
    const QString real = QFileInfo(root + u'/' + parts.join(u'/')).canonicalFilePath();
    const QString prefix = root == u"/" ? root : root + u'/';
    if (real.isEmpty() || !real.startsWith(prefix) || !IsRegularFile(real))
        return {};
    return real;
}

QString ResolveSiteEntry(const QString &requestPath) {
    QString decoded = QUrl::fromPercentEncoding(requestPath.toUtf8());
    if (!decoded.startsWith(u'/') || decoded.contains(QChar(0)))
        return {};
    decoded.remove(0, 1);
    return decoded;
}

QUrl ResolveSiteWeb(const QUrl &webUrl, const QString &requestPath, const QString &query) {
    QUrl u;
    u.setScheme(webUrl.scheme());
    u.setHost(webUrl.host());
    u.setPort(webUrl.port());
    u.setPath(requestPath, QUrl::TolerantMode);
    if (!query.isEmpty())
        u.setQuery(query, QUrl::TolerantMode);
    return u;
}

MovieFacts CheckedFacts(const QVariantMap &m) {
    MovieFacts f;
    auto number = [&](const char *key, double low, double high) -> std::optional<double> {
        const QVariant v = m.value(QString::fromLatin1(key));
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || !std::isfinite(d) || d < low || d > high)
            return std::nullopt;
        return d;
    };
    if (auto w = number("width", 0, kMaxStagePixels))
        f.width = int(*w);
    if (auto h = number("height", 0, kMaxStagePixels))
        f.height = int(*h);
    if (auto r = number("frameRate", 0, kMaxRate); r && *r > 0)
        f.frameRate = *r;
    if (auto n = number("numFrames", 0, kMaxCount))
        f.frameCount = int(*n);
    if (auto v = number("swfVersion", 0, 255))
        f.swfVersion = int(*v);
    const QString bg = m.value(QStringLiteral("backgroundColor")).toString();
    bool ok = false;
    const int rgb = bg.size() == 7 && bg.startsWith(u'#') ? bg.mid(1).toInt(&ok, 16) : 0;
    f.backgroundColor = ok ? rgb : -1;
    return f;
}

std::optional<int> CheckedFrame(const QVariant &reported, int frameCount) {
    bool ok = false;
    const double d = reported.toDouble(&ok);
    if (!ok || !std::isfinite(d) || d != std::floor(d) || d < 1 || d > frameCount)
        return std::nullopt;
    return int(d);
}

LinkGate::LinkGate(Clock clock) : m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

QUrl LinkGate::Admit(const QString &link, bool windowActive) {
    const QUrl url(link.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool web = (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
    if (!url.isValid() || !(web || scheme == u"mailto") || !windowActive)
        return {};
    const std::int64_t now = m_clock();
    if (m_opened && now - m_last < kLinkIntervalMs)
        return {};
    m_opened = true;
    m_last = now;
    return url;
}

QString NetworkRefusedText(const QString &host) {
    return QStringLiteral("影片访问网络被阻止：") + host;
}

QString FileRefusedText(const QString &name) {
    return QStringLiteral("影片读取文件被阻止：") + name;
}

} // namespace kz
