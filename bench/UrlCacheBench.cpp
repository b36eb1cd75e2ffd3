// A large web movie downloaded into the URL cache from the loopback server: throughput, and the
// peak memory the download adds (the body streams to disk, so it stays flat as sizes grow).

#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv) {
    kz::test::ClearProxyEnvironment();
    QCoreApplication app(argc, argv);
    const long megabytes = argc > 1 ? std::max(1L, std::atol(argv[1])) : 256;
    kz::test::TestHttpServer server;
    QTemporaryDir dir;
    if (!server.Running() || !dir.isValid()) {
        std::fprintf(stderr, "no loopback server or scratch folder\n");
        return 1;
    }
    auto session = kz::CreateHttpSession();
    kz::UrlCache cache(dir.path() + "/cache");

    // A small download first so the libraries' own memory is already counted.
    cache.Download(server.Url("/bytes/1000"), *session);
    const long rssBefore = PeakRssKb();

    const qint64 bytes = qint64(megabytes) * 1024 * 1024;
    QElapsedTimer clock;
    clock.start();
    auto entry = cache.Download(server.Url(QStringLiteral("/bytes/%1").arg(bytes)), *session);
    const double secs = double(clock.nsecsElapsed()) / 1e9;
    if (!entry || entry->size != bytes) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    std::printf("downloaded %ld MB in %.2f s: %.1f MB/s\n", megabytes, secs,
                double(megabytes) / secs);
    std::printf("peak memory added by the download: %ld KB (body %ld KB)\n",
                PeakRssKb() - rssBefore, long(bytes / 1024));

    // A reader slower than the network: Qt must stop taking bytes while its buffer is full.
    const long rssBeforeSlow = PeakRssKb();
    auto connection = session->Open(server.Url(QStringLiteral("/bytes/%1").arg(bytes)));
    if (!connection)
        return 1;
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (std::int64_t n; (n = connection->Read(piece.data(), piece.size())) > 0;) {
        total += n;
        QThread::usleep(500);
    }
    std::printf("slow reader: %lld of %lld bytes, peak memory added: %ld KB\n",
                static_cast<long long>(total), static_cast<long long>(bytes),
                PeakRssKb() - rssBeforeSlow);
    return total == bytes ? 0 : 1;
}
