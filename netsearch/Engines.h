#pragma once
// The four search engines: which bytes the search words become, how they are escaped, and the
// query address of a result page. The hosts are configuration (KZPLAYER_ENGINE_HOSTS,
// KZPLAYER_YAHOO_ROOT); the paths and query keys are fixed.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kz {

inline constexpr int kEngineCount = 4;
inline constexpr int kEngineBaiduMp3 = 0;
inline constexpr int kEngineGoogleChina = 1;
inline constexpr int kEngineGoogleEnglish = 2;
inline constexpr int kEngineYahooChina = 3;
// Results asked for per page; the offset of page P is P times this.
inline constexpr int kResultsPerPage = 20;
// The word buffer: UTF-8 words must fit whole; GBK words are cut to one byte less.
inline constexpr int kWordBufferBytes = 100;

struct EngineHosts {
    QStringList bases; // engine 0-3, without a trailing "/"
    QString yahooRoot; // put before engine 3's site-relative links

    // The public hosts, replaced by KZPLAYER_ENGINE_HOSTS (four comma-separated base
    // addresses) and KZPLAYER_YAHOO_ROOT when those are set.
    static EngineHosts FromEnvironment();
    static EngineHosts Public();
};

// An engine number outside 0-3 counts as engine 0, the setting's default.
int ClampEngine(int engine);

// The bytes of the words for an engine: UTF-8 for 1-3 (empty when longer than 100 bytes), GBK
// for 0 cut at 99 bytes without splitting a character.
QByteArray WordBytes(int engine, const QString &words);

// Letters, digits and "-_.~" stay, a space becomes "+", every other byte "%XX" (upper case).
QByteArray PercentEncode(const QByteArray &bytes);

// The query address of zero-based result page `page`.
QString QueryUrl(int engine, const QString &words, int page, const EngineHosts &hosts);

// The charset of the result page built from an engine's results: "gb2312" or "UTF-8".
QByteArray PageCharset(int engine);

} // namespace kz
