// How exactly the engine reports frames for the ActionScript 1/2 movies of the corpus. Each
// playable movie that the player instruments is loaded into a Flash control and watched for
// five seconds from its first report: while it plays, the reports must keep pace with the
// movie's rate, within one frame of elapsed time x rate (a movie that halts itself is judged
// over the time it played). Reports that arrive together belong to one frame tick (a movie's
// own go-to runs the target frame in the same tick), so ticks are counted. Prints one line per
// movie and the share that keeps pace.
//
// bench_framereport [CORPUS_DIR [NAME_PREFIX]]   (default: $KZ_CORPUS_DIR, every movie)

#include "platform/Paths.h"
#include "platform/flash/MovieInstrument.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playback/SwfHeader.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kWatchMs = 5000;
constexpr int kReadyMs = 20000;
constexpr int kFirstReportMs = 5000;

using kz::test::Pump;
using kz::test::PumpUntil;

} // namespace

int main(int argc, char **argv) {
    kz::PrepareWebEngine();
    QApplication app(argc, argv);
    kz::SetProgramDirOverride(QString::fromLocal8Bit(qgetenv("KZ_BIN_DIR")));
    const QString corpus = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QString::fromLocal8Bit(qgetenv("KZ_CORPUS_DIR"));
    const QDir dir(corpus);
    if (corpus.isEmpty() || !dir.exists()) {
        std::fprintf(stderr, "no corpus folder\n");
        return 2;
    }

    QWidget window;
    window.resize(640, 480);
    auto *flash = new kz::CMedia(&window);
    flash->setGeometry(0, 0, 640, 480);
    window.show();
    if (!PumpUntil([&] { return flash->PageReady(); }, 30000)) {
        std::fprintf(stderr, "the page never started\n");
        return 1;
    }

    int judged = 0, kept = 0, skippedAs3 = 0, skippedOther = 0;
    QStringList failures;
    std::printf("movie\tversion\trate\tframes\tticks\tplayed_ms\texpected\tjumps\tverdict\n");
    const QString prefix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (const QString &name :
         dir.entryList({prefix + QStringLiteral("*.swf")}, QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        kz::SwfHeaderInfo header;
        kz::ReadSwfHeader(path, header);
        if (!kz::IsPlayableMovie(header)) {
            ++skippedOther;
            continue;
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const kz::InstrumentedMovie im = kz::InstrumentMovie(f.readAll(), "u");
        if (im.kind == kz::InstrumentedMovie::Kind::None) {
            im.reason == QStringLiteral("ActionScript 3") ? ++skippedAs3 : ++skippedOther;
            continue;
        }
        ++judged;
        QList<qint64> times;
        QList<int> frames;
        QElapsedTimer clock;
        clock.start();
        const auto connection =
            QObject::connect(flash, &kz::CShockwaveflash1::FrameReported, [&](int frame) {
                times << clock.elapsed();
                frames << frame;
            });
        flash->LoadMovie(0, path);
        const bool ready = PumpUntil([&] { return flash->TotalFrames() > 0; }, kReadyMs);
        const bool reported = ready && PumpUntil([&] { return !times.isEmpty(); }, kFirstReportMs);
        if (reported) {
            const qint64 start = times.first();
            PumpUntil([&] { return clock.elapsed() - start >= kWatchMs; }, kWatchMs + 1000);
        }
        QObject::disconnect(connection);
        const double rate = im.frameRate > 0 ? im.frameRate : 12;
        QString verdict;
        int reports = 0, skipped = 0;
        double playedMs = 0, expected = 0;
        if (!reported) {
            verdict = ready ? QStringLiteral("no reports") : QStringLiteral("never ready");
        } else {
            const qint64 start = times.first();
            const double tickMs = 1000.0 / rate;
            // A tick shows the next frame; reports of other frames in the same instant are the
            // movie's own go-to within that tick. Gaps of more than three frame times are the
            // movie standing still, and do not count as playing time.
            qint64 last = start;
            playedMs = 0;
            for (qsizetype i = 0; i < times.size() && times[i] - start < kWatchMs; ++i) {
                const qint64 gap = times[i] - last;
                const bool sameInstant =
                    i > 0 && double(gap) < tickMs * 0.4 && frames[i] != frames[i - 1] + 1;
                if (i == 0 || !sameInstant)
                    ++reports;
                // One tick on, yet not the next frame nor a wrap: a frame went unreported or
                // the movie jumped by itself.
                if (i > 0 && !sameInstant && frames[i] != frames[i - 1] + 1 && frames[i] != 1)
                    ++skipped;
                if (i > 0 && double(gap) <= 3 * tickMs)
                    playedMs += double(gap);
                else
                    playedMs += tickMs; // a span starts: its first frame
                last = times[i];
            }
            // A movie still reporting at the end of the window played until then.
            if (double(kWatchMs - (last - start)) <= 3 * tickMs)
                playedMs += double(kWatchMs - (last - start)) - tickMs;
            expected = playedMs * rate / 1000.0;
            // Within one frame either side of the whole frames the time allows.
            const bool ok =
                reports >= std::floor(expected) - 1 && reports <= std::ceil(expected) + 1;
            verdict = ok ? QStringLiteral("ok") : QStringLiteral("off");
            kept += ok;
        }
        if (verdict != u"ok")
            failures << name + QStringLiteral(" (") + verdict + u')';
        std::printf("%s\t%d\t%.2f\t%d\t%d\t%.0f\t%.1f\t%d\t%s\n", qPrintable(name), im.version,
                    rate, im.frameCount, reports, playedMs, expected, skipped, qPrintable(verdict));
        std::fflush(stdout);
        flash->LoadMovie(0, QString::fromLatin1(kz::kBlankMovie));
        Pump(100);
    }
    std::printf("\n%d of %d instrumented AS1/2 movies keep pace (%.0f %%); left out: %d AS3, %d "
                "unplayable or not instrumentable\n",
                kept, judged, judged ? 100.0 * kept / judged : 0.0, skippedAs3, skippedOther);
    for (const QString &f : failures)
        std::printf("  %s\n", qPrintable(f));
    return 0;
}
