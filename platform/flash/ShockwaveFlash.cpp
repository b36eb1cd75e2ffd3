#include "ShockwaveFlash.h"

#include "platform/Paths.h"
#include "platform/flash/MovieInstrument.h"
#include "platform/flash/RufflePage.h"

#include "platform/Workers.h"
#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"

#include <QApplication>
#include <QBuffer>
#include <QChildEvent>
#include <QFile>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <map>

#include <unistd.h>

namespace kz {

// The object the page's script reports to.
class RuffleBridge : public QObject {
    Q_OBJECT
public:
    explicit RuffleBridge(CShockwaveflash1 *owner) : QObject(owner), m_owner(owner) {}

public slots:
    void PageReady() { m_owner->OnPageReady(); }
    void Metadata(int seq, const QVariantMap &facts, bool playing) {
        m_owner->OnMetadata(seq, facts, playing);
    }
    void LoadFailed(int seq, const QString &) { m_owner->OnLoadFailed(seq); }
    void Frame(int seq, int frame, int epoch) { m_owner->OnFrame(seq, frame, epoch); }

private:
    CShockwaveflash1 *m_owner;
};

namespace {

constexpr char kScheme[] = "kzmovie";
constexpr char kPageBase[] = "kzmovie://app/ruffle/";

// Serves the page's runtime files and each control's current movie. A movie is either the
// user's file, read as the engine asks (never copied, never written), or our instrumented copy
// in memory.
class MovieScheme : public QWebEngineUrlSchemeHandler {
public:
    static MovieScheme &Instance() {
        static MovieScheme *scheme = [] {
            auto *s = new MovieScheme(qApp);
            QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(kScheme, s);
            return s;
        }();
        return *scheme;
    }
    struct Movie {
        int seq = 0;
        QString file;    // the user's file, served as it is
        QByteArray data; // or our copy
        QByteArray driver;
    };
    void Serve(int control, Movie movie) { m_movies[control] = std::move(movie); }
    void Drop(int control) { m_movies.erase(control); }

    void requestStarted(QWebEngineUrlRequestJob *job) override {
        // Paths: /ruffle/NAME, /movie/CONTROL/SEQ, /driver/CONTROL/SEQ.
        const QStringList parts = job->requestUrl().path().split(u'/', Qt::SkipEmptyParts);
        // Only the control's own page may read through the scheme; web pages shown elsewhere
        // in the same profile may not.
        const bool fromPage = job->initiator().scheme() == QLatin1String(kScheme) &&
                              job->initiator().host() == u"app";
        if (!fromPage || job->requestUrl().host() != u"app" || parts.isEmpty()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        if (parts.size() == 2 && parts[0] == u"ruffle") {
            const QString name = parts[1];
            if (name.startsWith(u'.') || name.contains(u'\\')) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            const QByteArray type = name.endsWith(u".wasm") ? "application/wasm"
                                    : name.endsWith(u".js") ? "text/javascript"
                                                            : "application/octet-stream";
            ReplyFile(job, type, ProgramDir() + QStringLiteral("ruffle/") + name);
            return;
        }
        if (parts.size() == 3 && (parts[0] == u"movie" || parts[0] == u"driver")) {
            const auto it = m_movies.find(parts[1].toInt());
            if (it == m_movies.end() || it->second.seq != parts[2].toInt()) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            const Movie &m = it->second;
            const QByteArray type = "application/x-shockwave-flash";
            if (parts[0] == u"driver")
                ReplyBytes(job, type, m.driver);
            else if (!m.data.isEmpty())
                ReplyBytes(job, type, m.data);
            else
                ReplyFile(job, type, m.file);
            return;
        }
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }

private:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    static void ReplyFile(QWebEngineUrlRequestJob *job, const QByteArray &type,
                          const QString &path) {
        auto *f = new QFile(path);
        if (path.isEmpty() || !f->open(QIODevice::ReadOnly)) {
            delete f;
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QObject::connect(job, &QObject::destroyed, f, &QObject::deleteLater);
        job->reply(type, f);
    }
    static void ReplyBytes(QWebEngineUrlRequestJob *job, const QByteArray &type,
                           const QByteArray &bytes) {
        auto *b = new QBuffer;
        b->setData(bytes); // shared, not copied
        b->open(QIODevice::ReadOnly);
        QObject::connect(job, &QObject::destroyed, b, &QObject::deleteLater);
        job->reply(type, b);
    }
    std::map<int, Movie> m_movies;
};

int NextControlId() {
    static int next = 0;
    return ++next;
}

// Ruffle's log goes to the debug output only when asked for.
class RufflePageHost : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int line,
                                  const QString &) override {
        static const bool verbose = qEnvironmentVariableIsSet("KZ_RUFFLE_LOG");
        if (verbose)
            qInfo("ruffle:%d: %s", line, qPrintable(message));
    }
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override {
        // The page never leaves itself; movies' own links do not replace the stage.
        return !isMainFrame || url.scheme() == u"data" || url.scheme() == QLatin1String(kScheme) ||
               url.toString() == u"about:blank";
    }
};

QString WebChannelScript() {
    QFile f(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool IsWebAddress(const QString &url) {
    return url.startsWith(u"http://", Qt::CaseInsensitive) ||
           url.startsWith(u"https://", Qt::CaseInsensitive);
}

MovieFacts FactsFrom(const QVariantMap &m) {
    MovieFacts f;
    f.width = m.value(QStringLiteral("width")).toInt();
    f.height = m.value(QStringLiteral("height")).toInt();
    f.frameRate = m.value(QStringLiteral("frameRate")).toDouble();
    f.frameCount = m.value(QStringLiteral("numFrames")).toInt();
    f.swfVersion = m.value(QStringLiteral("swfVersion")).toInt();
    const QString bg = m.value(QStringLiteral("backgroundColor")).toString();
    bool ok = false;
    const int rgb = bg.startsWith(u'#') ? bg.mid(1).toInt(&ok, 16) : 0;
    f.backgroundColor = ok ? rgb : -1;
    return f;
}

} // namespace

CShockwaveflash1::CShockwaveflash1(QWidget *parent)
    : FlashControl(parent), m_controlId(NextControlId()) {
    MovieScheme::Instance();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_web = new QWebEngineView(this);
    m_web->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_web);
    auto *page = new RufflePageHost(m_web);
    QWebEngineSettings *s = page->settings();
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Everything the page loads comes through the player's scheme.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, true);
    page->setBackgroundColor(Qt::black);
    m_web->setPage(page);
    m_bridge = new RuffleBridge(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("bridge"), m_bridge);
    page->setWebChannel(m_channel);
    m_web->installEventFilter(this);
    setFocusProxy(m_web);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &CShockwaveflash1::OnPageCrashed,
            Qt::QueuedConnection);
    StartPage();
    HookRenderWidgets();
}

void CShockwaveflash1::StartPage() {
    m_pageReady = false;
    m_web->page()->setHtml(RuffleHostPage(WebChannelScript()),
                           QUrl(QString::fromLatin1(kPageBase)));
}

void CShockwaveflash1::OnPageCrashed(int status) {
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    // A movie that brought the engine down is gone; the control starts afresh, empty, with
    // the zoom and colour it had.
    if (m_cancelDownload) {
        *m_cancelDownload = true;
        m_cancelDownload.reset();
    }
    ++m_seq;
    m_state.Fail();
    m_pageReady = false;
    m_pending.clear();
    RunScript(ScriptCall("kzZoom", m_state.ZoomFactor()));
    RunScript(ScriptCall("kzBackground", CssColor(m_background)));
    StartPage();
}

CShockwaveflash1::~CShockwaveflash1() {
    if (m_cancelDownload)
        *m_cancelDownload = true;
    MovieScheme::Instance().Drop(m_controlId);
}

QWebEnginePage *CShockwaveflash1::Page() const {
    return m_web->page();
}

void CShockwaveflash1::RunScript(const QString &script) {
    if (!m_pageReady) {
        // Only the last load counts: earlier ones (movie bytes and all) are dropped.
        if (script.startsWith(u"kzLoad(") || script.startsWith(u"kzClear("))
            m_pending.removeIf([](const QString &s) {
                return s.startsWith(u"kzLoad(") || s.startsWith(u"kzClear(");
            });
        m_pending << script;
        return;
    }
    m_web->page()->runJavaScript(script);
}

void CShockwaveflash1::OnPageReady() {
    m_pageReady = true;
    const QStringList pending = std::exchange(m_pending, {});
    for (const QString &script : pending)
        m_web->page()->runJavaScript(script);
    HookRenderWidgets();
}

void CShockwaveflash1::ApplyOptions() {
    RunScript(ScriptCall("kzOptions", RuffleLook(m_scale, m_background)));
}

void CShockwaveflash1::Play() {
    m_wantPlaying = true;
    m_state.Play();
    RunScript(QStringLiteral("kzPlay(%1)").arg(++m_epoch));
}

void CShockwaveflash1::Stop() {
    StopPlay();
}

void CShockwaveflash1::StopPlay() {
    m_wantPlaying = false;
    m_state.Stop();
    RunScript(QStringLiteral("kzPause(%1)").arg(++m_epoch));
}

void CShockwaveflash1::GotoFrame(int frame) {
    if (!m_state.HasMovie())
        return;
    // A movie that reports its frames takes the seek itself and keeps its play state.
    if (m_state.SeekTo(frame)) {
        RunScript(QStringLiteral("kzGoto(%1,%2,%3)")
                      .arg(++m_epoch)
                      .arg(m_state.CurrentFrame() + 1)
                      .arg(m_state.IsPlaying() ? QStringLiteral("true") : QStringLiteral("false")));
        return;
    }
    if (frame != 0)
        return; // the engine cannot seek any other movie
    m_state.Restart();
    RunScript(QStringLiteral("kzRestart()"));
}

void CShockwaveflash1::Zoom(int percent) {
    m_state.Zoom(percent);
    RunScript(ScriptCall("kzZoom", m_state.ZoomFactor()));
}

void CShockwaveflash1::SetBackgroundColor(int rgb) {
    rgb = rgb < 0 ? -1 : (rgb & 0xFFFFFF);
    if (rgb == m_background)
        return;
    m_background = rgb;
    ApplyOptions();
}

void CShockwaveflash1::SetScale(const QString &scale) {
    if (RuffleScaleMode(scale) == RuffleScaleMode(m_scale))
        return;
    m_scale = scale;
    ApplyOptions();
}

int CShockwaveflash1::FlashVersion() const {
    // The engine stands in for the last player generation.
    return 32 << 16;
}

void CShockwaveflash1::LoadMovie(int, const QString &url) {
    if (m_cancelDownload) {
        *m_cancelDownload = true;
        m_cancelDownload.reset();
    }
    ++m_seq;
    m_wantPlaying = true;
    m_cacheHold.reset();
    // The previous movie's bytes go at once, not when the next one is in.
    MovieScheme::Instance().Drop(m_controlId);
    if (url.isEmpty() || url == QLatin1String(kBlankMovie)) {
        m_state.Clear();
        RunScript(ScriptCall("kzClear", m_seq));
        return;
    }
    m_state.BeginLoad(url);
    if (IsWebAddress(url))
        LoadWeb(url);
    else
        LoadFile(url.startsWith(u"file:", Qt::CaseInsensitive) ? QUrl(url).toLocalFile() : url);
}

void CShockwaveflash1::LoadFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxMovieBytes || f.size() <= 0) {
        MovieScheme::Instance().Drop(m_controlId);
        OnLoadFailed(m_seq);
        RunScript(ScriptCall("kzClear", m_seq));
        return;
    }
    const QString base = QStringLiteral("kzmovie://app/%2/%1/") + QString::number(m_seq);
    const QString movieUrl = base.arg(m_controlId).arg(QStringLiteral("movie"));
    const QString driverUrl = base.arg(m_controlId).arg(QStringLiteral("driver"));
    MovieScheme::Movie served;
    served.seq = m_seq;
    served.file = path;
    bool instrumented = false;
    // Only a movie small enough to copy is read whole and instrumented; the others are read
    // by the engine straight from the file.
    const QByteArray head = f.peek(8);
    const qint64 declared = head.size() == 8 ? qint64(std::uint8_t(head[4])) |
                                                   qint64(std::uint8_t(head[5])) << 8 |
                                                   qint64(std::uint8_t(head[6])) << 16 |
                                                   qint64(std::uint8_t(head[7])) << 24
                                             : 0;
    if (f.size() <= kMaxInstrumentedBytes && declared <= kMaxInstrumentedBytes) {
        const InstrumentedMovie im = InstrumentMovie(f.readAll(), driverUrl.toLatin1());
        if (im.kind != InstrumentedMovie::Kind::None) {
            instrumented = true;
            served.data = im.movie;
            served.driver = im.driver;
        }
    }
    m_instrumented = instrumented;
    MovieScheme::Instance().Serve(m_controlId, std::move(served));
    m_state.Loaded();
    RunScript(ScriptLoad(m_seq, movieUrl, instrumented, RuffleLook(m_scale, m_background)));
}

void CShockwaveflash1::LoadWeb(const QString &url) {
    RunScript(ScriptCall("kzClear", m_seq));
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancelDownload = cancel;
    QPointer<CShockwaveflash1> self(this);
    const int seq = m_seq;
    const QString folder = UrlCache::DefaultFolder();
    // The movie in play keeps its cache entry while other downloads make room.
    m_cacheHold = std::make_unique<UrlCache::Hold>(QUrl(url));
    // The download blocks, so it runs beside the window; results come back queued.
    StartWorker([self, seq, url, cancel, folder] {
        auto session = CreateHttpSession();
        session->SetCancelFlag(cancel); // a new movie ends this download at once
        UrlCache cache(folder);
        int lastPercent = -1;
        auto progress = [&](std::int64_t received, std::int64_t total) {
            if (*cancel)
                return false;
            // One report per percent is all the control's callers can see.
            const int percent = total > 0 ? int(std::min(received, total) * 100 / total) : -1;
            if (percent == lastPercent)
                return true;
            lastPercent = percent;
            QMetaObject::invokeMethod(
                qApp,
                [self, seq, received, total] {
                    if (self)
                        self->OnDownloadProgress(seq, received, total);
                },
                Qt::QueuedConnection);
            return true;
        };
        const auto entry = cache.Download(QUrl(url), *session, progress, kMaxMovieBytes);
        const QString file = entry ? entry->localFile : QString();
        QMetaObject::invokeMethod(
            qApp,
            [self, seq, file] {
                if (self)
                    self->OnDownloadDone(seq, file);
            },
            Qt::QueuedConnection);
    });
}

void CShockwaveflash1::OnDownloadProgress(int seq, qint64 received, qint64 total) {
    if (seq == m_seq)
        m_state.Progress(received, total);
}

void CShockwaveflash1::OnDownloadDone(int seq, const QString &localFile) {
    if (seq != m_seq)
        return;
    m_cancelDownload.reset();
    if (localFile.isEmpty()) {
        OnLoadFailed(seq);
        return;
    }
    LoadFile(localFile); // Movie() keeps the web address
}

void CShockwaveflash1::OnMetadata(int seq, const QVariantMap &facts, bool playing) {
    if (seq != m_seq)
        return;
    const bool keepPlaying = playing && m_wantPlaying;
    if (playing && !m_wantPlaying)
        RunScript(QStringLiteral("kzPause(%1)").arg(++m_epoch));
    m_state.Ready(FactsFrom(facts), keepPlaying);
    emit MovieReady();
}

void CShockwaveflash1::OnFrame(int seq, int frame, int epoch) {
    // Reports sent before the last go-to, play or pause tell of a timeline that has moved.
    if (seq != m_seq || !m_instrumented || epoch != m_epoch)
        return;
    m_state.ReportFrame(frame);
    emit FrameReported(frame);
}

void CShockwaveflash1::OnLoadFailed(int seq) {
    if (seq != m_seq)
        return;
    m_state.Fail();
}

void CShockwaveflash1::HookRenderWidgets() {
    // The engine renders into child widgets it makes itself; their input is watched here.
    const auto children = m_web->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (!child->property("kzHooked").toBool()) {
            child->setProperty("kzHooked", true);
            child->installEventFilter(this);
        }
    }
}

bool CShockwaveflash1::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_web) {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)
            QMetaObject::invokeMethod(this, &CShockwaveflash1::HookRenderWidgets,
                                      Qt::QueuedConnection);
        return FlashControl::eventFilter(watched, event);
    }
    if (auto *w = qobject_cast<QWidget *>(watched); w && MovieInput(w, event))
        return true;
    return FlashControl::eventFilter(watched, event);
}

bool CShockwaveflash1::MovieInput(QWidget *, QEvent *event) {
    // No menu of the engine's own over the movie.
    return event->type() == QEvent::ContextMenu;
}

bool CMedia::MovieInput(QWidget *target, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::RightButton) {
            emit RightButtonDown(target->mapTo(this, me->position().toPoint()));
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        return static_cast<QMouseEvent *>(event)->button() == Qt::RightButton;
    case QEvent::MouseButtonDblClick: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton)
            emit LeftButtonDoubleClick(target->mapTo(this, me->position().toPoint()));
        break;
    }
    case QEvent::MouseMove:
        emit MouseMoved(
            target->mapTo(this, static_cast<QMouseEvent *>(event)->position().toPoint()));
        break;
    case QEvent::KeyPress:
        target->setFocus();
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            emit EscapePressed();
        break;
    case QEvent::ContextMenu:
        return true;
    default:
        break;
    }
    return false;
}

void PrepareWebEngine() {
    static bool schemeRegistered = false;
    if (!schemeRegistered) {
        schemeRegistered = true;
        QWebEngineUrlScheme scheme(kScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
        QWebEngineUrlScheme::registerScheme(scheme);
    }
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-gpu"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --disable-gpu").trimmed());
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace kz

#include "ShockwaveFlash.moc"
