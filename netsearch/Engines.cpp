#include "Engines.h"

#include "platform/TextCodec.h"

#include <algorithm>

namespace kz {

namespace {

QString WithoutTrailingSlash(QString base) {
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

} // namespace

EngineHosts EngineHosts::Public() {
    EngineHosts h;
    h.bases = {QStringLiteral("http://mp3.baidu.com"), QStringLiteral("http://www.google.cn"),
               QStringLiteral("http://www.google.com"),
               QStringLiteral("http://cn.search.yahoo.com")};
    h.yahooRoot = QStringLiteral("http://cn.search.yahoo.com");
    h.archiveRoot = QStringLiteral("https://archive.org");
    h.waybackRoot = QStringLiteral("https://web.archive.org");
    return h;
}

EngineHosts EngineHosts::FromEnvironment() {
    EngineHosts h = Public();
    const QStringList given = qEnvironmentVariable("KZPLAYER_ENGINE_HOSTS").split(u',');
    // Only a full set of four counts; a partial one would shift the engines.
    if (given.size() == kWebEngineCount) {
        for (int i = 0; i < kWebEngineCount; ++i) {
            const QString base = WithoutTrailingSlash(given.at(i).trimmed());
            if (!base.isEmpty())
                h.bases[i] = base;
        }
    }
    const QString root = qEnvironmentVariable("KZPLAYER_YAHOO_ROOT").trimmed();
    if (!root.isEmpty())
        h.yahooRoot = WithoutTrailingSlash(root);
    const QString archive = qEnvironmentVariable("KZPLAYER_ARCHIVE_ROOT").trimmed();
    if (!archive.isEmpty())
        h.archiveRoot = WithoutTrailingSlash(archive);
    const QString wayback = qEnvironmentVariable("KZPLAYER_WAYBACK_ROOT").trimmed();
    if (!wayback.isEmpty())
        h.waybackRoot = WithoutTrailingSlash(wayback);
    return h;
}

bool IsArchiveEngine(int engine) {
    return engine == kEngineArchiveFlash || engine == kEngineWaybackSite;
}

int ClampEngine(int engine) {
    return engine >= 0 && engine < kEngineCount ? engine : kEngineBaiduMp3;
}

QByteArray WordBytes(int engine, const QString &words) {
    if (ClampEngine(engine) != kEngineBaiduMp3) {
        const QByteArray utf8 = words.toUtf8();
        return utf8.size() > kWordBufferBytes ? QByteArray() : utf8;
    }
    // Cut by whole characters so that no half of a double-byte character is sent.
    QByteArray out;
    for (qsizetype i = 0; i < words.size();) {
        const qsizetype n = words.at(i).isHighSurrogate() && i + 1 < words.size() ? 2 : 1;
        const QByteArray one = ToGbk(words.mid(i, n));
        if (out.size() + one.size() > kWordBufferBytes - 1)
            break;
        out += one;
        i += n;
    }
    return out;
}

namespace {

// Unreserved bytes stay; a space is "+" in a query, "%20" in a path segment.
QByteArray Encoded(const QByteArray &bytes, bool spaceAsPlus) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                           (b >= '0' && b <= '9') || b == '-' || b == '_' || b == '.' || b == '~';
        if (plain) {
            out += c;
        } else if (b == ' ' && spaceAsPlus) {
            out += '+';
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

} // namespace

QByteArray PercentEncode(const QByteArray &bytes) {
    return Encoded(bytes, true);
}

QByteArray PercentEncodeSegment(const QByteArray &bytes) {
    return Encoded(bytes, false);
}

QString ArchiveQueryText(const QString &words) {
    static const QString kSpecial = QStringLiteral("+-&|!(){}[]^\"~*?:\\/");
    QStringList terms;
    for (const QString &word : words.split(QChar(u' '), Qt::SkipEmptyParts)) {
        const QString plain = word.simplified();
        if (plain.isEmpty())
            continue;
        // A bare AND, OR or NOT would join the terms instead of being searched for.
        if (plain == QLatin1String("AND") || plain == QLatin1String("OR") ||
            plain == QLatin1String("NOT")) {
            terms << plain.toLower();
            continue;
        }
        QString escaped;
        for (const QChar c : plain) {
            if (kSpecial.contains(c))
                escaped += u'\\';
            escaped += c;
        }
        terms << escaped;
    }
    const QString filter = QStringLiteral("(collection:softwarelibrary_flash OR "
                                          "collection:softwarelibrary_flash_games OR "
                                          "emulator:ruffle-swf)");
    return terms.isEmpty() ? filter : filter + QStringLiteral(" AND (") + terms.join(u' ') + u')';
}

QString WaybackUrlPrefix(const QString &words) {
    QString site = words.simplified().remove(u' ');
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")})
        if (site.startsWith(scheme, Qt::CaseInsensitive))
            site = site.mid(scheme.size());
    site.remove(u'*');
    while (site.endsWith(u'/'))
        site.chop(1);
    return site.isEmpty() ? QString() : site + QStringLiteral("/*");
}

int WaybackLimit(int page) {
    // Past this the answer would be cut at its byte bound anyway.
    return (std::clamp(page, 0, 4999) + 1) * kResultsPerPage + 1;
}

QString QueryUrl(int engine, const QString &words, int page, const EngineHosts &hosts) {
    engine = ClampEngine(engine);
    page = std::max(0, page);
    if (engine == kEngineArchiveFlash) {
        const QByteArray bytes = WordBytes(engine, words);
        const QString q =
            QString::fromLatin1(PercentEncode(ArchiveQueryText(QString::fromUtf8(bytes)).toUtf8()));
        return hosts.archiveRoot + QStringLiteral("/advancedsearch.php?q=") + q +
               QStringLiteral("&fl%5B%5D=identifier&fl%5B%5D=title&fl%5B%5D=creator"
                              "&fl%5B%5D=year&rows=20&page=") +
               QString::number(std::min(page, 9999) + 1) + QStringLiteral("&output=json");
    }
    if (engine == kEngineWaybackSite) {
        const QString prefix = WaybackUrlPrefix(QString::fromUtf8(WordBytes(engine, words)));
        return hosts.waybackRoot + QStringLiteral("/cdx/search/cdx?url=") +
               QString::fromLatin1(PercentEncode(prefix.toUtf8())) +
               QStringLiteral("&output=json&filter=mimetype:application/x-shockwave-flash"
                              "&filter=statuscode:200&collapse=digest&limit=") +
               QString::number(WaybackLimit(page));
    }
    const QString w = QString::fromLatin1(PercentEncode(WordBytes(engine, words)));
    const QString offset = QString::number(qint64(page) * kResultsPerPage);
    const QString host = engine < hosts.bases.size() ? hosts.bases.at(engine) : QString();
    switch (engine) {
    case kEngineGoogleChina:
        return host + QStringLiteral("/search?hl=zh-CN&q=") + w +
               QStringLiteral("+filetype%3Aswf&num=20&start=") + offset + QStringLiteral("&meta=");
    case kEngineGoogleEnglish:
        return host + QStringLiteral("/search?hl=en&q=") + w +
               QStringLiteral("+filetype%3Aswf&num=20&start=") + offset + QStringLiteral("&sa=N");
    case kEngineYahooChina:
        return host + QStringLiteral("/s?p=") + w + QStringLiteral("&b=") + offset +
               QStringLiteral("&n=20&v=music&x=flash:alls");
    default:
        if (page == 0)
            return host + QStringLiteral("/m?f=ms&rn=20&tn=baidump3&ct=134217728&word=") + w +
                   QStringLiteral("&lm=6");
        return host +
               QStringLiteral("/m?z=0&cl=3&ct=134217728&sn=&lm=6&cm=1&sc=1&bu=&rn=20&tn=baidump3"
                              "&word=") +
               w + QStringLiteral("&pn=") + offset;
    }
}

QByteArray PageCharset(int engine) {
    return ClampEngine(engine) <= kEngineGoogleChina ? QByteArrayLiteral("gb2312")
                                                     : QByteArrayLiteral("UTF-8");
}

} // namespace kz
