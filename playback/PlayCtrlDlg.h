#pragma once
// The play controller: the transport buttons and the position trackbar below the movie, and
// the playing state of the whole program — the current item, playing/paused/stopped, what
// happens at the end of a movie, the status line, keys for the movie, and the loading of
// movies from files, list files and web addresses with their fallbacks.

#include "platform/Thumbnails.h"
#include "platform/Timers.h"
#include "platform/library/MovieLibrary.h"
#include "platform/power/PowerSaving.h"
#include "playback/HeaderProbe.h"
#include "playback/PlayLogic.h"
#include "playback/SwfHeader.h"
#include "settings/Settings.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTimer;

namespace kz {

class CMacSliderCtrl;
class CMyBitmapButton;
class CSoundCtrlDlg;
class FlashControl;
class HttpSession;
class Mixer;
class PlayHost;
class RegistryStore;

// Control ids of the panel (dialog 131).
inline constexpr int IDC_PLAY = 1013;
inline constexpr int IDC_PAUSE = 1039;
inline constexpr int IDC_STOP = 1014;
inline constexpr int IDC_NEXT = 1015;
inline constexpr int IDC_PREV = 1016;
inline constexpr int IDC_AUTO = 1017;
inline constexpr int IDC_HAND = 1041;
inline constexpr int IDC_CYCLE = 1038;
inline constexpr int IDC_CONTINUE = 1018;
inline constexpr int IDC_TRACKBAR = 1012;

// Timers: the frame poll, the status line, the load progress of a web movie, and the wait
// after a movie ended before it is replayed or the next one starts.
inline constexpr TimerSpec kFramePollTimer{1, 200};
inline constexpr TimerSpec kStatusTimer{2, 1000};
inline constexpr TimerSpec kLoadProgressTimer{150, 500};
inline constexpr TimerSpec kEndWaitTimer{1001, 1000, true};

inline constexpr int kButtonWidth = 48;
inline constexpr int kButtonHeight = 40;

class CPlayCtrlDlg : public QWidget {
    Q_OBJECT
public:
    struct Services {
        RegistryStore *registry = nullptr;                  // the settings; none: the defaults
        std::unique_ptr<PowerSettings> power;               // none: power saving is left alone
        std::function<std::unique_ptr<HttpSession>()> http; // none: the Qt Network session
        std::function<std::unique_ptr<Mixer>()> mixer; // none: the sound panel reaches no mixer
        MovieLibrary *library = nullptr; // none: every movie plays at its own speed and quality
    };
    CPlayCtrlDlg(FlashControl *flash, PlayHost *host, Services services, QWidget *parent);
    ~CPlayCtrlDlg() override;

    // Reads the settings and sets the panel up; once, after creation.
    void OnInitDialog();

    // The commands (buttons, the view's menu and keys).
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnNext();
    void OnPrevious();
    void OnAuto();
    void OnHand();
    void OnCycle();
    void OnContinue();
    // The trackbar put somewhere by the user.
    void OnSeek(int position);
    // One frame on or back: a playing movie pauses first; nothing at the first or last frame.
    // Only for a movie that reports its frames (CanStepFrames).
    void OnNextFrame();
    void OnPreviousFrame();
    bool CanStepFrames() const;
    // Shows `frame` (from 0) and keeps the play state; false when the movie cannot go there.
    bool GoToFrame(int frame);
    // The movie in play for what the player keeps about it (empty when none, or when the
    // player's own "missing" or "bad format" movie stands in), and how it plays.
    QString PlayingIdentity() const { return m_identity; }
    MovieSettings PlayingSettings() const { return m_settings; }
    // A movie's remembered settings (the defaults without a library).
    MovieSettings SettingsOf(const QString &identity) const;
    // Remembers a movie's settings; for the movie in play they apply at once: a movie that
    // reports its frames is loaded again and returns to the frame it showed (and its pause),
    // any other starts again.
    void ChangeSettings(const QString &identity, const MovieSettings &settings);
    // Counts the movies loaded; names the current one for the desktop's media panel.
    int MovieSerial() const { return m_nMovieSerial; }

    // Loading (the play list, the browsers and the probe's error).
    void PlayLocalItem(const QString &path, const QString &entryName);
    // Empties the control at once and loads the address a moment later, once an earlier probe
    // that is just reporting has finished (PlayUrlPending meanwhile).
    void PlayUrl(const QString &url);
    bool PlayUrlPending() const { return m_bUrlPending; }
    // The probe's two messages; the record belongs to the handler.
    void OnMovieHeader(std::unique_ptr<UrlProbeRecord> record);
    void OnMovieError(std::unique_ptr<UrlProbeRecord> record);

    // The timers' ticks.
    void OnFramePoll();
    void OnStatusTimer();
    void OnLoadProgress();

    ControllerSettings Settings() const;
    // A copy of the header, taken under the header lock.
    SwfHeaderInfo Header() const;
    bool TimerActive(int id) const;
    bool EndWaitPending() const;
    CMyBitmapButton *Button(int id) const;
    CMacSliderCtrl *Trackbar() const { return m_trackbar; }
    CSoundCtrlDlg *SoundPanel() const { return m_sound; }
    PowerSaving &Power() { return m_power; }
    QStringList PendingDownloadList() const { return m_pendingDownloads->All(); }

    int m_nPlayState = kStateStopped;
    int m_nPlayingMode = kModeListLoop;
    int m_bAutoPlay = 0;
    int m_nCurrentPlayingItem = -1;
    int m_nCurrentNetItem = -1;
    int m_nLastFrame = 0;
    bool m_bUrlMode = false;
    bool m_bFullyLoaded = false;
    bool m_bHeaderKnown = false;
    SwfHeaderInfo m_header;
    QString m_strExtractedFile;
    // Where the movie in play leaves its picture once it has drawn for a moment.
    ThumbnailKey m_thumbnail;

signals:
    // The play state, the movie or its facts changed.
    void StateChanged();
    // The movie was sent to another frame (a seek or a step).
    void Jumped();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    struct Mailbox;
    CMyBitmapButton *MakeButton(int id, const QString &caption, const QString &image,
                                const QString &tip, void (CPlayCtrlDlg::*click)());
    void ShowPairs();
    void PlaceSoundPanel();
    void SetPlayState(int state);
    void KillLoadTimers();
    void StartPlayTimers();
    void SetTrackbarRange(int frames);
    void GiveWayToMovie();
    void ColourInfoForMovie();
    void ScheduleEndAction(EndAction action);
    void OnMovieReady();
    void StartCacheDownload(const QString &url, std::shared_ptr<std::atomic_bool> cancel);
    void StartProbe(std::unique_ptr<UrlProbeRecord> record);
    // The second half of PlayUrl, once the wait for an earlier probe is over.
    void LoadUrl(const QString &url, std::unique_ptr<UrlProbeRecord> record);
    // Takes up the movie's settings for the load that follows.
    void UseSettingsOf(const QString &identity);
    // The header's rate as the movie plays it.
    void ApplySpeedToHeader();
    void ReturnToFrame();

    FlashControl *m_flash;
    PlayHost *m_host;
    RegistryStore *m_registry;
    MovieLibrary *m_library;
    std::function<std::unique_ptr<HttpSession>()> m_http;
    std::function<std::unique_ptr<Mixer>()> m_mixer;
    PowerSaving m_power;
    CSoundCtrlDlg *m_sound = nullptr;
    CMacSliderCtrl *m_trackbar = nullptr;
    CMyBitmapButton *m_play = nullptr, *m_pause = nullptr, *m_stop = nullptr, *m_next = nullptr,
                    *m_prev = nullptr, *m_auto = nullptr, *m_hand = nullptr, *m_cycle = nullptr,
                    *m_continue = nullptr;
    QTimer *m_framePoll = nullptr;
    QTimer *m_status = nullptr;
    QTimer *m_loadProgress = nullptr;
    QTimer *m_endWait = nullptr;
    EndAction m_pendingEnd = EndAction::None;
    std::shared_ptr<ProbeEvents> m_events;
    std::shared_ptr<PendingDownloads> m_pendingDownloads;
    std::shared_ptr<Mailbox> m_mailbox;
    // Counts the loads and stops; a web movie whose load was overtaken is not loaded.
    int m_nLoadRequest = 0;
    int m_nMovieSerial = 0;
    bool m_bUrlPending = false;
    bool m_initialised = false;
    QString m_identity;
    MovieSettings m_settings;
    // The local item in play (for a load again), and where a load again returns to.
    QString m_playingPath, m_playingEntry;
    int m_returnFrame = -1;
    // Settings chosen while no library could keep them.
    QHash<QString, MovieSettings> m_unsaved;
    bool m_returnPaused = false;
};

} // namespace kz
