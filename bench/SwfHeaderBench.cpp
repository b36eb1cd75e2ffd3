// Header reads per second over the corpus, and the bytes each read takes from its file.

#include "playback/SwfHeader.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const QStringList files = kz::test::CorpusFiles();
    if (files.isEmpty()) {
        std::fprintf(stderr, "no corpus found\n");
        return 1;
    }
    std::uint64_t maxCws = 0, maxFws = 0, totalBytes = 0, totalFile = 0;
    for (const QString &path : files) {
        kz::SwfReadCounter c;
        kz::SwfHeaderInfo h;
        kz::ReadSwfHeader(path, h, &c);
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray sig = f.read(3);
        (sig == "CWS" ? maxCws : maxFws) = std::max(sig == "CWS" ? maxCws : maxFws, c.bytesRead);
        totalBytes += c.bytesRead;
        totalFile += std::uint64_t(f.size());
    }
    QElapsedTimer t;
    t.start();
    std::uint64_t reads = 0;
    for (int r = 0; r < rounds; ++r)
        for (const QString &path : files) {
            kz::SwfHeaderInfo h;
            kz::ReadSwfHeader(path, h);
            ++reads;
        }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    std::printf("files: %lld, rounds: %d\n", static_cast<long long>(files.size()), rounds);
    std::printf("header reads per second: %.0f\n", double(reads) / secs);
    std::printf("bytes read per file: mean %.0f (of mean file size %.0f); max CWS %llu; max FWS %llu\n",
                double(totalBytes) / files.size(), double(totalFile) / files.size(),
                static_cast<unsigned long long>(maxCws), static_cast<unsigned long long>(maxFws));
    return 0;
}
