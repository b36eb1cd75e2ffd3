// `kztool find` over a made tree of 100,000 files with 2,000 movies, against `find DIR -iname
// '*.swf' -size +Nk` followed by a 4 KB read of each hit: wall times (best of five, warm
// caches) and kztool's peak memory. Arguments: [files] [movies].

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Run {
    double ms = 0;
    long peakKb = 0;
    std::string out;
};

// Runs a program to its end, collecting its output and its own peak memory.
Run RunProgram(const std::vector<std::string> &argv) {
    Run run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[65536];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        run.out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    run.peakKb = usage.ru_maxrss;
    return run;
}

// find's hits, then the first 4 KB of each, as a header test would read them.
Run FindAndRead(const std::string &dir, int kb) {
    QElapsedTimer clock;
    clock.start();
    Run run = RunProgram({"/usr/bin/find", dir, "-iname", "*.swf", "-size",
                          "+" + std::to_string(kb) + "k", "-type", "f"});
    std::vector<char> head(4096);
    std::size_t start = 0;
    long hits = 0;
    while (start < run.out.size()) {
        const std::size_t end = run.out.find('\n', start);
        const std::string path = run.out.substr(start, end - start);
        start = end == std::string::npos ? run.out.size() : end + 1;
        if (FILE *f = std::fopen(path.c_str(), "rb")) {
            hits += std::fread(head.data(), 1, head.size(), f) > 0;
            std::fclose(f);
        }
    }
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    return run;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(100, std::atoi(argv[1])) : 100000;
    const int movies = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, files) : 2000;
    constexpr int kKb = 2;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // 100 folders of 10 sub-folders; every files/movies-th file is a movie, some with the
    // extension in capitals; the other files are short, some named like movies.
    const QByteArray movie = kz::test::MovieOfSize(3000);
    const int every = files / movies;
    for (int i = 0; i < files; ++i) {
        const QString folder =
            dir.path() + QStringLiteral("/d%1/s%2/").arg(i % 100).arg((i / 100) % 10);
        if (i < 1000)
            QDir().mkpath(folder);
        QString name;
        QByteArray bytes;
        if (i % every == 0 && i / every < movies) {
            name = QStringLiteral("movie%1.%2").arg(i).arg(i % 3 ? "swf" : "SWF");
            bytes = movie;
        } else {
            name = QStringLiteral("file%1.%2").arg(i).arg(i % 7 ? "txt" : "swf");
            bytes = QByteArray(i % 200, 'f');
        }
        QFile f(folder + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
    }
    const std::string root = QFile::encodeName(dir.path()).toStdString();
    const std::string kztool = QFile::encodeName(kz::test::BinDir() + "/kztool").toStdString();
    const std::vector<std::string> ours{kztool, "find", "--min-kb", std::to_string(kKb), root};

    // Warm the caches, check both find the same movies, then best of five each.
    const Run first = RunProgram(ours);
    const Run theirs = FindAndRead(root, kKb);
    const long ourHits = std::count(first.out.begin(), first.out.end(), '\n');
    const long theirHits = std::count(theirs.out.begin(), theirs.out.end(), '\n');
    double ourBest = 1e300, theirBest = 1e300;
    long peakKb = 0;
    for (int i = 0; i < 5; ++i) {
        const Run a = RunProgram(ours);
        ourBest = std::min(ourBest, a.ms);
        peakKb = std::max(peakKb, a.peakKb);
        theirBest = std::min(theirBest, FindAndRead(root, kKb).ms);
    }
    std::printf("tree: %d files, %d movies of %lld bytes, size limit %d KB\n", files, movies,
                static_cast<long long>(movie.size()), kKb);
    std::printf("hits: kztool find %ld, find + read %ld\n", ourHits, theirHits);
    std::printf("kztool find:         %8.1f ms (best of 5), peak memory %ld KB\n", ourBest, peakKb);
    std::printf("find + 4 KB reads:   %8.1f ms (best of 5)\n", theirBest);
    std::printf("ratio:               %8.2f (target at most 1.20)\n", ourBest / theirBest);
    return ourHits == theirHits ? 0 : 1;
}
