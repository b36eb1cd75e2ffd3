// The engines' query addresses: word bytes per engine, the escaping, offsets and the hosts.

#include "netsearch/Engines.h"

#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace kz;

namespace {

EngineHosts Local() {
    EngineHosts h;
    h.bases = {"http://e0", "http://e1", "http://e2", "http://e3"};
    h.yahooRoot = "http://root3";
    return h;
}

const QString kFlashGame = QStringLiteral("flash 游戏");

} // namespace

TEST(Engines, QueryAddressesOfTheFourEngines) {
    const EngineHosts h = Local();
    EXPECT_EQ(QueryUrl(1, kFlashGame, 0, h),
              "http://e1/search?hl=zh-CN&q=flash+%E6%B8%B8%E6%88%8F+filetype%3Aswf&num=20"
              "&start=0&meta=");
    EXPECT_EQ(QueryUrl(0, kFlashGame, 0, h),
              "http://e0/m?f=ms&rn=20&tn=baidump3&ct=134217728&word=flash+%D3%CE%CF%B7&lm=6");
    EXPECT_EQ(QueryUrl(2, "cat", 2, h),
              "http://e2/search?hl=en&q=cat+filetype%3Aswf&num=20&start=40&sa=N");
    EXPECT_EQ(QueryUrl(0, "cat", 2, h),
              "http://e0/m?z=0&cl=3&ct=134217728&sn=&lm=6&cm=1&sc=1&bu=&rn=20&tn=baidump3"
              "&word=cat&pn=40");
    EXPECT_EQ(QueryUrl(3, "cat", 1, h), "http://e3/s?p=cat&b=20&n=20&v=music&x=flash:alls");
    // An engine outside 0-3 is the default engine; a negative page the first.
    EXPECT_EQ(QueryUrl(7, "cat", -3, h), QueryUrl(0, "cat", 0, h));
    EXPECT_EQ(PageCharset(0), "gb2312");
    EXPECT_EQ(PageCharset(1), "gb2312");
    EXPECT_EQ(PageCharset(2), "UTF-8");
    EXPECT_EQ(PageCharset(3), "UTF-8");
}

TEST(Engines, EscapingKeepsTheQueryWhole) {
    // "&", "#", "%", "+", "=" would split or change the query; 0x80 occurs in "一" (E4 B8 80).
    EXPECT_EQ(PercentEncode("a&b#c%d+e=f"), "a%26b%23c%25d%2Be%3Df");
    EXPECT_EQ(PercentEncode(QStringLiteral("一").toUtf8()), "%E4%B8%80");
    EXPECT_EQ(PercentEncode(QByteArray("\x80\x7f\x01 ", 4)), "%80%7F%01+");
    EXPECT_EQ(PercentEncode("Az09-_.~"), "Az09-_.~");
    EXPECT_EQ(PercentEncode(QByteArray("\xff", 1)), "%FF");

    // A query with "&" in the words still has exactly its own keys, and the words come back.
    const QUrl url(QueryUrl(1, QStringLiteral("tom&jerry=一"), 0, Local()));
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItems().size(), 5);
    EXPECT_EQ(query.queryItemValue("q", QUrl::FullyDecoded).replace(u'+', u' '),
              QStringLiteral("tom&jerry=一 filetype:swf"));
    EXPECT_EQ(QueryUrl(0, QStringLiteral("一"), 0, Local()).section("word=", 1).left(6), "%D2%BB");
}

TEST(Engines, OverLongWords) {
    // 34 characters of three UTF-8 bytes each: 102 bytes do not fit, so nothing is sent.
    const QString longWords(34, QChar(0x6E38));
    EXPECT_TRUE(WordBytes(1, longWords).isEmpty());
    EXPECT_TRUE(QueryUrl(2, longWords, 0, Local()).contains("q=+filetype"));
    // 33 characters (99 bytes) and exactly 100 ASCII bytes fit.
    EXPECT_EQ(WordBytes(3, QString(33, QChar(0x6E38))).size(), 99);
    EXPECT_EQ(WordBytes(1, QString(100, u'a')).size(), 100);
    EXPECT_TRUE(WordBytes(1, QString(101, u'a')).isEmpty());

    // Engine 0 cuts the GBK form at 99 bytes, never inside a character.
    EXPECT_EQ(WordBytes(0, QString(120, u'a')).size(), 99);
    const QByteArray gbk = WordBytes(0, QString(60, QChar(0x6E38)));
    EXPECT_EQ(gbk.size(), 98);
    EXPECT_EQ(gbk.left(2), QByteArray("\xD3\xCE"));
    EXPECT_EQ(WordBytes(0, QStringLiteral("a") + QString(60, QChar(0x6E38))).size(), 99);
}

TEST(Engines, HostsFromTheEnvironment) {
    qputenv("KZPLAYER_ENGINE_HOSTS", "http://127.0.0.1:1/,http://b:2, http://c:3 ,http://d:4");
    qputenv("KZPLAYER_YAHOO_ROOT", "http://root:5/");
    EngineHosts h = EngineHosts::FromEnvironment();
    EXPECT_EQ(h.bases,
              QStringList({"http://127.0.0.1:1", "http://b:2", "http://c:3", "http://d:4"}));
    EXPECT_EQ(h.yahooRoot, "http://root:5");
    EXPECT_TRUE(QueryUrl(0, "x", 0, h).startsWith("http://127.0.0.1:1/m?"));

    // Not four addresses: the public hosts stay, one per engine.
    qputenv("KZPLAYER_ENGINE_HOSTS", "http://only:1,http://two:2");
    qunsetenv("KZPLAYER_YAHOO_ROOT");
    h = EngineHosts::FromEnvironment();
    EXPECT_EQ(h.bases, EngineHosts::Public().bases);
    EXPECT_EQ(h.yahooRoot, EngineHosts::Public().yahooRoot);
    for (const QString &base : h.bases)
        EXPECT_TRUE(QUrl(base).isValid() && QUrl(base).scheme() == "http") << base.toStdString();
    qunsetenv("KZPLAYER_ENGINE_HOSTS");
}
