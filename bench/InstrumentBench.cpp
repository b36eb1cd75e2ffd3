// Time and peak memory of instrumenting a movie (the window thread does it when a local movie
// loads): a 65 KB compressed movie whose body is 64 MB of empty frames, the same of empty
// non-frame tags, 65,535 real frames, and the largest movies of the corpus. Each movie is
// instrumented in a fresh process so the peak resident memory (getrusage) is its own.
//
// bench_instrument               makes the movies and prints one line per movie
// bench_instrument --one FILE    instruments one movie and prints its figures (used above)

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfWriter.h"
#include "platform/flash/MovieInstrument.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

double PeakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0; // kilobytes on Linux
}

const char *KindName(kz::InstrumentedMovie::Kind kind) {
    switch (kind) {
    case kz::InstrumentedMovie::Kind::Direct:
        return "direct";
    case kz::InstrumentedMovie::Kind::Driven:
        return "driven";
    case kz::InstrumentedMovie::Kind::None:
        break;
    }
    return "none";
}

int One(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray file = f.readAll();
    const double before = PeakMb();
    QElapsedTimer t;
    t.start();
    const kz::InstrumentedMovie im = kz::InstrumentMovie(file, "kzmovie://app/driver/1/1");
    const double secs = double(t.nsecsElapsed()) / 1e9;
    std::printf("%8.3f s %8.1f MB %8.1f MB %8.1f MB  %s %s\n", secs, PeakMb(), before,
                double(im.movie.size()) / 1048576.0, KindName(im.kind),
                im.reason.toUtf8().constData());
    return 0;
}

// A movie of `count` copies of one tag after a 1 x 1 pixel stage at 24 frames a second.
QByteArray Repeated(char signature, const QByteArray &tag, qsizetype count, int frames) {
    kz::MovieBodyHeader head;
    head.stage = {0, 20, 0, 20};
    head.frameCount = std::uint16_t(std::min(frames, 65535));
    const QByteArray body =
        kz::MovieBodyHeaderBytes(head) + tag.repeated(count) + kz::SwfTag(kz::kTagEnd, {});
    return kz::MovieBytes(signature, 8, std::uint32_t(kz::kSwfHeaderBytes + body.size()), body, 9);
}

// A square moving one pixel a frame.
QByteArray Moving(int frames) {
    kz::SwfWriter w(320, 240, 24, 8);
    w.Place(w.DefinePolygon({{0, 0}, {40, 0}, {40, 40}, {0, 40}}, Qt::blue), 1);
    for (int f = 0; f < frames; ++f) {
        w.Move(1, kz::SwfMatrix::Translate(f % 280, f % 200));
        w.ShowFrame();
    }
    return w.Finish(true);
}

// Writes the made movies into `dir` and prints "label<TAB>path" per movie, the largest corpus
// movies that are instrumented included.
int Make(const QString &dir) {
    // Bodies as large as instrumenting takes: 64 MB less the header and the End tag.
    const qsizetype tags = (kz::kMaxInstrumentedBytes - 64) / 2;
    const QByteArray showFrame = kz::SwfTag(kz::kTagShowFrame, {});
    const QList<QPair<QString, QByteArray>> made{
        {QStringLiteral("64 MB of empty frames (CWS)"), Repeated('C', showFrame, tags, int(tags))},
        {QStringLiteral("64 MB of empty tags (CWS)"),
         Repeated('C', kz::SwfTag(kz::kTagSetBackgroundColor, {}), tags, 1)},
        {QStringLiteral("65,535 frames with a move (CWS)"), Moving(65535)},
    };
    int n = 0;
    for (const auto &[label, bytes] : made) {
        const QString path = QDir(dir).filePath(QString::number(n++) + QStringLiteral(".swf"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
        std::printf("%s, %lld KB\t%s\n", label.toUtf8().constData(),
                    static_cast<long long>(bytes.size() / 1024), path.toUtf8().constData());
    }
    const QFileInfoList corpus =
        QDir(kz::test::CorpusDir())
            .entryInfoList({QStringLiteral("*.swf")}, QDir::Files, QDir::Size);
    int taken = 0;
    for (const QFileInfo &fi : corpus) {
        if (taken == 4)
            break;
        QFile f(fi.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        if (kz::InstrumentMovie(f.readAll(), "u").kind == kz::InstrumentedMovie::Kind::None)
            continue;
        ++taken;
        std::printf("%s, %lld KB\t%s\n", fi.fileName().toUtf8().constData(),
                    static_cast<long long>(fi.size() / 1024), fi.filePath().toUtf8().constData());
    }
    return 0;
}

// Runs this program with `args`; its standard output, empty on failure.
QByteArray Run(const QStringList &args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--one") == 0)
        return One(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0)
        return Make(QString::fromLocal8Bit(argv[2]));

    // The movies are made in a process of their own too: a child starts with its parent's peak.
    QTemporaryDir dir;
    const QByteArray list = dir.isValid() ? Run({QStringLiteral("--make"), dir.path()}) : "";
    if (list.isEmpty())
        return 1;
    std::printf("%-52s %10s %11s %11s %11s  %s\n", "movie", "time", "peak RSS", "after read",
                "output", "kind");
    for (const QByteArray &line : list.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 2)
            continue;
        const QByteArray figures = Run({QStringLiteral("--one"), QString::fromUtf8(fields[1])});
        std::printf("%-52s %s", fields[0].constData(),
                    figures.isEmpty() ? "failed\n" : figures.constData());
        std::fflush(stdout);
    }
    return 0;
}
