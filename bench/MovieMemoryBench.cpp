// Peak memory of the player's process and the engine's processes while a 200 MB movie loads:
// the Flash control as it is (the movie served to the page through the player's URL scheme)
// beside the way it used to hand movies over (the whole movie as base64 text in a script,
// decoded by the page). Each side runs in a fresh process; the process tree's resident memory
// is sampled every 20 ms until the engine reports the movie.
//
// bench_moviememory [MEGABYTES [SIDE]]     runs both sides (or one) and prints their peaks
// bench_moviememory --side scheme|script MOVIE   (one side; used by the run above)

#include "formats/swf/SwfWriter.h"
#include "platform/Paths.h"
#include "platform/flash/ShockwaveFlash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>
#include <cstring>
#include <map>

namespace {

// The page script of the earlier hand-over, as it was.
constexpr char kScriptPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body style="margin:0"><div id="stage"
style="width:100%;height:100%"></div><script src="ruffle.js"></script><script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = { publicPath: "./", autoplay: "on", splashScreen: false };
window.kzReady = 0;
window.kzLoad = (s, b64, opts) => {
  const bin = atob(b64);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; ++i) bytes[i] = bin.charCodeAt(i);
  const player = window.RufflePlayer.newest().createPlayer();
  document.getElementById("stage").appendChild(player);
  player.addEventListener("loadedmetadata", () => { window.kzReady = 1; });
  player.ruffle().load(Object.assign({ data: bytes }, opts)).catch(() => { window.kzReady = -1; });
};
</script></body></html>)HTML";

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int ScriptSide(QApplication &app, const QString &movie) {
    QWebEngineView view;
    view.resize(640, 480);
    view.page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    bool loaded = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    view.page()->setHtml(QString::fromUtf8(kScriptPage),
                         QUrl::fromLocalFile(kz::ProgramDir() + QStringLiteral("ruffle/")));
    view.show();
    while (!loaded)
        Pump(10);
    QElapsedTimer t;
    t.start();
    {
        QFile f(movie);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = f.readAll();
        const QString script =
            QStringLiteral("kzLoad(1,\"%1\",{})").arg(QString::fromLatin1(bytes.toBase64()));
        view.page()->runJavaScript(script);
    }
    int ready = 0;
    while (ready == 0 && t.elapsed() < 300000) {
        view.page()->runJavaScript(QStringLiteral("window.kzReady"),
                                   [&](const QVariant &v) { ready = v.toInt(); });
        Pump(50);
    }
    std::printf("ready %d after %lld ms\n", ready, qint64(t.elapsed()));
    std::fflush(stdout);
    Q_UNUSED(app);
    return ready == 1 ? 0 : 1;
}

int SchemeSide(const QString &movie) {
    QWidget window;
    window.resize(640, 480);
    auto *flash = new kz::CMedia(&window);
    flash->setGeometry(0, 0, 640, 480);
    window.show();
    while (!flash->PageReady())
        Pump(10);
    QElapsedTimer t;
    t.start();
    flash->LoadMovie(0, movie);
    while (flash->TotalFrames() <= 0 && t.elapsed() < 300000)
        Pump(20);
    std::printf("ready %d after %lld ms\n", flash->TotalFrames() > 0, qint64(t.elapsed()));
    std::fflush(stdout);
    return flash->TotalFrames() > 0 ? 0 : 1;
}

// Resident kilobytes of a process and all its descendants.
qint64 TreeRssKb(qint64 root) {
    std::map<qint64, qint64> parent;
    std::map<qint64, qint64> rss;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &p : pids) {
        bool ok = false;
        const qint64 pid = p.toLongLong(&ok);
        if (!ok)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parent[pid] = line.mid(5).trimmed().toLongLong();
            else if (line.startsWith("VmRSS:"))
                rss[pid] = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    qint64 total = 0;
    for (const auto &[pid, kb] : rss) {
        for (qint64 p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
            if (p == root) {
                total += kb;
                break;
            }
        }
    }
    return total;
}

QByteArray BigMovie(int megabytes) {
    kz::SwfWriter w(320, 240, 12, 8);
    w.SetBackgroundColor(QColor(20, 60, 20));
    w.Place(w.DefinePolygon({{0, 0}, {100, 0}, {100, 100}}, Qt::yellow), 1);
    // A tag the engine does not know carries the bulk; it is read and skipped.
    QByteArray bulk(qsizetype(megabytes) << 20, '\0');
    for (qsizetype i = 0; i < bulk.size(); i += 4096)
        bulk[i] = char(i >> 12);
    w.AddTag(1000, bulk);
    w.ShowFrame();
    return w.Finish();
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--side") == 0) {
        kz::PrepareWebEngine();
        QApplication app(argc, argv);
        kz::SetProgramDirOverride(QString::fromLocal8Bit(qgetenv("KZ_BIN_DIR")));
        const QString movie = QString::fromLocal8Bit(argv[3]);
        return std::strcmp(argv[2], "script") == 0 ? ScriptSide(app, movie) : SchemeSide(movie);
    }
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir dir;
    const QString movie = dir.filePath(QStringLiteral("big.swf"));
    {
        QFile f(movie);
        if (!f.open(QIODevice::WriteOnly) || f.write(BigMovie(megabytes)) <= 0)
            return 1;
    }
    std::printf("movie: %d MB\n", megabytes);
    QStringList sides{QStringLiteral("scheme"), QStringLiteral("script")};
    if (argc > 2)
        sides = {QString::fromLocal8Bit(argv[2])};
    for (const QString &sideName : sides) {
        const QByteArray sideBytes = sideName.toLatin1();
        const char *side = sideBytes.constData();
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--side"), QString::fromLatin1(side), movie});
        if (!p.waitForStarted())
            return 1;
        qint64 peak = 0;
        while (!p.waitForFinished(20))
            peak = std::max(peak, TreeRssKb(p.processId()));
        std::printf("%-7s peak %lld MB (player and engine processes); %s", side, peak / 1024,
                    p.readAllStandardOutput().constData());
        std::fflush(stdout);
    }
    return 0;
}
