#pragma once
// The movie view: the Flash control, the home-page browser, the information line, the "Back"
// button, the play controller's place and the loading strip, laid out for the window and the
// two screen modes; zoom, background colour, the notification icon and the view's timers.

#include "platform/Timers.h"
#include "shell/ViewLayout.h"
#include "shell/ViewRules.h"

#include <QColor>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace kz {

class BrowserControl;
class CCaptureCommands;
class CMainFrame;
class CPlayCtrlDlg;
class CommandTable;
class CViewPlayHost;
class FlashControl;
class HttpSession;
class IniRegistryStore;
class Mixer;
class MovieLibrary;
struct ControlFactory;
struct UpdateMailbox;
struct UpdateSetup;

// Routes the commands of the speed and quality sub-menus starting at the two ids to the
// movies `identities` names (SettingsRoutes.cpp).
void RouteMovieSettings(CommandTable &t, int speedFirst, int qualityFirst,
                        std::function<CPlayCtrlDlg *()> ctrl,
                        std::function<QStringList()> identities);

// Timers: the home page and version check once after start, the connectivity re-check, the
// repaint after a start with a movie.
inline constexpr TimerSpec kHomePageTimer{1, 500, true};
inline constexpr TimerSpec kConnectivityTimer{2, 300000};
inline constexpr TimerSpec kRepaintTimer{100, 20, true};
inline constexpr int kInfoLineHeight = 20;
// How long the update threads wait for the maker's site to answer.
inline constexpr int kUpdateConnectTimeoutMs = 10000;
inline constexpr int kTrayIconId = 1000;

class CKZPlayerView : public QWidget {
    Q_OBJECT
public:
    CKZPlayerView(CMainFrame *frame, const ControlFactory &controls);
    ~CKZPlayerView() override;

    // Runs once, after the frame exists; ends by emitting InitialUpdateDone.
    void OnInitialUpdate();
    // Lays the children out for the current client size (the size handler).
    void LayOut();

    FlashControl *Flash() const { return m_flash; }
    BrowserControl *Browser() const { return m_browser; }
    QLabel *InfoLine() const { return m_info; }
    QPushButton *BackButton() const { return m_back; }
    QWidget *PlayController() const;
    CPlayCtrlDlg *PlayCtrl() const { return m_playCtrl; }
    CViewPlayHost *PlayHost() const { return m_playHost.get(); }
    QWidget *LoadingStrip() const { return m_loading; }
    QProgressBar *LoadingBar() const { return m_loadingBar; }
    // Capture, send by mail and save as (their services can be replaced by tests).
    CCaptureCommands *Capture() const { return m_capture; }

    // What the play controller (and the sound panel) tell the view.
    int m_nPlayState = kStateStopped;
    bool m_bGameMode = false;
    void SetMovieSize(QSize stage) { m_movieSize = stage; }

    int m_nZoom = kZoomStart;
    std::uint32_t m_intBackColor = 0; // COLORREF
    bool m_bBackColourChosen = false; // stored or picked by the user (else the movie's colour)

    void OnZoomIn();
    void OnZoomOut();
    void OnBackColour();
    void OnBack();
    // The threads of the update check ask for the online home page (WM_USER+110).
    void OnOpenOnlineHomePage();
    // Colours the information line with the background colour (and its inverse for text).
    void ColourInfoLine(std::uint32_t colorRef);
    // Text and background colours as COLORREF values.
    void ColourInfoLine(std::uint32_t textRef, std::uint32_t backRef);

    // The notification icon: added when the frame hides in the notification area.
    void AddTrayIcon();
    void DeleteTrayIcon();
    bool HasTrayIcon() const;
    void RestoreFromTray();
    QMenu *TrayMenu() const { return m_trayMenu; }

    // The colour chooser (a colour dialog); tests put their own.
    std::function<std::optional<QColor>(QColor)> m_chooseColour;

    // The very first erase of the process is white; a new process state for tests.
    static void ResetFirstErase();
    // The colour the last erase used.
    QColor LastEraseColour() const { return m_lastErase; }

    bool TimerActive(int id) const;

    // The online-home-page flag: 1 once the update threads asked for the online page.
    int OnlineHomePage() const;
    // The sessions of the update threads (tests point them elsewhere).
    std::function<std::unique_ptr<HttpSession>()> m_updateHttp;

signals:
    // The view has finished its initial update: a second start may now hand its file over.
    void InitialUpdateDone();
    // A movie link of the home page, for the play controller's PlayUrl.
    void PlayUrlRequested(const QString &url);
    // Timer 2: time for a connectivity re-check.
    void ConnectivityCheckDue();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void RouteCommands();
    void RoutePlayCommands();
    void RouteCaptureCommands();
    void OnTimer1();
    void OnTimer2();
    void OnTimer100();
    UpdateSetup UpdateSetupNow() const;
    void OnBeforeNavigate2(const QString &url, bool *cancel);
    void PopUpPlayMenu(QPoint global);
    void ToggleModeByDoubleClick();
    void LeaveScreenModes();
    void ShowControllerFor(QPoint pos);
    bool Windowed() const;

    CMainFrame *m_frame;
    FlashControl *m_flash = nullptr;
    BrowserControl *m_browser = nullptr;
    QLabel *m_info = nullptr;
    QPushButton *m_back = nullptr;
    CPlayCtrlDlg *m_playCtrl = nullptr;
    CCaptureCommands *m_capture = nullptr;
    std::unique_ptr<CViewPlayHost> m_playHost;
    std::unique_ptr<IniRegistryStore> m_machine;
    std::unique_ptr<MovieLibrary> m_library;
    std::function<std::unique_ptr<Mixer>()> m_mixerFactory;
    QWidget *m_loading = nullptr;
    QProgressBar *m_loadingBar = nullptr;
    QSize m_backSize;
    QSize m_movieSize;
    QMenu *m_trayMenu = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
    QTimer *m_timer100 = nullptr;
    QColor m_lastErase;
    bool m_initialised = false;
    std::shared_ptr<UpdateMailbox> m_updates;
};

} // namespace kz
