#pragma once
// The Flash control on Ruffle in Qt WebEngine (`CShockwaveflash1`), and the movie view's
// variant with its own mouse and key handling (`CMedia`). Getters answer from a mirror of the
// player state; calls go to the page as scripts, queued until the page has started.

#include "platform/flash/FlashControl.h"
#include "platform/flash/FlashState.h"
#include "platform/flash/MovieSandbox.h"
#include "platform/urlcache/UrlCache.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <memory>

class QWebEngineView;
class QWebEnginePage;
class QWebChannel;

namespace kz {

class RuffleBridge;

// Movies larger than this are refused rather than held in memory twice.
inline constexpr qint64 kMaxMovieBytes = qint64(256) << 20;

class CShockwaveflash1 : public FlashControl {
    Q_OBJECT
public:
    explicit CShockwaveflash1(QWidget *parent = nullptr);
    ~CShockwaveflash1() override;

    QString Movie() const override { return m_state.Movie(); }
    void Play() override;
    void Stop() override;
    void Zoom(int percent) override;
    void SetBackgroundColor(int rgb) override;
    int StageColour() const override;
    int TotalFrames() const override { return m_state.TotalFrames(); }
    void StopPlay() override;
    void GotoFrame(int frame) override;
    int CurrentFrame() const override { return m_state.CurrentFrame(); }
    bool IsPlaying() const override { return m_state.IsPlaying(); }
    int PercentLoaded() const override { return m_state.PercentLoaded(); }
    int FlashVersion() const override;
    void SetScale(const QString &scale) override;
    void LoadMovie(int layer, const QString &url) override;
    int ReadyState() const override { return m_state.ReadyState(); }
    void LoadListEntry(const QString &extracted, const ListEntrySource &source) override;
    void SetTrustedFolders(const QStringList &folders) override;
    void SetPlayOptions(const PlayOptions &options) override { m_options = options; }
    void DeleteSaves(const QString &path, const QString &entry,
                     std::function<void(int removed)> done = {}) override;

    // The facts the engine reported for the loaded movie.
    const MovieFacts &Facts() const { return m_state.Facts(); }
    // True when the loaded movie reports its frames (go-to, play and stop act on its timeline).
    bool ReportsFrames() const { return m_state.Reporting(); }
    // True once the page and Ruffle have started.
    bool PageReady() const { return m_pageReady; }
    // The hosting page, for callers that need to look inside (tests, capture).
    QWebEnginePage *Page() const;
    QWebEngineView *WebView() const { return m_web; }
    // Where the loaded movie lives for the engine and what its sandbox lets it reach.
    const MovieSite &Site() const { return m_site; }

    // The page's plumbing (the scheme, the network gate and the page call these): a link the
    // movie opens (seq -1 for a navigation of the page), whether a network request of the page
    // may go, and a refused request to tell the user about.
    void OnOpenLink(int seq, const QString &url);
    bool NetworkRequest(const QUrl &url);
    void Refused(int seq, const QString &text);

signals:
    // The movie reported the frame it shows (counted from 1).
    void FrameReported(int frame);

protected:
    // Input on the rendered movie before the engine sees it; true consumes it.
    virtual bool MovieInput(QWidget *target, QEvent *event);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class RuffleBridge;
    void RunScript(const QString &script);
    void ApplyOptions();
    void StageColourMayHaveChanged();
    void BeginMovie();
    void ShowBlank();
    // The movie's site, from its first bytes.
    using SiteOfHead = std::function<MovieSite(const QByteArray &head)>;
    void LoadFile(const QString &path, const SiteOfHead &siteOf,
                  std::function<bool(const QString &, QByteArray &)> readEntry);
    void LoadWeb(const QString &url);
    void OnPageReady(int token);
    void OnMetadata(int seq, const QVariantMap &facts, bool playing);
    void OnLoadFailed(int seq);
    void OnFrame(int seq, const QVariant &frame, int epoch);
    void OnDownloadProgress(int seq, qint64 received, qint64 total);
    void OnDownloadDone(int seq, const QString &localFile, const QString &url);
    void HookRenderWidgets();
    void StartPage();
    void OnPageCrashed(int status);

    QWebEngineView *m_web = nullptr;
    QWebChannel *m_channel = nullptr;
    RuffleBridge *m_bridge = nullptr;
    FlashState m_state;
    bool m_pageReady = false;
    bool m_wantPlaying = true;
    QStringList m_pending;
    int m_seq = 0;
    QString m_scale = QStringLiteral("ShowAll");
    int m_background = -1;
    int m_engineColour = -1;         // reported by the engine for this movie
    bool m_backgroundChosen = false; // BackgroundColor set after the engine's report
    int m_shownColour = -1;          // what the page was last told
    std::shared_ptr<std::atomic_bool> m_cancelDownload;
    std::unique_ptr<UrlCache::Hold> m_cacheHold; // the web movie's entry, while it is in play
    int m_controlId;
    int m_epoch = 0; // of the last go-to, play or pause sent to the page
    bool m_instrumented = false;
    int m_pageToken = 0;
    bool m_metadataSeen = false;
    MovieSite m_site;
    QStringList m_trusted;
    PlayOptions m_options;
    double m_playRate = 0;   // the rate the engine was told for this movie; 0 for its own
    QSet<QString> m_refused; // told already, for this movie
    LinkGate m_links;
};

// The movie view's control: a right button and a double click on the movie go to the view
// (Ruffle's own menu is off), Escape is reported before the movie sees it, and the pointer's
// moves are reported for the screen modes.
class CMedia : public CShockwaveflash1 {
    Q_OBJECT
public:
    using CShockwaveflash1::CShockwaveflash1;

protected:
    bool MovieInput(QWidget *target, QEvent *event) override;
};

// Before the application object exists: the engine's sandbox off when running as root (it
// refuses to start otherwise) and no GPU process.
void PrepareWebEngine();

} // namespace kz
