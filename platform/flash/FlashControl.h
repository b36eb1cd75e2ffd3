#pragma once
// The Flash control and the browser control as the view and the play controller drive them:
// every member of the control tables, nothing of the engine behind them. The real controls
// host Ruffle and a web page in Qt WebEngine; tests use fakes of the same interface.

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace kz {

// Flash's ready states, as ReadyState reports them.
enum FlashReadyState : int {
    kReadyLoading = 0,
    kReadyUninitialized = 1,
    kReadyLoaded = 2,
    kReadyInteractive = 3,
    kReadyComplete = 4,
};

// The blank address: LoadMovie with it (or with an empty text) empties the control without
// touching the network.
inline constexpr char kBlankMovie[] = "about:blank";

// A movie played out of a list file: its siblings are the other entries of the same list.
struct ListEntrySource {
    QString listFile;
    QString entry;
    // Reads another entry's bytes (bounded); false when the list holds no such entry. Called on
    // a worker thread.
    std::function<bool(const QString &entry, QByteArray &bytes)> readEntry;
};

// How the movies loaded from now on play: their speed as a multiple of their own frame rate
// (the engine then runs them at that rate), and the engine's drawing quality ("low", "medium",
// "high", "best"; empty for its default).
struct PlayOptions {
    double speed = 1.0;
    QString quality;
    bool operator==(const PlayOptions &) const = default;
};

class FlashControl : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~FlashControl() override = default;

    // URL or path of the loaded movie; empty when none.
    virtual QString Movie() const = 0;
    // Starts or resumes.
    virtual void Play() = 0;
    virtual void Stop() = 0;
    // Relative zoom: 0 resets to the whole movie, 50 doubles, 200 halves.
    virtual void Zoom(int percent) = 0;
    // 0xRRGGBB; -1 returns to the movie's own colour.
    virtual void SetBackgroundColor(int rgb) = 0;
    // 0xRRGGBB the control shows around the movie's stage: the engine's colour for the movie
    // once reported (unless BackgroundColor was set after that), BackgroundColor before it;
    // -1 while neither is known.
    virtual int StageColour() const { return -1; }
    virtual int TotalFrames() const = 0;
    virtual void StopPlay() = 0;
    // Shows the frame and keeps the play state when the movie reports its frames; otherwise
    // only frame 0 is possible, and it restarts the movie.
    virtual void GotoFrame(int frame) = 0;
    // -1 when no movie can report; 0 at the start. Exact for a movie that reports its frames,
    // a clock over the frame rate for any other.
    virtual int CurrentFrame() const = 0;
    // False once a reporting movie stands still (its own stop or ours); for any other movie,
    // whether it was last told to play.
    virtual bool IsPlaying() const = 0;
    // True once the loaded movie reports the frames it shows: only then can any frame be sought
    // and CurrentFrame is exact.
    virtual bool ReportsFrames() const { return false; }
    // 0 to 100.
    virtual int PercentLoaded() const = 0;
    // Major version in the high 16 bits.
    virtual int FlashVersion() const = 0;
    // "ShowAll" or "noScale" (others are taken as "ShowAll").
    virtual void SetScale(const QString &scale) = 0;
    // A file path, an http(s) address or the blank address; layer is always 0.
    virtual void LoadMovie(int layer, const QString &url) = 0;
    virtual int ReadyState() const = 0;
    // Loads a list file's entry, extracted to `extracted`, so that it reads its siblings in the
    // list and keeps its saves as that entry's.
    virtual void LoadListEntry(const QString &extracted, const ListEntrySource &source) {
        Q_UNUSED(source);
        LoadMovie(0, extracted);
    }
    // Applies to the next load (a movie in play keeps how it was loaded).
    virtual void SetPlayOptions(const PlayOptions &options) { Q_UNUSED(options); }
    // Folders whose movies may read their files and reach the network.
    virtual void SetTrustedFolders(const QStringList &folders) { Q_UNUSED(folders); }
    // Deletes the saves a movie file (or a list file's entry) made; `done` hears how many.
    virtual void DeleteSaves(const QString &path, const QString &entry,
                             std::function<void(int removed)> done = {}) {
        Q_UNUSED(path);
        Q_UNUSED(entry);
        if (done)
            done(0);
    }

signals:
    // Mouse and key events on the movie that its owner handles (positions in this widget).
    void RightButtonDown(QPoint pos);
    void LeftButtonDoubleClick(QPoint pos);
    void MouseMoved(QPoint pos);
    void EscapePressed();
    // The engine has reported the loaded movie's facts (frames, rate, size).
    void MovieReady();
    // StageColour changed (a new colour set, or the engine's report).
    void StageColourChanged(int rgb);
    // A request of the movie was refused by its sandbox (said once per movie and address).
    void AccessRefused(const QString &text);
};

class BrowserControl : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~BrowserControl() override = default;

    virtual void Navigate(const QString &url) = 0;
    // The address of the page shown (or being navigated to).
    virtual QString LocationURL() const = 0;
    // For pages made from remote text: no scripts run and nothing is loaded from the network
    // (local pages only).
    virtual void SetLocalOnly(bool on) = 0;

signals:
    // Before every navigation of the top frame; a receiver sets *cancel to keep the page.
    // Connect directly: the flag is read when the signal returns.
    void BeforeNavigate2(const QString &url, bool *cancel);
};

} // namespace kz
