// MP3 extraction of ~100 MB uncompressed movies by `kztool mp3` against `ffmpeg -c:a copy` on
// the same file, side by side, with each process's peak memory; then the in-process figures.
// KZ_BENCH_MOVIE names an existing movie to use instead of making one.

#include "support/TestSupport.h"
#include "tools/Mp3Extract.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run {
    bool ok = false;
    double seconds = 0;
    long peakKb = 0;
};

// Runner mode: forks and runs the program, then prints its wall time, peak resident size and
// exit code. A child's peak includes whatever its parent held when it forked, so the measured
// program is started from this small fresh process, never from the benchmark itself.
int RunMeasured(char **argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0)
        return 1;
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %ld %d\n", secs, ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}

QString Self() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? QString::fromLocal8Bit(buf, n) : QString();
}

Run Spawn(const QStringList &args) {
    QProcess p;
    p.start(Self(), QStringList{"--measure"} + args);
    Run r;
    if (!p.waitForFinished(-1))
        return r;
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 3)
        return r;
    r.seconds = f[0].toDouble();
    r.peakKb = f[1].toLong();
    r.ok = f[2].toInt() == 0;
    return r;
}

long PeakKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// One movie: kztool and ffmpeg side by side, then the extraction in this process.
bool Measure(const QString &movie, int rounds) {
    QTemporaryDir work;
    const QString kztool = kz::test::BinDir() + "/kztool";
    const QString ours = work.filePath("ours");
    const QString theirs = work.filePath("ffmpeg.mp3");
    QDir().mkpath(ours);
    const QString streamFile = ours + "/" + QFileInfo(movie).completeBaseName() + "_stream.mp3";
    std::printf("movie: %s, %.1f MB\n", qPrintable(QFileInfo(movie).fileName()),
                QFileInfo(movie).size() / 1e6);

    const auto runOurs = [&] {
        QFile::remove(streamFile);
        return Spawn({kztool, "mp3", movie, ours});
    };
    const auto runTheirs = [&] {
        return Spawn({"ffmpeg", "-nostdin", "-y", "-i", movie, "-vn", "-c:a", "copy", "-f", "mp3",
                      "-write_xing", "0", "-id3v2_version", "0", "-write_id3v1", "0", theirs});
    };
    // In this process first, before this benchmark holds any output in memory.
    QTemporaryDir inProc;
    const long before = PeakKb();
    QElapsedTimer t;
    t.start();
    const bool ok = kz::ExtractMp3(movie, inProc.path() + "/");
    const double secs = double(t.nsecsElapsed()) / 1e9;
    std::printf("  in process: %s in %.3f s (%.0f MB/s), peak RSS %.1f MB -> %.1f MB\n",
                ok ? "extracted" : "FAILED", secs, QFileInfo(movie).size() / 1e6 / secs,
                before / 1024.0, PeakKb() / 1024.0);
    if (!ok)
        return false;
    runOurs(); // warm the page cache for both
    runTheirs();
    std::vector<double> a, b;
    long peakOurs = 0, peakTheirs = 0;
    for (int i = 0; i < rounds; ++i) {
        const Run o = runOurs();
        const Run t = runTheirs();
        if (!o.ok || !t.ok) {
            std::fprintf(stderr, "a run failed (kztool %d, ffmpeg %d)\n", o.ok, t.ok);
            return false;
        }
        a.push_back(o.seconds);
        b.push_back(t.seconds);
        peakOurs = std::max(peakOurs, o.peakKb);
        peakTheirs = std::max(peakTheirs, t.peakKb);
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const QByteArray stream = kz::test::ReadFile(streamFile);
    const QByteArray copied = kz::test::ReadFile(theirs);
    std::printf("  stream: %.1f MB, %s ffmpeg's copy\n", copied.size() / 1e6,
                stream.chopped(std::min<qsizetype>(128, stream.size())) == copied
                    ? "identical to"
                    : "DIFFERENT from");
    std::printf("  kztool mp3:       median %.3f s, best %.3f s, peak RSS %.1f MB\n",
                a[a.size() / 2], a.front(), peakOurs / 1024.0);
    std::printf("  ffmpeg -c:a copy: median %.3f s, best %.3f s, peak RSS %.1f MB\n",
                b[b.size() / 2], b.front(), peakTheirs / 1024.0);

    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 2 && std::string_view(argv[1]) == "--measure")
        return RunMeasured(argv + 2);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QStringList movies;
    const QString given = qEnvironmentVariable("KZ_BENCH_MOVIE");
    QTemporaryDir made;
    if (!given.isEmpty()) {
        movies << given;
    } else {
        // Mostly frames to skip, and mostly sound to copy: both about 100 MB.
        std::printf("making two ~100 MB movies with ffmpeg...\n");
        std::fflush(stdout);
        const QString av = made.filePath("frames.swf");
        const QString audio = made.filePath("sound.swf");
        const Run a = Spawn({"ffmpeg",
                             "-nostdin",
                             "-y",
                             "-f",
                             "lavfi",
                             "-i",
                             "sine=frequency=440:duration=175",
                             "-f",
                             "lavfi",
                             "-i",
                             "testsrc=size=640x480:rate=25:duration=175",
                             "-c:v",
                             "mjpeg",
                             "-q:v",
                             "2",
                             "-c:a",
                             "libmp3lame",
                             "-b:a",
                             "192k",
                             "-f",
                             "swf",
                             av});
        const Run b = Spawn({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i",
                             "sine=frequency=440:duration=2600", "-c:a", "libmp3lame", "-b:a",
                             "320k", "-f", "swf", audio});
        if (!a.ok || !b.ok) {
            std::fprintf(stderr, "ffmpeg could not make the movies\n");
            return 1;
        }
        movies << av << audio;
    }
    bool ok = true;
    for (const QString &m : movies)
        ok = Measure(m, rounds) && ok;
    return ok ? 0 : 1;
}
