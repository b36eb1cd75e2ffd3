// MP3 extraction of a ~100 MB uncompressed movie by `kztool mp3` against `ffmpeg -c:a copy` on
// the same file, side by side, with each process's peak memory; then the in-process figures.
// KZ_BENCH_MOVIE names an existing movie to use instead of making one.

#include "support/TestSupport.h"
#include "tools/Mp3Extract.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

struct Run {
    bool ok = false;
    double seconds = 0;
    long peakKb = 0;
};

// Runs a program to its end; wall time and the child's own peak resident size.
Run Spawn(const QStringList &args) {
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Run r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return r;
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKb = ru.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&fa);
    return r;
}

long PeakKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir work;
    QString movie = qEnvironmentVariable("KZ_BENCH_MOVIE");
    if (movie.isEmpty()) {
        movie = work.filePath("big.swf");
        std::printf("making a ~100 MB movie with ffmpeg (MP3 stream, MJPEG frames)...\n");
        std::fflush(stdout);
        const Run made = Spawn({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i",
                                "sine=frequency=440:duration=175", "-f", "lavfi", "-i",
                                "testsrc=size=640x480:rate=25:duration=175", "-c:v", "mjpeg",
                                "-q:v", "2", "-c:a", "libmp3lame", "-b:a", "192k", "-f", "swf",
                                movie});
        if (!made.ok) {
            std::fprintf(stderr, "ffmpeg could not make the movie\n");
            return 1;
        }
    }
    const QString kztool = kz::test::BinDir() + "/kztool";
    const QString ours = work.filePath("ours");
    const QString theirs = work.filePath("ffmpeg.mp3");
    QDir().mkpath(ours);
    std::printf("movie: %s, %.1f MB\n", qPrintable(movie), QFileInfo(movie).size() / 1e6);

    const auto runOurs = [&] {
        QFile::remove(ours + "/big_stream.mp3");
        return Spawn({kztool, "mp3", movie, ours});
    };
    const auto runTheirs = [&] {
        return Spawn({"ffmpeg", "-nostdin", "-y", "-i", movie, "-vn", "-c:a", "copy", "-f", "mp3",
                      "-write_xing", "0", "-id3v2_version", "0", "-write_id3v1", "0", theirs});
    };
    runOurs(); // warm the page cache for both
    runTheirs();
    std::vector<double> a, b;
    long peakOurs = 0, peakTheirs = 0;
    for (int i = 0; i < rounds; ++i) {
        const Run o = runOurs();
        const Run t = runTheirs();
        if (!o.ok || !t.ok) {
            std::fprintf(stderr, "a run failed (kztool %d, ffmpeg %d)\n", o.ok, t.ok);
            return 1;
        }
        a.push_back(o.seconds);
        b.push_back(t.seconds);
        peakOurs = std::max(peakOurs, o.peakKb);
        peakTheirs = std::max(peakTheirs, t.peakKb);
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const QByteArray stream = kz::test::ReadFile(ours + "/" + QFileInfo(movie).completeBaseName() +
                                                 "_stream.mp3");
    const QByteArray copied = kz::test::ReadFile(theirs);
    std::printf("stream: %.1f MB, %s ffmpeg's copy\n", copied.size() / 1e6,
                stream.chopped(std::min<qsizetype>(128, stream.size())) == copied ? "identical to"
                                                                                   : "DIFFERENT from");
    std::printf("kztool mp3:    median %.3f s, best %.3f s, peak RSS %.1f MB\n", a[a.size() / 2],
                a.front(), peakOurs / 1024.0);
    std::printf("ffmpeg -c:a copy: median %.3f s, best %.3f s, peak RSS %.1f MB\n",
                b[b.size() / 2], b.front(), peakTheirs / 1024.0);

    // In this process: the extraction alone, and how far it raises the peak.
    QTemporaryDir inProc;
    const long before = PeakKb();
    QElapsedTimer t;
    t.start();
    const bool ok = kz::ExtractMp3(movie, inProc.path() + "/");
    const double secs = double(t.nsecsElapsed()) / 1e9;
    std::printf("in process: %s in %.3f s (%.0f MB/s), peak RSS %.1f MB -> %.1f MB\n",
                ok ? "extracted" : "FAILED", secs, QFileInfo(movie).size() / 1e6 / secs,
                before / 1024.0, PeakKb() / 1024.0);
    return ok ? 0 : 1;
}
