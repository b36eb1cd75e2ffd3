#pragma once
// The main frame: menu 128, the toolbar, the status bar and the dockable list bar "My Bar"
// with the two play lists; the settings and the play-list state files; the screen modes,
// always on top, the notification area, auto-close, the hand-over from a second start and from
// the FTP client, dropped files and the options dialogs. The list-file commands and the lists'
// file commands are routed in ListCommandRoutes.cpp.
//
// The play controller reaches the frame only through the view's CViewPlayHost
// (playback/PlayHost.h): the play list's rows, the list bar's face, the end-of-list rule
// `CloseAtEndOfPlayList()` and the screen modes.

#include "platform/Timers.h"
#include "platform/mixer/Mixer.h"
#include "playback/Event.h"
#include "settings/Settings.h"
#include "shell/CommandTable.h"

#include <QByteArray>
#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QDockWidget;
class QLabel;
class QTimer;
class QToolBar;

namespace kz {

class CDragDropListCtrl;
class CKZPlayerView;
class CListDlg;
class CListCommands;
class FlashControl;
class BrowserControl;

struct ControlFactory {
    std::function<FlashControl *(QWidget *)> flash;
    std::function<BrowserControl *(QWidget *)> browser;
    // The system mixer of the sound panel; none: the panel reaches no mixer.
    std::function<std::unique_ptr<Mixer>()> mixer;
};

// Bar ids and the stored layout's profile name.
inline constexpr int kToolBarId = 0xE800;
inline constexpr int kStatusBarId = 0xE801;
inline constexpr int kListBarId = 123;
inline constexpr int kStatusPaneId = 110;
inline constexpr auto kBarStateName = "BarState";
inline constexpr auto kListBarCaption = "My Bar";
// Timers of the frame: auto-close (its interval is the setting's minutes) and the hand-over's
// wait before the handed-over movie plays.
inline constexpr TimerSpec kAutoCloseTimer{100, 0};
inline constexpr TimerSpec kHandOverTimer{300, 500, true};
// Polls the local search's end, then shows the found count.
inline constexpr TimerSpec kSearchDoneTimer{200, 200};
// How long closing the frame waits for a running search to stop.
inline constexpr int kSearchStopWaitMs = 200;
// The FTP client's window title, which names its local server.
inline constexpr auto kFtpClientTitle = "Vobi FTP Client";
inline constexpr auto kFtpClientProgram = "Vantrelftpc";
inline constexpr auto kUpdaterProgram = "vupdate";
// The toolbar's buttons, in order.
QList<int> ToolBarCommands();

// How the frame asks the user for files and runs programs; tests replace these.
struct FrameServices {
    // Open dialog: title, initial folder, filter ("Flash Files(*.swf)"), several files.
    std::function<QStringList(const QString &dir, const QString &filter, bool multi)> openFiles;
    // Save dialog: initial folder, filter, default suffix; empty when cancelled.
    std::function<QString(const QString &dir, const QString &filter, const QString &suffix)>
        saveFile;
    // Starts a program detached (name found on the PATH, or a full path).
    std::function<bool(const QString &program, const QStringList &args)> startProgram;
    // Opens a folder in the file manager.
    std::function<bool(const QString &folder)> openFolder;
    std::function<void(const QString &text)> message;
    // Runs a modal dialog; returns its result.
    std::function<int(QDialog &)> runDialog;
    // The folder browser of the folder search; empty when cancelled.
    std::function<QString()> chooseFolder;
    // A question with OK and Cancel and the information icon; false on Cancel.
    std::function<bool(const QString &text)> askOkCancel;
    // The mount points the disk search walks.
    std::function<QStringList()> fixedDisks;
};

// What the frame shares with its search threads. The threads hold it too, so it outlives the
// frame when a search is still winding down after the close.
struct LocalSearchState {
    std::atomic<int> m_bSearching{0}; // searches started and not yet ended
    std::atomic<bool> m_bStopSearch{false};
    Event m_hSearchDone{Event::ManualReset, true};
    // One search runs at a time; the next waits here.
    std::mutex m_runMutex;
    // Guards the two below.
    std::mutex m_mutex;
    class CMainFrame *m_frame = nullptr; // null once the frame is gone
    QString m_strSearchFolder;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `commandLineFile` is the application's command-line file (may be empty).
    CMainFrame(const ControlFactory &controls, const QString &commandLineFile,
               QWidget *parent = nullptr);
    ~CMainFrame() override;

    CKZPlayerView *View() const { return m_view; }
    CommandTable &Commands() { return *m_commands; }
    // Menu 128's sub-menus: "文件", "列表", "播放", …; the lists' context menus and the view's
    // play menu pop them up.
    QMenu *SubMenu(int index) const;
    QToolBar *ToolBar() const { return m_toolBar; }
    QDockWidget *ListBarDock() const { return m_listBar; }
    CListDlg *ListBar() const { return m_listDlg; }
    CDragDropListCtrl *PlayList() const;
    CDragDropListCtrl *ListFileList() const;
    // The file commands of the two lists (their services can be replaced by tests).
    CListCommands *ListCommands() const { return m_listCommands.get(); }

    // The second status-bar pane, widened to the text.
    void SetStatusText(const QString &text);
    QString StatusText() const;

    // Settings (loaded at creation, written at destruction).
    FrameSettings m_settings;

    std::uint8_t m_bStartFile = 0;
    int m_bAutoCloseArmed = 0;
    int m_bTopMost = 0;
    int m_bFullScreen = 0;
    int m_bActualSize = 0;
    int m_nPendingPlayItem = -1;
    // Where the single-instance socket lives; the FTP client's server is beside it.
    QString m_instanceFolder;
    FrameServices m_services;

    // Toggles.
    void OnViewFullScreen();
    void OnViewActualSize();
    void OnNetSearch();
    // "删除存档": the selected movie's saves, after a question.
    void OnDeleteSaves();
    void OnAutoClose();
    void OnTopMost();
    void OnListBar();
    // The end-of-list rule: closes the frame (true) when auto-close is armed and closing at
    // the end of the play list is on.
    bool CloseAtEndOfPlayList();

    // Commands.
    void OnFileOpen();
    void OnConfiguration();
    void OnImageOptions();
    void OnNewListFile();
    void OnOpenListFile();
    void OnAddToListFile();
    void OnSaveAsListFile();
    void OnAddToFavourites();
    void OnFavouriteList();
    void OnLastPlayList();

    // The local searches (SearchRoutes.cpp): folder (32771), fixed disks (32909), the URL cache
    // (32789), and the cache clean-up (32792). The searches run on worker threads; rows arrive
    // in the order found.
    void OnSearchDirectory();
    void OnSearchDisks();
    void OnSearchCache();
    void OnCleanCache();
    std::shared_ptr<LocalSearchState> SearchState() const { return m_search; }
    // The number of movies the last search appended.
    int m_nFoundCount = 0;
    // The cache the cache search and clean-up look at.
    QString m_urlCacheFolder;

    // A record handed over by a second start or the FTP client (data word, bytes).
    void OnCopyData(quint32 dataWord, const QByteArray &data);
    // Files dropped on the window, in order.
    void OnDropFiles(const QStringList &paths);

    bool TimerActive(int id) const;
    // "MyFavo.tpl" in the user's data folder.
    QString FavouritesPath() const;
    // The selected play-list rows as movie references, in row order: column 0 when its last
    // element is a ".swf", else column 0, a separator and column 1 (the Flash tools' input).
    QStringList SelectedMovieReferences() const;

signals:
    void FileHandedOver(const QString &path);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void CreateToolBar();
    void CreateListBar();
    void RouteCommands();
    void RouteListCommands();
    void RouteListFileCommands();
    void RouteSearchCommands();
    enum class SearchKind { Folder, Disks, Cache };
    void StartSearch(SearchKind kind, const QString &folder, const QString &startMessage);
    void OnSearchDoneTimer();
    void InitSearchServices();
    // Stops the searches and cuts them off from the frame, which is going.
    void EndSearches();
    // The play lists from the state files in the user's data folder.
    void RestoreLists(const QString &commandLineFile);
    // Whether the list-file list has a row for this file already.
    bool HoldsListFile(const QString &path) const;
    void PlaceWindow();
    void LoadBarState();
    void SaveBarState();
    int BarOrientation() const;
    void EnterScreenMode();
    void LeaveScreenMode();
    void OnHandOverTimer();
    bool PutRowsInto(const QString &listPath);
    void ReplyToFtpClient();

    CommandTable *m_commands = nullptr;
    CKZPlayerView *m_view = nullptr;
    QList<QMenu *> m_menus;
    QToolBar *m_toolBar = nullptr;
    QDockWidget *m_listBar = nullptr;
    CListDlg *m_listDlg = nullptr;
    std::unique_ptr<CListCommands> m_listCommands;
    QLabel *m_statusPane = nullptr;
    QTimer *m_autoCloseTimer = nullptr;
    QTimer *m_handOverTimer = nullptr;
    QTimer *m_searchDoneTimer = nullptr;
    std::shared_ptr<LocalSearchState> m_search;
    // The last search's end has reached this thread (its rows are all appended).
    bool m_searchEnded = true;
    // The placement saved when a screen mode is entered.
    struct SavedPlacement {
        QByteArray geometry;
        QRect normal; // the normal window's rectangle
        bool maximised = false;
        bool menu = true, toolBar = true, statusBar = true, listBar = true;
    } m_savedPlacement;
    bool m_closed = false;
    // The list bar's size docked at the top or bottom, at the left or right, and floating.
    static constexpr int kBarHorizontal = 0, kBarVertical = 1, kBarFloating = 2;
    static constexpr int kBarOrientations = 3;
    static constexpr const char *kBarSizeNames[kBarOrientations] = {"sizeHorz", "sizeVert",
                                                                    "sizeFloat"};
    QSize m_barSizes[kBarOrientations];
};

} // namespace kz
