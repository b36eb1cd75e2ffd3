#include "ShockwaveFlash.h"

#include "platform/Paths.h"
#include "platform/flash/MovieInstrument.h"
#include "platform/flash/RufflePage.h"

#include "platform/UserDirs.h"
#include "platform/Workers.h"
#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"

#include <QApplication>
#include <QBuffer>
#include <QChildEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
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
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <map>

#include <unistd.h>

namespace kz {

// The object the page's script reports to. Whatever comes over it may be forged by the movie's
// own scripts (they run in the same page): the control checks every value before use.
class RuffleBridge : public QObject {
    Q_OBJECT
public:
    explicit RuffleBridge(CShockwaveflash1 *owner) : QObject(owner), m_owner(owner) {}

public slots:
    void PageReady(const QVariant &token) { m_owner->OnPageReady(token.toInt()); }
    void Metadata(const QVariant &seq, const QVariantMap &facts, const QVariant &playing) {
        m_owner->OnMetadata(seq.toInt(), facts, playing.toBool());
    }
    void LoadFailed(const QVariant &seq, const QVariant &) { m_owner->OnLoadFailed(seq.toInt()); }
    void Frame(const QVariant &seq, const QVariant &frame, const QVariant &epoch) {
        m_owner->OnFrame(seq.toInt(), frame, epoch.toInt());
    }
    void OpenLink(const QVariant &seq, const QVariant &url) {
        m_owner->OnOpenLink(seq.toInt(), url.toString());
    }

private:
    CShockwaveflash1 *m_owner;
};

namespace {

constexpr char kScheme[] = "kzmovie";
// Files a sibling request may bring into memory at once (a list entry, a web file).
constexpr qint64 kMaxSiblingBytes = qint64(64) << 20;

// What a control serves on its movie's site.
struct ServedSite {
    int control = 0;
    int seq = 0;
    MovieSite site;
    QString moviePath; // the movie's own request path
    QString file;      // the movie as a file, served as it is
    QByteArray data;   // or our copy
    QByteArray driver;
    std::function<bool(const QString &, QByteArray &)> readEntry;
    QPointer<CShockwaveflash1> owner;
};

// Serves the page's runtime and, on each movie's site, the movie and the siblings its sandbox
// lets it read: the files of its folder tree, the other entries of its list file, or its web
// site's files through the URL cache. Every request must come from the site's own page.
class MovieScheme : public QWebEngineUrlSchemeHandler {
public:
    static MovieScheme &Instance() {
        static MovieScheme *scheme = new MovieScheme(qApp);
        return *scheme;
    }
    void Serve(ServedSite site) {
        Drop(site.control);
        const QString host = site.site.host;
        m_sites[host] = std::move(site);
    }
    void Drop(int control) {
        std::erase_if(m_sites, [&](const auto &kv) { return kv.second.control == control; });
    }

    void requestStarted(QWebEngineUrlRequestJob *job) override {
        const QUrl url = job->requestUrl();
        const QString host = url.host();
        const QString path = url.path(QUrl::FullyEncoded);
        // Only a site's own page may read from it; other pages in the profile may not.
        const bool ownPage = job->initiator().scheme() == QLatin1String(kScheme) &&
                             job->initiator().host() == host && !host.isEmpty();
        if (!ownPage || job->requestMethod() != "GET") {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        const QString runtime = QString::fromLatin1(kPlayerPath) + QStringLiteral("ruffle/");
        if (path.startsWith(runtime)) {
            const QString name = path.mid(runtime.size());
            if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/') ||
                name.contains(u'\\') || name.contains(u'%')) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            const QByteArray type = name.endsWith(u".wasm") ? "application/wasm"
                                    : name.endsWith(u".js") ? "text/javascript"
                                                            : "application/octet-stream";
            ReplyFile(job, type, ProgramDir() + QStringLiteral("ruffle/") + name);
            return;
        }
        const auto it = m_sites.find(host);
        if (it == m_sites.end()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        const ServedSite &s = it->second;
        const QByteArray type = "application/x-shockwave-flash";
        if (path ==
            QString::fromLatin1(kPlayerPath) + QStringLiteral("driver/") + QString::number(s.seq)) {
            ReplyBytes(job, type, s.driver);
            return;
        }
        if (path.startsWith(QString::fromLatin1(kPlayerPath))) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        if (path == s.moviePath) {
            if (!s.data.isEmpty())
                ReplyBytes(job, type, s.data);
            else
                ReplyFile(job, type, s.file);
            return;
        }
        ServeSibling(job, s, path, url.query(QUrl::FullyEncoded));
    }

private:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void ServeSibling(QWebEngineUrlRequestJob *job, const ServedSite &s, const QString &path,
                      const QString &query) {
        const QString name = QUrl::fromPercentEncoding(path.toUtf8());
        switch (s.site.kind) {
        case MovieSite::Kind::Folder: {
            if (!s.site.readFiles) {
                Refuse(job, s, FileRefusedText(FileNameOf(name)));
                return;
            }
            const QString file = ResolveSiteFile(s.site.folder, path);
            if (file.isEmpty()) {
                // What exists but lies outside the tree, or is no plain file, is refused.
                const QFileInfo there(s.site.folder + name);
                if (there.exists() || there.isSymLink() || name.contains(u"/../"))
                    Refuse(job, s, FileRefusedText(FileNameOf(name)));
                else
                    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            ReplyFile(job, MimeOf(file), file);
            return;
        }
        case MovieSite::Kind::ListFile: {
            if (!s.site.readFiles) {
                Refuse(job, s, FileRefusedText(FileNameOf(name)));
                return;
            }
            const QString entry = ResolveSiteEntry(path);
            if (entry.isEmpty() || !s.readEntry) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            auto read = s.readEntry;
            ReplyLater(
                job, [read, entry](QByteArray &bytes) { return read(entry, bytes); },
                MimeOf(entry));
            return;
        }
        case MovieSite::Kind::Web: {
            const QUrl web = ResolveSiteWeb(s.site.webUrl, path, query);
            ReplyLater(
                job,
                [web](QByteArray &bytes) {
                    auto session = CreateHttpSession();
                    UrlCache cache(UrlCache::DefaultFolder());
                    const auto entry = cache.Download(web, *session, {}, kMaxSiblingBytes);
                    if (!entry)
                        return false;
                    QFile f(entry->localFile);
                    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxSiblingBytes)
                        return false;
                    bytes = f.readAll();
                    return true;
                },
                MimeOf(web.path()));
            return;
        }
        case MovieSite::Kind::None:
            break;
        }
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }

    static void Refuse(QWebEngineUrlRequestJob *job, const ServedSite &s, const QString &text) {
        if (s.owner)
            s.owner->Refused(s.seq, text);
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
    }

    static QByteArray MimeOf(const QString &name) {
        const QString n = name.toLower();
        if (n.endsWith(u".swf"))
            return "application/x-shockwave-flash";
        if (n.endsWith(u".jpg") || n.endsWith(u".jpeg"))
            return "image/jpeg";
        if (n.endsWith(u".png"))
            return "image/png";
        if (n.endsWith(u".gif"))
            return "image/gif";
        if (n.endsWith(u".mp3"))
            return "audio/mpeg";
        if (n.endsWith(u".xml"))
            return "text/xml";
        if (n.endsWith(u".txt"))
            return "text/plain";
        return "application/octet-stream";
    }

    // Reads on a worker (a list file or the web may be slow) and replies on this thread, if
    // the engine still waits for the answer.
    static void ReplyLater(QWebEngineUrlRequestJob *job, std::function<bool(QByteArray &)> read,
                           const QByteArray &type) {
        QPointer<QWebEngineUrlRequestJob> waiting(job);
        const bool started = StartWorker([waiting, read = std::move(read), type] {
            auto bytes = std::make_shared<QByteArray>();
            const bool ok = read(*bytes) && bytes->size() <= kMaxSiblingBytes;
            QMetaObject::invokeMethod(
                qApp,
                [waiting, ok, bytes, type] {
                    if (!waiting)
                        return;
                    if (ok)
                        ReplyBytes(waiting, type, *bytes);
                    else
                        waiting->fail(QWebEngineUrlRequestJob::UrlNotFound);
                },
                Qt::QueuedConnection);
        });
        if (!started)
            job->fail(QWebEngineUrlRequestJob::RequestAborted);
    }

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
    std::map<QString, ServedSite> m_sites;
};

// The profile the movie pages live in: persistent under the user's data folder, so a movie's
// saves (the engine keeps them in the page's local storage) outlive the player. A store that
// cannot be used is set aside and a new one begun.
QWebEngineProfile *MovieProfile() {
    static QWebEngineProfile *profile = [] {
        const QString dir = UserDataDir() + QStringLiteral("engine");
        const QFileInfo info(dir);
        if (info.exists() && (!info.isDir() || !info.isWritable() || info.isSymLink()))
            SetAsideDamaged(dir);
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
        auto *p = new QWebEngineProfile(QStringLiteral("KZPlayer-movies"), qApp);
        p->setPersistentStoragePath(dir);
        p->setCachePath(CacheHome() + QStringLiteral("/KZPlayer/engine"));
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->installUrlSchemeHandler(kScheme, &MovieScheme::Instance());
        return p;
    }();
    return profile;
}

int NextControlId() {
    static int next = 0;
    return ++next;
}

// Decides what the movie's page may reach of the network; it asks its control.
class MovieNetGate : public QWebEngineUrlRequestInterceptor {
public:
    explicit MovieNetGate(CShockwaveflash1 *owner)
        : QWebEngineUrlRequestInterceptor(owner), m_owner(owner) {}
    void interceptRequest(QWebEngineUrlRequestInfo &info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == QLatin1String(kScheme) || scheme == u"data" || scheme == u"blob" ||
            scheme == u"about")
            return;
        if (!m_owner->NetworkRequest(info.requestUrl()))
            info.block(true);
    }

private:
    CShockwaveflash1 *m_owner;
};

// The page of the control: Ruffle's log goes to the debug output only when asked for; the
// page never leaves itself, opens no window and shows no script dialogs.
class RufflePageHost : public QWebEnginePage {
public:
    RufflePageHost(QWebEngineProfile *profile, CShockwaveflash1 *owner, QObject *parent)
        : QWebEnginePage(profile, parent), m_owner(owner) {}
    // The next main-frame load is the control's own page.
    void ExpectOwnLoad() { m_ownLoad = true; }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int line,
                                  const QString &) override {
        static const bool verbose = qEnvironmentVariableIsSet("KZ_RUFFLE_LOG");
        if (verbose)
            qInfo("ruffle:%d: %s", line, qPrintable(message));
    }
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override {
        return false;
    }
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override {
        const QString scheme = url.scheme();
        if (isMainFrame && m_ownLoad && (scheme == u"data" || scheme == QLatin1String(kScheme))) {
            m_ownLoad = false;
            return true;
        }
        if (!isMainFrame)
            return scheme == QLatin1String(kScheme) || url.toString() == u"about:blank";
        // A movie's link in its own window: opened on the desktop, the stage stays.
        if (m_owner && scheme != QLatin1String(kScheme))
            m_owner->OnOpenLink(-1, url.toString());
        return false;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

private:
    QPointer<CShockwaveflash1> m_owner;
    bool m_ownLoad = false;
};

QString WebChannelScript() {
    QFile f(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool IsWebAddress(const QString &url) {
    return url.startsWith(u"http://", Qt::CaseInsensitive) ||
           url.startsWith(u"https://", Qt::CaseInsensitive);
}

// "http://host:port" as the page's script names an origin (no default port).
QString WebOrigin(const QUrl &url) {
    QUrl o;
    o.setScheme(url.scheme().toLower());
    o.setHost(url.host().toLower());
    const int defaultPort = o.scheme() == u"https" ? 443 : 80;
    if (url.port() != -1 && url.port() != defaultPort)
        o.setPort(url.port());
    return o.toString(QUrl::FullyEncoded);
}

} // namespace

CShockwaveflash1::CShockwaveflash1(QWidget *parent)
    : FlashControl(parent), m_controlId(NextControlId()) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_web = new QWebEngineView(this);
    m_web->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_web);
    auto *page = new RufflePageHost(MovieProfile(), this, m_web);
    QWebEngineSettings *s = page->settings();
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Everything the page loads comes through the player's scheme.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, true);
    page->setBackgroundColor(Qt::black);
    page->setUrlRequestInterceptor(new MovieNetGate(this));
    m_web->setPage(page);
    m_bridge = new RuffleBridge(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("bridge"), m_bridge);
    page->setWebChannel(m_channel);
    m_web->installEventFilter(this);
    setFocusProxy(m_web);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &CShockwaveflash1::OnPageCrashed,
            Qt::QueuedConnection);
    m_site = BlankSite();
    StartPage();
    HookRenderWidgets();
}

void CShockwaveflash1::StartPage() {
    // Every movie gets a page of its own: nothing a movie's scripts leave behind outlives it.
    m_pageReady = false;
    m_pending.clear();
    ++m_pageToken;
    RunScript(ScriptCall("kzEpoch", m_epoch));
    RunScript(ScriptCall("kzZoom", m_state.ZoomFactor()));
    ApplyOptions();
    static_cast<RufflePageHost *>(m_web->page())->ExpectOwnLoad();
    m_web->page()->setHtml(
        RuffleHostPage(WebChannelScript(), m_pageToken),
        QUrl(QStringLiteral("%1://%2%3ruffle/")
                 .arg(QLatin1String(kScheme), m_site.host, QLatin1String(kPlayerPath))));
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
    MovieScheme::Instance().Drop(m_controlId);
    m_site = BlankSite();
    StartPage();
}

CShockwaveflash1::~CShockwaveflash1() {
    if (m_cancelDownload)
        *m_cancelDownload = true;
    MovieScheme::Instance().Drop(m_controlId);
    // The page goes before its profile does.
    delete m_web;
    m_web = nullptr;
}

QWebEnginePage *CShockwaveflash1::Page() const {
    return m_web->page();
}

void CShockwaveflash1::RunScript(const QString &script) {
    if (!m_pageReady) {
        m_pending << script;
        return;
    }
    m_web->page()->runJavaScript(script);
}

void CShockwaveflash1::OnPageReady(int token) {
    if (token != m_pageToken || m_pageReady)
        return;
    m_pageReady = true;
    const QStringList pending = std::exchange(m_pending, {});
    for (const QString &script : pending)
        m_web->page()->runJavaScript(script);
    HookRenderWidgets();
}

void CShockwaveflash1::ApplyOptions() {
    RunScript(ScriptCall("kzOptions", RuffleLook(m_scale, StageColour())));
}

int CShockwaveflash1::StageColour() const {
    if (m_engineColour >= 0 && !m_backgroundChosen)
        return m_engineColour;
    return m_background >= 0 ? m_background : m_engineColour;
}

void CShockwaveflash1::StageColourMayHaveChanged() {
    const int colour = StageColour();
    if (colour == m_shownColour)
        return;
    m_shownColour = colour;
    ApplyOptions();
    emit StageColourChanged(colour);
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
    // A colour given before the engine reports stands in for the movie's (the header's); one
    // given after it is chosen over the engine's.
    if (m_metadataSeen)
        m_backgroundChosen = rgb >= 0;
    m_background = rgb;
    StageColourMayHaveChanged();
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

void CShockwaveflash1::SetTrustedFolders(const QStringList &folders) {
    m_trusted = folders;
}

void CShockwaveflash1::DeleteSaves(const QString &path, const QString &entry,
                                   std::function<void(int)> done) {
    const MovieSite site =
        entry.isEmpty() ? SiteForFile(path, {}, {}) : SiteForListEntry(path, entry, {}, {});
    // The engine keeps a movie's saves in its site's local storage as "HOST/PATH/NAME".
    const QUrl movie(site.movieUrl);
    const QJsonArray prefixes{site.host + movie.path(QUrl::FullyEncoded) + u'/',
                              site.host + movie.path(QUrl::FullyDecoded) + u'/'};
    const QString script =
        QStringLiteral("(() => { const p = %1; let n = 0;"
                       " for (const k of Object.keys(localStorage))"
                       "   if (p.some((x) => k.startsWith(x))) { localStorage.removeItem(k); ++n; }"
                       " return n; })()")
            .arg(QString::fromUtf8(QJsonDocument(prefixes).toJson(QJsonDocument::Compact)));
    const QUrl at(QStringLiteral("%1://%2%3saves")
                      .arg(QLatin1String(kScheme), site.host, QLatin1String(kPlayerPath)));
    auto remove = [script, done, at] {
        auto *page = new QWebEnginePage(MovieProfile(), qApp);
        connect(page, &QWebEnginePage::loadFinished, page, [page, script, done](bool) {
            page->runJavaScript(script, [page, done](const QVariant &removed) {
                page->deleteLater();
                if (done)
                    done(removed.toInt());
            });
        });
        page->setHtml(QStringLiteral("<!DOCTYPE html><title></title>"), at);
    };
    // A movie in play writes its saves back when it goes: it goes first.
    if (m_site.host != site.host) {
        remove();
        return;
    }
    LoadMovie(0, QString::fromLatin1(kBlankMovie));
    connect(m_web->page(), &QWebEnginePage::loadFinished, this, remove, Qt::SingleShotConnection);
}

void CShockwaveflash1::BeginMovie() {
    if (m_cancelDownload) {
        *m_cancelDownload = true;
        m_cancelDownload.reset();
    }
    ++m_seq;
    m_wantPlaying = true;
    m_cacheHold.reset();
    m_refused.clear();
    m_metadataSeen = false;
    m_playRate = 0;
    m_engineColour = -1;
    m_backgroundChosen = false;
    // The previous movie's bytes go at once, not when the next one is in.
    MovieScheme::Instance().Drop(m_controlId);
    StageColourMayHaveChanged();
}

void CShockwaveflash1::LoadMovie(int, const QString &url) {
    BeginMovie();
    if (url.isEmpty() || url == QLatin1String(kBlankMovie)) {
        m_state.Clear();
        ShowBlank();
        return;
    }
    m_state.BeginLoad(url);
    if (IsWebAddress(url)) {
        LoadWeb(url);
        return;
    }
    const QString path =
        url.startsWith(u"file:", Qt::CaseInsensitive) ? QUrl(url).toLocalFile() : url;
    LoadFile(path, [&](const QByteArray &head) { return SiteForFile(path, head, m_trusted); }, {});
}

void CShockwaveflash1::LoadListEntry(const QString &extracted, const ListEntrySource &source) {
    BeginMovie();
    m_state.BeginLoad(extracted);
    LoadFile(
        extracted,
        [&](const QByteArray &head) {
            return SiteForListEntry(source.listFile, source.entry, head, m_trusted);
        },
        source.readEntry);
}

void CShockwaveflash1::ShowBlank() {
    // A blank page never held a movie: it is kept (loading or ready) rather than started again.
    if (m_site.host != QLatin1String(kBlankSiteHost)) {
        m_site = BlankSite();
        StartPage();
    } else {
        RunScript(ScriptCall("kzClear", m_seq));
    }
}

void CShockwaveflash1::LoadFile(const QString &path, const SiteOfHead &siteOf,
                                std::function<bool(const QString &, QByteArray &)> readEntry) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxMovieBytes || f.size() <= 0) {
        OnLoadFailed(m_seq);
        ShowBlank();
        return;
    }
    // The movie's first bytes tell its sandbox (its file attributes) and its rate.
    const QByteArray head = f.peek(4096);
    const MovieSite site = siteOf(head);
    m_site = site;
    const QString driverUrl =
        QStringLiteral("%1://%2%3driver/%4")
            .arg(QLatin1String(kScheme), site.host, QLatin1String(kPlayerPath))
            .arg(m_seq);
    ServedSite served;
    served.control = m_controlId;
    served.seq = m_seq;
    served.site = site;
    served.moviePath = QUrl(site.movieUrl).path(QUrl::FullyEncoded);
    served.file = path;
    served.readEntry = std::move(readEntry);
    served.owner = this;
    bool instrumented = false;
    // Only a movie small enough to copy is read whole and instrumented; the others are read
    // by the engine straight from the file.
    // A faster or slower movie runs at its own rate times the speed.
    const double ownRate = m_options.speed != 1.0 ? HeadFrameRate(head) : 0;
    m_playRate = ownRate > 0 ? ownRate * m_options.speed : 0;
    const qint64 declared = head.size() >= 8 ? qint64(std::uint8_t(head[4])) |
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
    MovieScheme::Instance().Serve(std::move(served));
    m_state.Loaded();
    StartPage();
    RunScript(ScriptLoad(m_seq, site.movieUrl, instrumented, RuffleLook(m_scale, StageColour()),
                         site.kind == MovieSite::Kind::Web ? WebOrigin(site.webUrl) : QString(),
                         RuffleLoadOptions(m_playRate, m_options.quality)));
}

void CShockwaveflash1::LoadWeb(const QString &url) {
    ShowBlank();
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
            [self, seq, file, url] {
                if (self)
                    self->OnDownloadDone(seq, file, url);
            },
            Qt::QueuedConnection);
    });
}

void CShockwaveflash1::OnDownloadProgress(int seq, qint64 received, qint64 total) {
    if (seq == m_seq)
        m_state.Progress(received, total);
}

void CShockwaveflash1::OnDownloadDone(int seq, const QString &localFile, const QString &url) {
    if (seq != m_seq)
        return;
    m_cancelDownload.reset();
    if (localFile.isEmpty()) {
        OnLoadFailed(seq);
        return;
    }
    // Movie() keeps the web address.
    LoadFile(localFile, [&](const QByteArray &) { return SiteForWeb(QUrl(url)); }, {});
}

void CShockwaveflash1::OnMetadata(int seq, const QVariantMap &facts, bool playing) {
    // The engine reports a movie once; anything more comes from the movie's own scripts.
    if (seq != m_seq || m_metadataSeen)
        return;
    m_metadataSeen = true;
    const bool keepPlaying = playing && m_wantPlaying;
    if (playing && !m_wantPlaying)
        RunScript(QStringLiteral("kzPause(%1)").arg(++m_epoch));
    MovieFacts checked = CheckedFacts(facts);
    // The engine reports the header's rate; the movie runs at the one it was told.
    if (m_playRate > 0)
        checked.frameRate = m_playRate;
    m_state.Ready(checked, keepPlaying);
    // The engine knows the colour even where the header reader stopped short of it.
    m_engineColour = m_state.Facts().backgroundColor;
    StageColourMayHaveChanged();
    emit MovieReady();
}

void CShockwaveflash1::OnFrame(int seq, const QVariant &frame, int epoch) {
    // Reports sent before the last go-to, play or pause tell of a timeline that has moved.
    if (seq != m_seq || !m_instrumented || epoch != m_epoch || !m_state.HasMovie())
        return;
    const auto checked = CheckedFrame(frame, m_state.TotalFrames());
    if (!checked)
        return;
    m_state.ReportFrame(*checked);
    emit FrameReported(*checked);
}

void CShockwaveflash1::OnLoadFailed(int seq) {
    if (seq != m_seq)
        return;
    m_state.Fail();
}

void CShockwaveflash1::OnOpenLink(int seq, const QString &url) {
    if (seq != -1 && seq != m_seq)
        return;
    const QUrl admitted = m_links.Admit(url, window() && window()->isActiveWindow());
    if (admitted.isValid())
        QDesktopServices::openUrl(admitted);
}

bool CShockwaveflash1::NetworkRequest(const QUrl &url) {
    if (m_site.network)
        return true;
    Refused(m_seq, NetworkRefusedText(url.host().isEmpty() ? url.scheme() : url.host()));
    return false;
}

void CShockwaveflash1::Refused(int seq, const QString &text) {
    if (seq != m_seq || m_refused.contains(text))
        return;
    m_refused.insert(text);
    emit AccessRefused(text);
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
