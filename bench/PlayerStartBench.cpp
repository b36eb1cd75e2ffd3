// Start-up to the first rendered frame of a local movie: the player's window (frame, view and
// controls, the movie loaded as the play controller will load it) and its bare Flash control,
// beside a bare page that runs the same Ruffle runtime in the same engine. Each side runs in a
// fresh process, timed from its start until it reports the first frame drawn on screen (a grab
// of the movie's widget that is no longer one colour).
//
// bench_playerstart [MOVIE]          runs every side once and prints the times and the ratios
// bench_playerstart --side player|control|bare MOVIE   (one side; used by the run above)

#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/RufflePage.h"
#include "platform/flash/ShockwaveFlash.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>
#include <cstring>

namespace {

bool Drawn(QWidget *w) {
    const QImage img = w->grab().toImage();
    if (img.isNull())
        return false;
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7)
            if (img.pixel(x, y) != first)
                return true;
    return false;
}

// Polls the window until the movie shows, then reports and quits.
int RunUntilDrawn(QApplication &app, QWidget *w) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (Drawn(w)) {
            std::printf("drawn\n");
            std::fflush(stdout);
            app.quit();
        }
    });
    poll.start(15);
    QTimer::singleShot(60000, &app, [&] { app.exit(1); });
    return app.exec();
}

int Side(const char *side, const QString &movie, int argc, char **argv) {
    kz::PrepareWebEngine();
    QApplication app(argc, argv);
    kz::SetProgramDirOverride(QString::fromLocal8Bit(qgetenv("KZ_BIN_DIR")));
    if (std::strcmp(side, "player") == 0) {
        kz::ControlFactory controls;
        controls.flash = [](QWidget *p) { return new kz::CMedia(p); };
        controls.browser = [](QWidget *p) { return new kz::CExplorer1(p); };
        kz::CMainFrame frame(controls, movie);
        frame.resize(800, 600);
        frame.show();
        kz::CKZPlayerView *view = frame.View();
        view->OnInitialUpdate();
        view->Flash()->SetScale(QStringLiteral("ShowAll"));
        view->Flash()->LoadMovie(0, movie);
        view->m_nPlayState = kz::kStatePlaying;
        view->LayOut();
        return RunUntilDrawn(app, view->Flash());
    }
    if (std::strcmp(side, "control") == 0) {
        kz::CMedia flash;
        flash.resize(640, 480);
        flash.show();
        flash.SetScale(QStringLiteral("ShowAll"));
        flash.LoadMovie(0, movie);
        return RunUntilDrawn(app, &flash);
    }
    // The bare page: Ruffle, a player element, the movie's bytes; nothing of ours.
    QWebEngineView view;
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(640, 480);
    view.show();
    QFile f(movie);
    if (!f.open(QIODevice::ReadOnly))
        return 2;
    const QString b64 = QString::fromLatin1(f.readAll().toBase64());
    const QString html =
        QStringLiteral("<!DOCTYPE html><html><body style='margin:0;overflow:hidden'>"
                       "<script>window.RufflePlayer={config:{publicPath:'./',autoplay:'on',"
                       "unmuteOverlay:'hidden',splashScreen:false}};</script>"
                       "<script src='ruffle.js'></script><script>"
                       "const p=window.RufflePlayer.newest().createPlayer();"
                       "p.style.width='100vw';p.style.height='100vh';document.body.appendChild(p);"
                       "const b=atob('%1');const u=new Uint8Array(b.length);"
                       "for(let i=0;i<b.length;++i)u[i]=b.charCodeAt(i);p.ruffle().load({data:u});"
                       "</script></body></html>")
            .arg(b64);
    view.page()->setHtml(html, QUrl::fromLocalFile(kz::ProgramDir() + QStringLiteral("ruffle/")));
    return RunUntilDrawn(app, &view);
}

double TimeSide(const QString &self, const char *side, const QString &movie) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(self, {QStringLiteral("--side"), QString::fromLatin1(side), movie});
    if (!p.waitForStarted(10000))
        return -1;
    while (p.state() != QProcess::NotRunning) {
        if (p.waitForReadyRead(100) && p.readAllStandardOutput().contains("drawn")) {
            const double ms = double(t.nsecsElapsed()) / 1e6;
            p.waitForFinished(10000);
            return ms;
        }
        if (t.elapsed() > 90000)
            break;
    }
    p.kill();
    p.waitForFinished();
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--side") == 0)
        return Side(argv[2], QString::fromLocal8Bit(argv[3]), argc, argv);
    QCoreApplication app(argc, argv);
    const QString corpus = qEnvironmentVariable("KZ_CORPUS_DIR");
    const QString movie = argc >= 2
                              ? QString::fromLocal8Bit(argv[1])
                              : QDir(corpus).filePath(QStringLiteral("acid_acid-gradient.swf"));
    const QString self = QCoreApplication::applicationFilePath();
    // A warm-up run first, so that every side finds the engine's files in the page cache.
    TimeSide(self, "bare", movie);
    const double bare = TimeSide(self, "bare", movie);
    const double control = TimeSide(self, "control", movie);
    const double player = TimeSide(self, "player", movie);
    if (bare <= 0 || control <= 0 || player <= 0) {
        std::printf("first rendered frame: a side never drew (bare %.0f ms, control %.0f ms, "
                    "player %.0f ms)\n",
                    bare, control, player);
        return 1;
    }
    std::printf("movie: %s\n", qPrintable(movie));
    std::printf("process start to first rendered frame, player window: %.0f ms\n", player);
    std::printf("process start to first rendered frame, Flash control alone: %.0f ms\n", control);
    std::printf("process start to first rendered frame, bare Ruffle page: %.0f ms\n", bare);
    std::printf("ratio player / bare page: %.2f\n", player / bare);
    std::printf("ratio control / bare page: %.2f\n", control / bare);
    return 0;
}
