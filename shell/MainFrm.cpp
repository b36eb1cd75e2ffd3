#include "MainFrm.h"

#include "netsearch/ListDlg.h"
#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "platform/flash/FlashControl.h"
#include "platform/launcher/DesktopSettings.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListCommands.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"
#include "res/StringTable.h"
#include "shell/HandOver.h"
#include "shell/KZPlayerView.h"
#include "shell/Log.h"
#include "shell/OptionDlgs.h"
#include "shell/SingleInstance.h"
#include "shell/Startup.h"
#include "shell/ToolsRoutes.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <limits>

namespace kz {

namespace {

const QString kSection = QString::fromLatin1(kExeBaseName);
const QString kFlashFilter = QStringLiteral("Flash Files(*.swf)");

QString BarSection(const QString &suffix) {
    return QString::fromLatin1(kBarStateName) + suffix;
}

struct ToolButtonSpec {
    int id;
    const char16_t *label;
    QStyle::StandardPixmap icon;
};

const ToolButtonSpec kToolButtons[] = {
    {ID_FILE_OPEN, u"打开", QStyle::SP_DialogOpenButton},
    {ID_SEARCH_DIRECTORY, u"搜索目录", QStyle::SP_DirIcon},
    {ID_SEARCH_IE_CACHE, u"搜索IE", QStyle::SP_DriveNetIcon},
    {ID_FAVOURITE_LIST, u"最喜欢", QStyle::SP_DialogYesButton},
    {ID_LAST_PLAY_LIST, u"上次播放", QStyle::SP_BrowserReload},
    {ID_NEW_LIST_FILE, u"新列表", QStyle::SP_FileIcon},
    {ID_OPEN_LIST_FILE, u"打开列表", QStyle::SP_DirOpenIcon},
    {ID_CONFIGURATION, u"选项", QStyle::SP_FileDialogDetailedView},
    {ID_SET_DEFAULT_PLAYER, u"设为默认", QStyle::SP_DialogApplyButton},
    {ID_ZOOM_IN, u"放大", QStyle::SP_ArrowUp},
    {ID_ZOOM_OUT, u"缩小", QStyle::SP_ArrowDown},
    {ID_FRAME_FLASH_TOOLS, u"Flash工具", QStyle::SP_ComputerIcon},
};

bool CanOpenForReading(const QString &path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly);
}

int TimerInterval(std::int64_t ms) {
    return int(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

QList<int> ToolBarCommands() {
    QList<int> ids;
    for (const ToolButtonSpec &b : kToolButtons)
        ids << b.id;
    return ids;
}

CMainFrame::CMainFrame(const ControlFactory &controls, const QString &commandLineFile,
                       QWidget *parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("CMainFrame"));
    m_instanceFolder = SingleInstance::DefaultFolder();
    m_commands = new CommandTable(this);

    m_services.openFiles = [this](const QString &dir, const QString &filter, bool multi) {
        if (multi)
            return QFileDialog::getOpenFileNames(this, QString(), dir, filter);
        const QString one = QFileDialog::getOpenFileName(this, QString(), dir, filter);
        return one.isEmpty() ? QStringList() : QStringList{one};
    };
    m_services.saveFile = [this](const QString &dir, const QString &filter, const QString &suffix) {
        QFileDialog dlg(this, QString(), dir, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(suffix);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    };
    m_services.startProgram = [](const QString &program, const QStringList &args) {
        return QProcess::startDetached(program, args);
    };
    m_services.openFolder = [](const QString &folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    m_services.message = [this](const QString &text) {
        QMessageBox::information(this, LoadString(IDS_TITLE), text);
    };
    m_services.runDialog = [](QDialog &dlg) { return dlg.exec(); };
    InitSearchServices();

    // 1-3: menu 128 with its keys on the window, the toolbar.
    for (const MenuSpec &spec : MainMenu()) {
        QMenu *menu = m_commands->BuildMenu(spec, this);
        menuBar()->addMenu(menu);
        m_menus << menu;
    }
    for (int id : AllCommandIds())
        addAction(m_commands->Action(id));
    CreateToolBar();

    // 4: the status bar: the message pane and pane 110.
    statusBar()->setObjectName(QStringLiteral("ID_%1").arg(kStatusBarId));
    m_statusPane = new QLabel(LoadString(IDS_READY), this);
    m_statusPane->setObjectName(QStringLiteral("IDS_%1").arg(kStatusPaneId));
    statusBar()->addPermanentWidget(m_statusPane);

    // 5-6: the list bar, docked on the left.
    CreateListBar();
    if (controls.browser)
        m_listDlg->SetBrowser(controls.browser(m_listDlg));

    m_view = new CKZPlayerView(this, controls);
    setCentralWidget(m_view);
    // The net search's settings and the movie links of its result page.
    m_listDlg->m_searchEngine = [this] { return int(m_settings.m_nSearchEngine); };
    m_listDlg->m_playUrl = [this](const QString &url) {
        if (CPlayCtrlDlg *play = m_view->PlayCtrl())
            play->PlayUrl(url);
    };
    m_listDlg->m_showStatus = [this](const QString &text) { SetStatusText(text); };
    m_listDlg->m_resetNetItem = [this] {
        if (CPlayCtrlDlg *play = m_view->PlayCtrl())
            play->m_nCurrentNetItem = -1;
    };
    // Files dropped anywhere on the window come to the frame.
    setAcceptDrops(true);
    for (QWidget *w : {static_cast<QWidget *>(m_view->Flash()),
                       static_cast<QWidget *>(m_view->Browser()), m_listDlg->ResultArea()})
        if (w)
            w->setAcceptDrops(false);

    // 7: the stored bar layout.
    LoadBarState();

    // 9: the machine settings; 10-11: the lists; 12: the profile values.
    {
        IniRegistryStore machine;
        LoadFrameMachineSettings(machine, m_settings);
        m_view->Flash()->SetTrustedFolders(LoadTrustedFolders(machine));
    }
    // What a movie's sandbox refused is said in the status pane.
    connect(m_view->Flash(), &FlashControl::AccessRefused, this, &CMainFrame::SetStatusText);
    AdoptOldStateFiles(ProgramDir(), UserDataDir());
    RestoreLists(commandLineFile);
    if (m_settings.m_bFirstRun) {
        const QString sample = ProgramDir() + QStringLiteral("sample.tpl");
        if (CanOpenForReading(sample) && !HoldsListFile(sample))
            ListFileList()->AppendRow(sample, QStringLiteral("sample.tpl"));
    }
    LoadFrameProfileSettings(ProfileStore(), kSection, m_settings);

    m_autoCloseTimer = MakeTimer(this, kAutoCloseTimer);
    connect(m_autoCloseTimer, &QTimer::timeout, this, [this] { close(); });
    m_handOverTimer = MakeTimer(this, kHandOverTimer);
    connect(m_handOverTimer, &QTimer::timeout, this, &CMainFrame::OnHandOverTimer);
    m_searchDoneTimer = MakeTimer(this, kSearchDoneTimer);
    connect(m_searchDoneTimer, &QTimer::timeout, this, &CMainFrame::OnSearchDoneTimer);

    RouteCommands();
    PlaceWindow();
    m_listDlg->m_bMainWindowReady = true;
    m_listDlg->LayOut();
}

CMainFrame::~CMainFrame() {
    EndSearches();
    // Bars hidden by a screen mode are stored as the user had them.
    if (m_bFullScreen || m_bActualSize) {
        m_toolBar->setVisible(m_savedPlacement.toolBar);
        m_listBar->setVisible(m_savedPlacement.listBar);
    }
    SaveBarState();
    IniRegistryStore machine;
    ProfileStore profile;
    SaveFrameSettings(machine, profile, kSection, m_settings);
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ID_%1").arg(kToolBarId));
    m_toolBar->setProperty("controlId", kToolBarId);
    m_toolBar->setWindowTitle(QStringLiteral("Toolbar"));
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QList<QToolButton *> buttons;
    for (const ToolButtonSpec &spec : kToolButtons) {
        QAction *command = m_commands->Action(spec.id);
        auto *button = new QToolButton(m_toolBar);
        button->setObjectName(QStringLiteral("ID_%1").arg(spec.id));
        button->setText(QString::fromUtf16(spec.label));
        button->setToolTip(command ? command->text() : button->text());
        button->setIcon(style()->standardIcon(spec.icon));
        button->setIconSize(QSize(16, 15));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true); // flat
        const int id = spec.id;
        connect(button, &QToolButton::clicked, this, [this, id] { m_commands->Execute(id); });
        if (command) {
            auto follow = [button, command] { button->setEnabled(command->isEnabled()); };
            connect(command, &QAction::changed, button, follow);
            follow();
        }
        m_toolBar->addWidget(button);
        buttons << button;
    }
    // Every button as wide as the widest label and as tall as the tallest.
    QSize size;
    for (QToolButton *b : buttons)
        size = size.expandedTo(b->sizeHint());
    for (QToolButton *b : buttons)
        b->setFixedSize(size);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CMainFrame::CreateListBar() {
    m_listBar = new QDockWidget(QString::fromLatin1(kListBarCaption), this);
    m_listBar->setObjectName(QStringLiteral("ID_%1").arg(kListBarId));
    m_listBar->setProperty("controlId", kListBarId);
    m_listBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_listDlg = new CListDlg(m_listBar);
    m_listDlg->m_isNetSearchView = [this] { return m_settings.m_bNetSearchView != 0; };
    m_listDlg->m_runNetSearchCommand = [this] { m_commands->Execute(ID_NET_SEARCH); };
    m_listDlg->setMinimumSize(120, 200);
    m_listBar->setWidget(m_listDlg);
    addDockWidget(Qt::LeftDockWidgetArea, m_listBar);
    resizeDocks({m_listBar}, {200}, Qt::Horizontal);
}

CDragDropListCtrl *CMainFrame::PlayList() const {
    return m_listDlg->MovieList();
}

CDragDropListCtrl *CMainFrame::ListFileList() const {
    return m_listDlg->ListFileList();
}

void CMainFrame::RouteCommands() {
    CommandTable &t = *m_commands;
    t.Route(ID_FILE_OPEN, [this] { OnFileOpen(); });
    t.Route(
        ID_NET_SEARCH, [this] { OnNetSearch(); },
        [this] {
            return CommandState{true, m_settings.m_bNetSearchView != 0};
        },
        true);
    t.Route(ID_APP_EXIT, [this] { close(); });
    t.Route(
        ID_FULL_SCREEN, [this] { OnViewFullScreen(); },
        [this] {
            return CommandState{true, m_bFullScreen != 0};
        },
        true);
    t.Route(
        ID_ACTUAL_SIZE, [this] { OnViewActualSize(); },
        [this] {
            return CommandState{true, m_bActualSize != 0};
        },
        true);
    t.Route(
        ID_LIST_BAR, [this] { OnListBar(); },
        [this] {
            return CommandState{true, !m_listBar->isHidden()};
        },
        true);
    t.Route(
        ID_TOP_MOST, [this] { OnTopMost(); },
        [this] {
            return CommandState{true, m_bTopMost != 0};
        },
        true);
    t.Route(ID_IMAGE_OPTIONS, [this] { OnImageOptions(); });
    t.Route(ID_BROWSE_IMAGE_FOLDER,
            [this] { m_services.openFolder(m_settings.m_strSavedDirectory); });
    t.Route(ID_SET_WALLPAPER, [] { OpenDesktopSettings(DesktopSettingsPage::Wallpaper); });
    t.Route(
        ID_AUTO_CLOSE, [this] { OnAutoClose(); },
        [this] {
            return CommandState{m_settings.m_bCloseTimeout || m_settings.m_bCloseEndofPlayingList,
                                m_bAutoCloseArmed != 0};
        },
        true);
    t.Route(ID_CONFIGURATION, [this] { OnConfiguration(); });
    t.Route(ID_FTP_CLIENT,
            [this] { m_services.startProgram(QString::fromLatin1(kFtpClientProgram), {}); });
    t.Route(ID_RUN_UPDATER, [this] {
        m_services.startProgram(ProgramDir() + QString::fromLatin1(kUpdaterProgram), {});
    });
    RouteListCommands();
    RouteToolsCommands(*this);
    RouteSearchCommands();
}

bool CMainFrame::HoldsListFile(const QString &path) const {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const PlayListRow &row : ListFileList()->Rows()) {
        if (row.column0 == path ||
            (!canonical.isEmpty() && QFileInfo(row.column0).canonicalFilePath() == canonical))
            return true;
    }
    return false;
}

void CMainFrame::RestoreLists(const QString &commandLineFile) {
    const QString dir = UserDataDir();
    auto restorePlayList = [&] {
        for (const PlayListRow &row :
             ReadPlayListState(dir + QString::fromUtf16(kPlayListStateName)).rows)
            PlayList()->AppendRow(row.column0, row.column1);
    };
    auto restoreListFiles = [&] {
        for (const PlayListRow &row :
             ReadListFileState(dir + QString::fromUtf16(kListFileStateName)).rows)
            ListFileList()->AppendRow(row.column0, row.column1);
    };
    if (!commandLineFile.isEmpty()) {
        const QString ext = ExtensionOf(commandLineFile);
        if (ext == u"swf") {
            PlayList()->AppendFileRow(commandLineFile);
            m_bStartFile = 1;
            restoreListFiles();
        } else if (ext == u"tpl") {
            ListFileList()->AppendFileRow(commandLineFile);
        }
        return;
    }
    restorePlayList();
    restoreListFiles();
}

void CMainFrame::PlaceWindow() {
    resize(800, 600); // the toolkit's own size, when nothing usable was stored
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    IniRegistryStore machine;
    const InitialPlacement p = ComputeInitialPlacement(LoadWindowRect(machine), screen->size());
    if (p.rect)
        setGeometry(*p.rect);
}

void CMainFrame::LoadBarState() {
    ProfileStore profile;
    const QString summary = BarSection(QStringLiteral("-Summary"));
    const int bars = profile.GetProfileInt(summary, QStringLiteral("Bars"), 0);
    const QByteArray state = profile.GetProfileBinary(summary, QStringLiteral("State"));
    if (bars <= 0 || state.isEmpty())
        return;
    // Only a layout that names nothing but this frame's bars is taken.
    for (int i = 0; i < bars; ++i) {
        const int id = profile.GetProfileInt(BarSection(QStringLiteral("-Bar%1").arg(i)),
                                             QStringLiteral("BarID"), -1);
        if (id != kToolBarId && id != kListBarId)
            return;
    }
    const QString sc = BarSection(QStringLiteral("-SCBar-%1").arg(kListBarId));
    const QSize minimum = m_listDlg->minimumSize();
    restoreState(state);
    const QSize now = m_listBar->size();
    // Each orientation keeps a size of its own; each value is taken when it is at least the
    // bar's minimum.
    for (int i = 0; i < kBarOrientations; ++i) {
        const QString name = QString::fromLatin1(kBarSizeNames[i]);
        const int cx = profile.GetProfileInt(sc, name + QStringLiteral("CX"), now.width());
        const int cy = profile.GetProfileInt(sc, name + QStringLiteral("CY"), now.height());
        m_barSizes[i] = QSize(std::max(cx, minimum.width()), std::max(cy, minimum.height()));
    }
    const int current = BarOrientation();
    if (current == kBarFloating)
        m_listBar->resize(m_barSizes[current]);
    else if (current == kBarVertical)
        resizeDocks({m_listBar}, {m_barSizes[current].width()}, Qt::Horizontal);
    else
        resizeDocks({m_listBar}, {m_barSizes[current].height()}, Qt::Vertical);
}

int CMainFrame::BarOrientation() const {
    if (m_listBar->isFloating())
        return kBarFloating;
    const Qt::DockWidgetArea area = dockWidgetArea(m_listBar);
    return area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea ? kBarVertical
                                                                             : kBarHorizontal;
}

void CMainFrame::SaveBarState() {
    ProfileStore profile;
    const QString sc = BarSection(QStringLiteral("-SCBar-%1").arg(kListBarId));
    // The bar's size in its present orientation; the others keep what they had.
    m_barSizes[BarOrientation()] = m_listBar->size();
    for (int i = 0; i < kBarOrientations; ++i) {
        const QString name = QString::fromLatin1(kBarSizeNames[i]);
        const QSize size = m_barSizes[i].isValid() ? m_barSizes[i] : m_listBar->size();
        profile.WriteProfileInt(sc, name + QStringLiteral("CX"), size.width());
        profile.WriteProfileInt(sc, name + QStringLiteral("CY"), size.height());
    }

    const QString summary = BarSection(QStringLiteral("-Summary"));
    const QList<QWidget *> bars{m_toolBar, m_listBar};
    profile.WriteProfileInt(summary, QStringLiteral("Bars"), int(bars.size()));
    for (int i = 0; i < bars.size(); ++i) {
        const QString section = BarSection(QStringLiteral("-Bar%1").arg(i));
        profile.WriteProfileInt(section, QStringLiteral("BarID"),
                                bars[i]->property("controlId").toInt());
        profile.WriteProfileInt(section, QStringLiteral("Visible"), bars[i]->isHidden() ? 0 : 1);
    }
    profile.WriteProfileInt(BarSection(QStringLiteral("-Bar1")), QStringLiteral("Floating"),
                            m_listBar->isFloating() ? 1 : 0);
    profile.WriteProfileBinary(summary, QStringLiteral("State"), saveState());
    profile.Flush();
}

QMenu *CMainFrame::SubMenu(int index) const {
    return m_menus.value(index);
}

void CMainFrame::SetStatusText(const QString &text) {
    m_statusPane->setText(text);
    m_statusPane->setMinimumWidth(m_statusPane->fontMetrics().horizontalAdvance(text) + 8);
}

QString CMainFrame::StatusText() const {
    return m_statusPane->text();
}

// Screen modes: the menu and the bars step aside and the window covers the screen, so that
// the view covers it exactly (and the desktop's panels with it).
void CMainFrame::EnterScreenMode() {
    m_savedPlacement.geometry = saveGeometry();
    m_savedPlacement.normal = isMaximized() ? normalGeometry() : geometry();
    m_savedPlacement.maximised = isMaximized();
    m_savedPlacement.menu = !menuBar()->isHidden();
    m_savedPlacement.toolBar = !m_toolBar->isHidden();
    m_savedPlacement.statusBar = !statusBar()->isHidden();
    m_savedPlacement.listBar = !m_listBar->isHidden();
    menuBar()->hide();
    m_toolBar->hide();
    statusBar()->hide();
    m_listBar->hide();
    showFullScreen();
}

void CMainFrame::LeaveScreenMode() {
    showNormal();
    menuBar()->setVisible(m_savedPlacement.menu);
    m_toolBar->setVisible(m_savedPlacement.toolBar);
    statusBar()->setVisible(m_savedPlacement.statusBar);
    m_listBar->setVisible(m_savedPlacement.listBar);
    if (!m_savedPlacement.geometry.isEmpty())
        restoreGeometry(m_savedPlacement.geometry);
    if (m_savedPlacement.maximised)
        showMaximized();
}

// Entering one mode from the other switches directly and keeps the first saved placement.
void CMainFrame::OnViewFullScreen() {
    if (m_bFullScreen) {
        m_bFullScreen = 0;
        LeaveScreenMode();
    } else {
        m_bFullScreen = 1;
        if (m_bActualSize)
            m_bActualSize = 0;
        else
            EnterScreenMode();
    }
    m_view->LayOut();
}

void CMainFrame::OnViewActualSize() {
    if (m_bActualSize) {
        m_bActualSize = 0;
        LeaveScreenMode();
    } else {
        m_bActualSize = 1;
        if (m_bFullScreen)
            m_bFullScreen = 0;
        else
            EnterScreenMode();
    }
    m_view->LayOut();
}

void CMainFrame::OnNetSearch() {
    m_settings.m_bNetSearchView = m_settings.m_bNetSearchView ? 0 : 1;
    m_listDlg->LayOut();
}

void CMainFrame::OnListBar() {
    m_listBar->setVisible(m_listBar->isHidden());
}

void CMainFrame::OnTopMost() {
    m_bTopMost = m_bTopMost ? 0 : 1;
    const QRect where = geometry();
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_bTopMost != 0);
    setGeometry(where);
    if (shown)
        show();
}

void CMainFrame::OnAutoClose() {
    m_bAutoCloseArmed = m_bAutoCloseArmed ? 0 : 1;
    if (!m_bAutoCloseArmed) {
        m_autoCloseTimer->stop();
        return;
    }
    // Without the time-out only the end-of-list rule applies.
    if (m_settings.m_bCloseTimeout)
        m_autoCloseTimer->start(TimerInterval(m_settings.CloseTimeOutMs()));
}

bool CMainFrame::CloseAtEndOfPlayList() {
    if (!m_bAutoCloseArmed || !m_settings.m_bCloseEndofPlayingList)
        return false;
    close();
    return true;
}

bool CMainFrame::TimerActive(int id) const {
    return kz::TimerActive(this, id);
}

void CMainFrame::OnFileOpen() {
    const QStringList files =
        m_services.openFiles(m_settings.m_strSwfDefaultDir, kFlashFilter, true);
    if (files.isEmpty())
        return;
    int first = -1;
    for (const QString &file : files) {
        const int row = PlayList()->AppendFileRow(file);
        if (first < 0)
            first = row;
        m_settings.m_strSwfDefaultDir = FolderWithSep(file);
    }
    PlayList()->PlayRow(first);
    // The list bar ends on its list face.
    m_settings.m_bNetSearchView = 1;
    OnNetSearch();
}

void CMainFrame::OnConfiguration() {
    CConfigDlg dlg(this);
    dlg.m_CloseTimeOutValue = m_settings.m_CloseTimeOutValue;
    dlg.m_nIEFilterSize = m_settings.m_nIEFilterSize;
    dlg.m_bCloseTimeout = m_settings.m_bCloseTimeout;
    dlg.m_bCloseEndofPlayingList = m_settings.m_bCloseEndofPlayingList;
    dlg.m_bTaskBar = m_settings.m_bTaskBar;
    dlg.m_nSearchEngine = m_settings.m_nSearchEngine;
    IniRegistryStore machine;
    dlg.m_trustedFolders = LoadTrustedFolders(machine);
    dlg.ToControls();
    if (m_services.runDialog(dlg) != QDialog::Accepted)
        return;
    m_settings.m_CloseTimeOutValue = dlg.m_CloseTimeOutValue;
    m_settings.m_nIEFilterSize = dlg.m_nIEFilterSize;
    m_settings.m_bCloseTimeout = dlg.m_bCloseTimeout;
    m_settings.m_bCloseEndofPlayingList = dlg.m_bCloseEndofPlayingList;
    m_settings.m_bTaskBar = dlg.m_bTaskBar;
    m_settings.m_nSearchEngine = dlg.m_nSearchEngine;
    SaveTrustedFolders(machine, dlg.m_trustedFolders);
    m_view->Flash()->SetTrustedFolders(dlg.m_trustedFolders);
}

void CMainFrame::OnImageOptions() {
    CImageOptionDlg dlg(this);
    dlg.m_bSavedInClipboard = m_settings.m_bSavedInClipboard;
    dlg.m_bSavedInFile = m_settings.m_bSavedInFile;
    if (!m_settings.m_strSavedDirectory.isEmpty())
        dlg.m_strSavedDirectory = m_settings.m_strSavedDirectory;
    dlg.m_bBmpFormat = m_settings.m_bBmpFormat;
    dlg.m_bJpgFormat = m_settings.m_bJpgFormat;
    dlg.m_bGifFormat = m_settings.m_bGifFormat;
    dlg.m_bPngFormat = m_settings.m_bPngFormat;
    dlg.ToControls();
    if (m_services.runDialog(dlg) != QDialog::Accepted)
        return;
    m_settings.m_bSavedInClipboard = dlg.m_bSavedInClipboard;
    m_settings.m_bSavedInFile = dlg.m_bSavedInFile;
    m_settings.m_strSavedDirectory = dlg.m_strSavedDirectory;
    m_settings.m_bBmpFormat = dlg.m_bBmpFormat;
    m_settings.m_bJpgFormat = dlg.m_bJpgFormat;
    m_settings.m_bGifFormat = dlg.m_bGifFormat;
    m_settings.m_bPngFormat = dlg.m_bPngFormat;
}

void CMainFrame::OnCopyData(quint32 dataWord, const QByteArray &data) {
    if (dataWord == kHandOverFtpClient) {
        if (data.isEmpty())
            ReplyToFtpClient();
        return;
    }
    // The sender expects its file to open in a window the user sees.
    if (isMinimized())
        showNormal();
    if (!isVisible())
        show();
    raise();
    activateWindow();
    const std::optional<QString> file = FileNameFromBytes(data);
    if (!file)
        return;
    qCInfo(lcShell, "hand-over: \"%s\"", qUtf8Printable(*file));
    emit FileHandedOver(*file);
    const QString ext = ExtensionOf(*file);
    if (ext == u"swf") {
        const int row = PlayList()->AppendFileRow(*file);
        // A second movie within the interval joins the list; the first one still plays.
        if (m_nPendingPlayItem == -1)
            m_nPendingPlayItem = row;
        m_handOverTimer->start();
    } else if (ext == u"tpl") {
        ListFileList()->AppendFileRow(*file);
    }
}

void CMainFrame::OnHandOverTimer() {
    m_handOverTimer->stop();
    if (m_nPendingPlayItem != -1)
        PlayList()->PlayRow(m_nPendingPlayItem);
    m_nPendingPlayItem = -1;
}

// The FTP client asked for the list files: one reply per list file, to its own server.
void CMainFrame::ReplyToFtpClient() {
    SingleInstance client(m_instanceFolder, QString::fromLatin1(kFtpClientTitle));
    for (int row = 0; row < ListFileList()->RowCount(); ++row)
        client.SendToFirst(
            HandOverRecord{kHandOverFtpClient, FileNameBytes(ListFileList()->RowText(row, 0))}, 1,
            0);
}

void CMainFrame::OnDropFiles(const QStringList &paths) {
    activateWindow();
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir())
            continue;
        const QString ext = ExtensionOf(path);
        if (ext == u"swf")
            PlayList()->AppendFileRow(path);
        else if (ext == u"tpl")
            ListFileList()->AppendFileRow(path);
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dragMoveEvent(QDragMoveEvent *event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *event) {
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    OnDropFiles(paths);
    event->acceptProposedAction();
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    // A running search is asked to stop and waited for a moment at most; the rows it appended
    // stay.
    m_search->m_bStopSearch = true;
    m_search->m_hSearchDone.Wait(kSearchStopWaitMs);
    // The play lists and the window rectangle; the rest is written when the frame goes.
    const QString dir = UserDataDir();
    MakeSureDirectoryPathExists(dir);
    WritePlayListState(dir + QString::fromUtf16(kPlayListStateName), PlayList()->Rows());
    WriteListFileState(dir + QString::fromUtf16(kListFileStateName), ListFileList()->Rows());
    // In a screen mode the window covers the screen: the normal window's rectangle is kept.
    const bool screenMode = m_bFullScreen || m_bActualSize;
    IniRegistryStore machine;
    SaveWindowRect(machine, screenMode && m_savedPlacement.normal.isValid()
                                ? m_savedPlacement.normal
                                : geometry());
    m_autoCloseTimer->stop();
    event->accept();
}

void CMainFrame::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_settings.m_bTaskBar) {
        QTimer::singleShot(0, this, [this] {
            hide();
            m_view->AddTrayIcon();
        });
    }
}

} // namespace kz
