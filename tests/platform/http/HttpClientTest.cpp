#include "platform/http/HttpClient.h"

#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace kz;
using kz::test::PatternBytes;
using kz::test::TestHttpServer;

namespace {

TestHttpServer &Server() {
    return kz::test::SharedServer();
}

// Reads the rest of the body with small reads; returns false when a read fails.
bool ReadAll(HttpConnection &connection, QByteArray *body, std::int64_t pieceSize = 1000) {
    QByteArray piece(qsizetype(pieceSize), Qt::Uninitialized);
    for (;;) {
        const std::int64_t n = connection.Read(piece.data(), pieceSize);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        EXPECT_LE(n, pieceSize);
        body->append(piece.constData(), qsizetype(n));
    }
}

// A port nothing listens on: bound once, then released.
int ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

class HttpTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Server().Running()); }
};

} // namespace

TEST_F(HttpTest, FileBodyHeadersAndLength) {
    auto session = CreateHttpSession();
    QString error;
    auto connection = session->Open(Server().Url("/bytes/70000"), &error);
    ASSERT_TRUE(connection) << error.toStdString();
    EXPECT_EQ(connection->Status(), 200);
    EXPECT_EQ(connection->ContentLength(), 70000);
    EXPECT_EQ(connection->Header("content-type"), "application/octet-stream");
    EXPECT_TRUE(connection->Header("X-Not-There").isEmpty());
    EXPECT_EQ(connection->FinalUrl(), Server().Url("/bytes/70000"));
    QByteArray body;
    ASSERT_TRUE(ReadAll(*connection, &body, 4096));
    EXPECT_EQ(body, PatternBytes(0, 70000));
    // The end stays the end; a zero-size read asks for nothing.
    char c;
    EXPECT_EQ(connection->Read(&c, 1), 0);
    EXPECT_EQ(connection->Read(&c, 0), 0);
    connection->Close();
    EXPECT_EQ(connection->Read(&c, 1), -1);
}

TEST_F(HttpTest, ErrorStatusesStillGiveStatusAndBody) {
    auto session = CreateHttpSession();
    for (int code : {404, 500, 204}) {
        auto connection = session->Open(Server().Url(QStringLiteral("/status/%1").arg(code)));
        ASSERT_TRUE(connection) << code;
        EXPECT_EQ(connection->Status(), code);
        QByteArray body;
        EXPECT_TRUE(ReadAll(*connection, &body)) << code;
        if (code != 204) {
            EXPECT_EQ(body, "status " + QByteArray::number(code));
        }
    }
    // A path the server does not know.
    auto missing = session->Open(Server().Url("/no/such/thing.swf"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Status(), 404);
}

TEST_F(HttpTest, RedirectsAreFollowedWithinTheLimit) {
    auto session = CreateHttpSession();
    for (int code : {301, 302, 303, 307, 308}) {
        auto connection =
            session->Open(Server().Url(QStringLiteral("/redirect/%1?to=/bytes/33").arg(code)));
        ASSERT_TRUE(connection) << code;
        EXPECT_EQ(connection->Status(), 200);
        EXPECT_EQ(connection->FinalUrl().path(), "/bytes/33");
        QByteArray body;
        ASSERT_TRUE(ReadAll(*connection, &body));
        EXPECT_EQ(body, PatternBytes(0, 33));
    }
    // An absolute target, and a chain of exactly the limit.
    const QString absolute = Server().Url("/bytes/5").toString();
    auto viaAbsolute = session->Open(
        Server().Url("/redirect/302?to=" + QString::fromLatin1(QUrl::toPercentEncoding(absolute))));
    ASSERT_TRUE(viaAbsolute);
    EXPECT_EQ(viaAbsolute->FinalUrl(), Server().Url("/bytes/5"));
    auto chain = session->Open(Server().Url("/chain/5"));
    ASSERT_TRUE(chain);
    EXPECT_EQ(chain->FinalUrl().path(), "/bytes/10");

    QString error;
    EXPECT_FALSE(session->Open(Server().Url("/chain/6"), &error));
    EXPECT_FALSE(error.isEmpty());

    HttpOptions none;
    none.maxRedirects = 0;
    auto strict = CreateHttpSession(none);
    EXPECT_FALSE(strict->Open(Server().Url("/chain/1")));
}

TEST_F(HttpTest, RedirectsOutOfTheWebAreRefused) {
    auto session = CreateHttpSession();
    for (const char *target : {"file:///etc/passwd", "ftp://127.0.0.1/x.swf", "data:,hello"}) {
        QString error;
        auto connection =
            session->Open(Server().Url(QStringLiteral("/redirect/302?to=") +
                                       QString::fromLatin1(QUrl::toPercentEncoding(target))),
                          &error);
        EXPECT_FALSE(connection) << target;
        EXPECT_FALSE(error.isEmpty()) << target;
    }
    // A redirect without a Location is simply the answer.
    auto bare = session->Open(Server().Url("/status/302"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->Status(), 302);
}

// The caller's say over addresses covers the first request and every redirect.
TEST_F(HttpTest, RefusedAddressesAreNotRequestedNorRedirectedTo) {
    HttpOptions options;
    std::vector<QString> asked;
    options.mayRequest = [&asked](const QUrl &url) {
        asked.push_back(url.path());
        return !url.path().startsWith(QStringLiteral("/bytes"));
    };
    auto session = CreateHttpSession(options);
    QString error;
    EXPECT_FALSE(session->Open(Server().Url("/bytes/10"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(session->Open(Server().Url("/redirect/302?to=/bytes/10")));
    EXPECT_EQ(asked, (std::vector<QString>{"/bytes/10", "/redirect/302", "/bytes/10"}));
    auto allowed = session->Open(Server().Url("/status/200"));
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->Status(), 200);
}

TEST_F(HttpTest, BodyWithoutLengthReadsToTheEnd) {
    auto session = CreateHttpSession();
    auto connection = session->Open(Server().Url("/nolength/300000"));
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->ContentLength(), -1);
    QByteArray body;
    ASSERT_TRUE(ReadAll(*connection, &body, 65536));
    EXPECT_EQ(body, PatternBytes(0, 300000));
}

TEST_F(HttpTest, TruncatedBodyIsAnError) {
    auto session = CreateHttpSession();
    auto connection = session->Open(Server().Url("/truncated/100000"));
    ASSERT_TRUE(connection);
    QByteArray body;
    EXPECT_FALSE(ReadAll(*connection, &body));
    EXPECT_LE(body.size(), 50000);
}

TEST_F(HttpTest, SilentServerTimesOutBeforeHeaders) {
    HttpOptions options;
    options.connectTimeoutMs = 400;
    auto session = CreateHttpSession(options);
    QElapsedTimer clock;
    clock.start();
    QString error;
    EXPECT_FALSE(session->Open(Server().Url("/stall-headers"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_LT(clock.elapsed(), 30000); // gave up rather than hanging
    // The session stays usable afterwards.
    auto after = session->Open(Server().Url("/bytes/3"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->Status(), 200);
}

TEST_F(HttpTest, StalledBodyTimesOutAndStaysFailed) {
    HttpOptions options;
    options.readTimeoutMs = 1500;
    auto session = CreateHttpSession(options);
    auto connection = session->Open(Server().Url("/stall-body/5000"));
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->ContentLength(), 10000);
    QByteArray body;
    EXPECT_FALSE(ReadAll(*connection, &body));
    EXPECT_EQ(body, PatternBytes(0, 5000));
    char c;
    EXPECT_EQ(connection->Read(&c, 1), -1);
}

// A server that sends a byte well within every read time-out, but would take half a minute for
// its body: the transfer's deadline ends it (counted from the request, so a redirect's time
// counts too). A body that arrives within the deadline is read whole.
TEST_F(HttpTest, DrippingServerIsCutByTheTransferDeadline) {
    HttpOptions options;
    options.readTimeoutMs = 5000;
    options.transferTimeoutMs = 2000;
    auto session = CreateHttpSession(options);
    for (const char *path : {"/drip/100/300", "/redirect/302?to=/drip/100/300"}) {
        QElapsedTimer clock;
        clock.start();
        auto connection = session->Open(Server().Url(path));
        ASSERT_TRUE(connection) << path;
        EXPECT_EQ(connection->ContentLength(), 100);
        QByteArray body;
        EXPECT_FALSE(ReadAll(*connection, &body)) << path;
        EXPECT_GT(body.size(), 0) << path;
        EXPECT_LT(body.size(), 100) << path;
        EXPECT_EQ(body, PatternBytes(0, body.size()));
        char c;
        EXPECT_EQ(connection->Read(&c, 1), -1) << "stays failed";
        EXPECT_LT(clock.elapsed(), 20000); // a hang guard only
    }
    auto quick = session->Open(Server().Url("/drip/5/50"));
    ASSERT_TRUE(quick);
    QByteArray body;
    EXPECT_TRUE(ReadAll(*quick, &body));
    EXPECT_EQ(body, PatternBytes(0, 5));
    // A deadline that passes before the headers: the open fails.
    options.transferTimeoutMs = 300;
    options.connectTimeoutMs = 10000;
    QString error;
    EXPECT_FALSE(CreateHttpSession(options)->Open(Server().Url("/stall-headers"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// Another thread's flag ends a session's waits at once: for the headers and for the body.
TEST_F(HttpTest, ACancelFlagEndsWaitsFromAnotherThread) {
    HttpOptions options;
    options.connectTimeoutMs = 60000;
    options.readTimeoutMs = 60000;
    auto flag = std::make_shared<std::atomic_bool>(false);
    auto session = CreateHttpSession(options);
    session->SetCancelFlag(flag);
    auto connection = session->Open(Server().Url("/stall-body/1000"));
    ASSERT_TRUE(connection);
    EXPECT_FALSE(session->Cancelled());
    std::thread setter([flag] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        *flag = true;
    });
    QElapsedTimer clock;
    clock.start();
    QByteArray body;
    EXPECT_FALSE(ReadAll(*connection, &body));
    setter.join();
    EXPECT_EQ(body, PatternBytes(0, 1000));
    EXPECT_LT(clock.elapsed(), 30000); // far below the read time-out: the flag ended it
    EXPECT_TRUE(session->Cancelled());
    QString error;
    EXPECT_FALSE(session->Open(Server().Url("/bytes/10"), &error))
        << "a cancelled session stays so";
    EXPECT_EQ(error, "cancelled");
    *flag = false;
    EXPECT_TRUE(session->Open(Server().Url("/bytes/10")));
}

TEST_F(HttpTest, UnreachableAndInvalidAddressesFail) {
    auto session = CreateHttpSession();
    QString error;
    EXPECT_FALSE(
        session->Open(QUrl(QStringLiteral("http://127.0.0.1:%1/x.swf").arg(ClosedPort())), &error));
    EXPECT_FALSE(error.isEmpty());
    for (const char *text : {"", "ftp://127.0.0.1/a.swf", "file:///etc/passwd", "http://",
                             "about:blank", "127.0.0.1/a.swf"}) {
        error.clear();
        EXPECT_FALSE(session->Open(QUrl(QString::fromLatin1(text)), &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TEST_F(HttpTest, ReadFullFillsTheBufferAcrossPieces) {
    // The body arrives in eight pauses; one full read still gets the first 4096 bytes whole.
    auto session = CreateHttpSession();
    auto connection = session->Open(Server().Url("/slow/20000"));
    ASSERT_TRUE(connection);
    QByteArray head(4096, Qt::Uninitialized);
    ASSERT_EQ(HttpReadFull(*connection, head.data(), head.size()), 4096);
    EXPECT_EQ(head, PatternBytes(0, 4096));
    // Short bodies end early; broken ones fail.
    auto shortBody = session->Open(Server().Url("/bytes/100"));
    ASSERT_TRUE(shortBody);
    EXPECT_EQ(HttpReadFull(*shortBody, head.data(), head.size()), 100);
    EXPECT_EQ(head.left(100), PatternBytes(0, 100));
    auto broken = session->Open(Server().Url("/truncated/10000"));
    ASSERT_TRUE(broken);
    EXPECT_EQ(HttpReadFull(*broken, head.data(), head.size()), 4096);
    EXPECT_EQ(HttpReadFull(*broken, head.data(), head.size()), -1);
}

TEST_F(HttpTest, FetchHonoursTheSizeLimit) {
    auto session = CreateHttpSession();
    // Declared and undeclared lengths, just under, at and over the limit.
    for (const char *kind : {"bytes", "nolength"}) {
        const QUrl url = Server().Url(QStringLiteral("/%1/102400").arg(kind));
        HttpFetchResult at = HttpFetch(*session, url, 102400);
        EXPECT_TRUE(at.ok) << kind;
        EXPECT_EQ(at.status, 200);
        EXPECT_EQ(at.body, PatternBytes(0, 102400)) << kind;
        HttpFetchResult over = HttpFetch(*session, url, 102399);
        EXPECT_FALSE(over.ok) << kind;
        EXPECT_TRUE(over.body.isEmpty()) << kind;
    }
    HttpFetchResult notFound = HttpFetch(*session, Server().Url("/status/404"), 1000);
    EXPECT_TRUE(notFound.ok);
    EXPECT_EQ(notFound.status, 404);
    EXPECT_FALSE(HttpFetch(*session, Server().Url("/truncated/1000"), 5000).ok);
    EXPECT_FALSE(HttpFetch(*session, QUrl("ftp://127.0.0.1/"), 5000).ok);
}

TEST_F(HttpTest, WorkerThreadsEachUseTheirOwnSession) {
    // The intended use: plain threads with no event loop of their own, several at once.
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&good, t] {
            auto session = CreateHttpSession();
            const int size = 50000 + t * 1000;
            HttpFetchResult result =
                HttpFetch(*session, Server().Url(QStringLiteral("/slow/%1").arg(size)), 1 << 20);
            if (result.ok && result.status == 200 && result.body == PatternBytes(0, size))
                ++good;
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 4);
}

TEST(HttpUrlTest, StrictWebAddressCheck) {
    for (const char *text : {"http://127.0.0.1/a.swf", "https://example.com/", "HTTP://Host/x",
                             "http://host:8080/path?q=1#f", "http://[::1]/x.swf"})
        EXPECT_TRUE(IsValidWebUrl(QString::fromLatin1(text))) << text;
    for (const char *text :
         {"", "about:blank", "ftp://host/a.swf", "file:///tmp/a.swf", "javascript:alert(1)",
          "http://", "http:///path", "www.host.com/a", "http://ho st/a", "http://host/a b.swf",
          "C:\\movies\\a.swf", "http://host:99999/"})
        EXPECT_FALSE(IsValidWebUrl(QString::fromLatin1(text))) << text;
}
