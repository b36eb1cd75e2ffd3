#include "KZPlayerView.h"

#include "capture/CaptureCommands.h"
#include "platform/Paths.h"
#include "platform/flash/FlashControl.h"
#include "platform/http/HttpClient.h"
#include "platform/power/PowerSaving.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/SoundCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "shell/MainFrm.h"
#include "shell/Startup.h"
#include "shell/ViewPlayHost.h"
#include "shell/ViewRules.h"
#include "update/UpdateThreads.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

namespace kz {

namespace {

bool gFirstEraseDone = false;

const QString kInfoText = QStringLiteral("Vobi Flash 播放器");
const QString kSection = QString::fromLatin1(kExeBaseName);
const QString kBackColourKey = QStringLiteral("m_intBackColor");

QString StyleFor(QColor text, QColor back) {
    return QStringLiteral("QLabel { color: %1; background-color: %2; padding-left: 4px; }")
        .arg(text.name(), back.name());
}

} // namespace

void CKZPlayerView::ResetFirstErase() {
    gFirstEraseDone = false;
}

CKZPlayerView::CKZPlayerView(CMainFrame *frame, const ControlFactory &controls)
    : QWidget(frame), m_frame(frame), m_mixerFactory(controls.mixer) {
    setObjectName(QStringLiteral("CKZPlayerView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    const int stored = ProfileStore().GetProfileInt(kSection, kBackColourKey, -1);
    m_bBackColourChosen = stored != -1;
    m_intBackColor = m_bBackColourChosen ? std::uint32_t(stored) & 0xFFFFFF : 0;

    m_flash = controls.flash(this);
    m_flash->setObjectName(QStringLiteral("IDC_1000"));
    m_browser = controls.browser(this);
    m_browser->setObjectName(QStringLiteral("IDC_1068"));

    m_info = new QLabel(kInfoText, this);
    m_info->setObjectName(QStringLiteral("IDC_1010"));
    m_info->setStyleSheet(StyleFor(Qt::black, QColor(212, 208, 200)));

    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("IDC_1044"));
    m_back->setFlat(true);
    m_back->hide();

    m_timer1 = MakeTimer(this, kHomePageTimer);
    m_timer2 = MakeTimer(this, kConnectivityTimer);
    m_timer100 = MakeTimer(this, kRepaintTimer);
    connect(m_timer1, &QTimer::timeout, this, &CKZPlayerView::OnTimer1);
    connect(m_timer2, &QTimer::timeout, this, &CKZPlayerView::OnTimer2);
    connect(m_timer100, &QTimer::timeout, this, &CKZPlayerView::OnTimer100);

    connect(m_browser, &BrowserControl::BeforeNavigate2, this, &CKZPlayerView::OnBeforeNavigate2,
            Qt::DirectConnection);
    connect(m_flash, &FlashControl::RightButtonDown, this,
            [this](QPoint pos) { PopUpPlayMenu(m_flash->mapToGlobal(pos)); });
    connect(m_flash, &FlashControl::LeftButtonDoubleClick, this,
            [this] { ToggleModeByDoubleClick(); });
    connect(m_flash, &FlashControl::MouseMoved, this, [this](QPoint pos) {
        if (!Windowed())
            ShowControllerFor(m_flash->mapTo(this, pos));
    });
    connect(m_flash, &FlashControl::StageColourChanged, this, [this] { update(); });
    connect(m_flash, &FlashControl::EscapePressed, this, [this] {
        LeaveScreenModes();
        window()->activateWindow();
    });
    connect(m_back, &QPushButton::clicked, this, &CKZPlayerView::OnBack);

    m_capture = new CCaptureCommands(m_flash, this);

    // The update threads reach the view only through this mailbox, closed when the view goes.
    m_updates = std::make_shared<UpdateMailbox>();
    m_updates->receiver = this;
    m_updates->openOnlineHome = [this] { OnOpenOnlineHomePage(); };
    m_updates->navigate = [this](const QString &page) { m_browser->Navigate(page); };
    m_updateHttp = [] {
        HttpOptions options;
        options.connectTimeoutMs = kUpdateConnectTimeoutMs;
        options.userAgent = kInfoText.toUtf8(); // the application's title
        return CreateHttpSession(options);
    };

    m_chooseColour = [this](QColor current) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(current, this, QString());
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    };
    RouteCommands();
}

CKZPlayerView::~CKZPlayerView() {
    m_updates->Close();
    DeleteTrayIcon();
    // The controller writes its settings as it goes, before the host it talks to and the store
    // it writes to.
    delete m_playCtrl;
    m_playCtrl = nullptr;
}

QWidget *CKZPlayerView::PlayController() const {
    return m_playCtrl;
}

void CKZPlayerView::RouteCommands() {
    CommandTable &t = m_frame->Commands();
    t.Route(
        ID_ZOOM_IN, [this] { OnZoomIn(); },
        [this] {
            return CommandState{ZoomInEnabled(m_nZoom), false};
        });
    t.Route(
        ID_ZOOM_OUT, [this] { OnZoomOut(); },
        [this] {
            return CommandState{ZoomOutEnabled(m_nZoom), false};
        });
    t.Route(ID_BACK_COLOUR, [this] { OnBackColour(); });
    RoutePlayCommands();
    RouteCaptureCommands();
    t.Route(ID_TRAY_OPEN, [this] { RestoreFromTray(); });
    t.Route(ID_TRAY_EXIT, [this] { window()->close(); });
}

// The play commands go to the controller once it exists; their rules follow its state.
void CKZPlayerView::RoutePlayCommands() {
    CommandTable &t = m_frame->Commands();
    auto ctrl = [this] { return m_playCtrl; };
    auto routeTo = [&](int id, void (CPlayCtrlDlg::*op)(), auto rule) {
        t.Route(
            id,
            [ctrl, op] {
                if (CPlayCtrlDlg *c = ctrl())
                    (c->*op)();
            },
            [ctrl, rule] {
                CPlayCtrlDlg *c = ctrl();
                return c ? rule(*c) : CommandState{false, false};
            });
    };
    auto always = [](const CPlayCtrlDlg &) { return CommandState{}; };
    routeTo(ID_PLAY, &CPlayCtrlDlg::OnPlay,
            [](const CPlayCtrlDlg &c) { return CommandState{c.m_nPlayState != kStatePlaying}; });
    routeTo(ID_PAUSE, &CPlayCtrlDlg::OnPause,
            [](const CPlayCtrlDlg &c) { return CommandState{c.m_nPlayState == kStatePlaying}; });
    routeTo(ID_STOP, &CPlayCtrlDlg::OnStop, always);
    routeTo(ID_NEXT, &CPlayCtrlDlg::OnNext, always);
    routeTo(ID_PREVIOUS, &CPlayCtrlDlg::OnPrevious, always);
    auto stepping = [](const CPlayCtrlDlg &c) { return CommandState{c.CanStepFrames()}; };
    routeTo(ID_NEXT_FRAME, &CPlayCtrlDlg::OnNextFrame, stepping);
    routeTo(ID_PREVIOUS_FRAME, &CPlayCtrlDlg::OnPreviousFrame, stepping);
    RouteMovieSettings(t, ID_SPEED_FIRST, ID_QUALITY_FIRST, ctrl, [ctrl] {
        CPlayCtrlDlg *c = ctrl();
        return c && c->m_nPlayState != kStateStopped && !c->PlayingIdentity().isEmpty()
                   ? QStringList{c->PlayingIdentity()}
                   : QStringList();
    });
    t.Route(
        ID_AUTO_PLAY,
        [ctrl] {
            if (CPlayCtrlDlg *c = ctrl())
                c->m_bAutoPlay ? c->OnHand() : c->OnAuto();
        },
        [ctrl] {
            CPlayCtrlDlg *c = ctrl();
            return CommandState{c != nullptr, c && c->m_bAutoPlay == 1};
        },
        true);
    t.Route(
        ID_LOOP_SINGLE,
        [ctrl] {
            if (CPlayCtrlDlg *c = ctrl())
                c->OnContinue();
        },
        [ctrl] {
            CPlayCtrlDlg *c = ctrl();
            const bool on = c && c->m_nPlayingMode == kModeSingleLoop;
            return CommandState{c != nullptr && !on, on};
        },
        true);
    t.Route(
        ID_LOOP_LIST,
        [ctrl] {
            if (CPlayCtrlDlg *c = ctrl())
                c->OnCycle();
        },
        [ctrl] {
            CPlayCtrlDlg *c = ctrl();
            const bool on = c && c->m_nPlayingMode == kModeListLoop;
            return CommandState{c != nullptr && !on, on};
        },
        true);
    // The sound panel's mute and game mode, ticked while on.
    auto panel = [this]() -> CSoundCtrlDlg * {
        return m_playCtrl ? m_playCtrl->SoundPanel() : nullptr;
    };
    t.Route(
        ID_MUTE,
        [panel] {
            if (CSoundCtrlDlg *s = panel())
                s->ToggleMute();
        },
        [panel] {
            CSoundCtrlDlg *s = panel();
            return CommandState{s != nullptr, s && s->m_nMuted};
        },
        true);
    t.Route(
        ID_GAME_MODE,
        [panel] {
            if (CSoundCtrlDlg *s = panel())
                s->ToggleGameMode();
        },
        [panel] {
            CSoundCtrlDlg *s = panel();
            return CommandState{s != nullptr, s && s->m_bGameMode};
        },
        true);
}

// Capture needs a movie on the screen; mail and save as need its whole file, which a web movie
// has only once it is fully loaded.
void CKZPlayerView::RouteCaptureCommands() {
    CommandTable &t = m_frame->Commands();
    auto playing = [this] { return m_playCtrl && m_playCtrl->m_nPlayState != kStateStopped; };
    auto fileReady = [this, playing] {
        return playing() && !(m_playCtrl->m_bUrlMode && !m_playCtrl->m_bFullyLoaded);
    };
    t.Route(
        ID_CAPTURE,
        [this, playing] {
            if (playing())
                m_capture->OnCapture(m_frame->m_settings);
        },
        [playing] { return CommandState{playing()}; });
    t.Route(
        ID_SEND_MAIL,
        [this, fileReady] {
            if (fileReady())
                m_capture->OnSendMail(m_playCtrl->m_bUrlMode);
        },
        [fileReady] { return CommandState{fileReady()}; });
    t.Route(
        ID_SAVE_MOVIE_AS,
        [this, fileReady] {
            if (fileReady())
                m_capture->OnSaveMovieAs(m_playCtrl->m_bUrlMode);
        },
        [fileReady] { return CommandState{fileReady()}; });
}

void CKZPlayerView::OnInitialUpdate() {
    if (m_initialised)
        return;
    m_initialised = true;

    // The play controller's place (dialog 131) at the bottom, the loading strip above it.
    m_playHost = std::make_unique<CViewPlayHost>(this, m_frame);
    m_machine = std::make_unique<IniRegistryStore>();
    CPlayCtrlDlg::Services services;
    services.registry = m_machine.get();
    services.mixer = m_mixerFactory;
    m_library = std::make_unique<MovieLibrary>();
    if (m_library->GetState() == MovieLibrary::State::SetAside)
        m_frame->SetStatusText(
            QStringLiteral("影片设置库已损坏，已移到“%1”").arg(m_library->SetAsidePath()));
    services.library = m_library.get();
    // The display's power settings only on a real X11 display.
    if (QGuiApplication::platformName() == u"xcb")
        services.power = CreateX11PowerSettings();
    m_playCtrl = new CPlayCtrlDlg(m_flash, m_playHost.get(), std::move(services), this);
    m_playCtrl->setGeometry(0, height() - kPlayControllerHeight, width(), kPlayControllerHeight);
    m_playCtrl->show();
    m_loading = new QWidget(this);
    m_loading->setObjectName(QStringLiteral("IDD_166"));
    m_loading->setAutoFillBackground(true);
    m_loadingBar = new QProgressBar(m_loading);
    m_loadingBar->setObjectName(QStringLiteral("IDC_1081"));
    m_loadingBar->setRange(0, 100);
    m_loadingBar->setValue(0);
    m_loadingBar->setTextVisible(false);
    m_loadingBar->setStyleSheet(
        QStringLiteral("QProgressBar { border: 0; background: #d4d0c8; }"
                       "QProgressBar::chunk { background-color: rgb(157, 135, 248); }"));
    m_loading->setGeometry(0, height() - kPlayControllerHeight - kLoadingStripHeight, width(),
                           kLoadingStripHeight);
    m_loading->show();
    m_playCtrl->OnInitDialog();
    connect(this, &CKZPlayerView::PlayUrlRequested, m_playCtrl, &CPlayCtrlDlg::PlayUrl);
    // A row started in the play list (double-click, Enter, open, hand-over) becomes current.
    connect(m_frame->PlayList(), &CDragDropListCtrl::PlayRowRequested, m_playCtrl,
            [this](int row, const QString &column0, const QString &column1) {
                m_playCtrl->m_nCurrentPlayingItem = row;
                m_playCtrl->PlayLocalItem(column0, column1);
            });
    // The list draws the controller's current row and, when sorting or moving rows puts that
    // movie elsewhere, makes its new row the controller's current one.
    QPointer<CPlayCtrlDlg> ctrl = m_playCtrl;
    m_frame->PlayList()->m_currentPlayingItemSource = [ctrl] {
        return ctrl ? ctrl->m_nCurrentPlayingItem : -1;
    };
    connect(m_frame->PlayList(), &CDragDropListCtrl::CurrentPlayingItemMoved, m_playCtrl,
            [this](int row) {
                m_playCtrl->m_nCurrentPlayingItem = row;
                m_playHost->RedrawPlayList();
            });

    window()->setWindowTitle(LoadString(IDS_TITLE));

    m_info->setStyleSheet(StyleFor(Qt::black, Qt::white));
    m_info->setText(kInfoText);

    const QPixmap back(ProgramDir() + QStringLiteral("res/return.jpg"));
    m_backSize = back.isNull() ? QSize(48, 24) : back.size();
    m_back->setIcon(QIcon(back));
    m_back->setIconSize(m_backSize);

    m_trayMenu = m_frame->Commands().BuildMenu(kz::TrayMenu(), this);

    // An empty control: the blank address, no request to the network.
    m_flash->LoadMovie(0, QString::fromLatin1(kBlankMovie));
    m_flash->SetBackgroundColor(0);
    m_flash->SetScale(QStringLiteral("noScale"));

    LayOut();
    m_browser->Navigate(QStringLiteral("about:blank"));

    if (m_frame->m_bStartFile) {
        // The list bar ends on its list face; then the movie the frame put in the play list.
        m_frame->m_settings.m_bNetSearchView = 1;
        m_frame->OnNetSearch();
        m_playCtrl->OnPlay();
        m_timer100->start();
    }
    m_timer1->start();
    emit InitialUpdateDone();
}

bool CKZPlayerView::Windowed() const {
    return !m_frame->m_bFullScreen && !m_frame->m_bActualSize;
}

void CKZPlayerView::LayOut() {
    if (!m_initialised)
        return;
    ViewLayoutInput in;
    in.client = size();
    in.infoHeight = kInfoLineHeight;
    in.stripHeightBefore = m_loading->height();
    in.backImage = m_backSize;
    in.fullScreen = m_frame->m_bFullScreen;
    in.actualSize = m_frame->m_bActualSize;
    in.gameMode = m_bGameMode;
    in.playState = m_nPlayState;
    in.movie = m_movieSize;
    const ViewLayout l = LayOutView(in);

    m_info->setGeometry(l.info);
    m_info->setVisible(l.infoVisible);
    m_back->setGeometry(l.back);
    m_back->setVisible(l.backVisible);
    m_playCtrl->setGeometry(l.controller);
    m_playCtrl->setVisible(l.panelsVisible);
    m_loading->setGeometry(l.strip);
    m_loading->setVisible(l.panelsVisible);
    m_loadingBar->setGeometry(9, 2, std::max(0, l.strip.width() - 14), 9);
    m_browser->setGeometry(l.browser);
    m_browser->setVisible(!l.browser.isEmpty());
    m_flash->setGeometry(l.flash);
    m_browser->raise();
    m_back->raise();
}

void CKZPlayerView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CKZPlayerView::paintEvent(QPaintEvent *) {
    const bool first = !gFirstEraseDone;
    gFirstEraseDone = true;
    m_lastErase = EraseColour(first, m_intBackColor);
    // Beside a movie in play (the window's margins, the screen modes' bars) the colour the
    // control shows around its stage goes on, so the stage sits on one colour; a colour the
    // user chose stands for it.
    if (m_nPlayState != kStateStopped) {
        const int stage = m_flash->StageColour();
        if (m_bBackColourChosen || stage < 0)
            m_lastErase = FromColorRef(m_intBackColor);
        else
            m_lastErase = QColor(QRgb(stage));
    }
    QPainter p(this);
    p.fillRect(rect(), m_lastErase);
}

void CKZPlayerView::OnZoomIn() {
    if (m_nPlayState == kStateStopped || !ZoomInEnabled(m_nZoom))
        return;
    m_nZoom = ZoomInStep(m_nZoom);
    m_flash->Zoom(0);
    m_flash->Zoom(m_nZoom);
}

void CKZPlayerView::OnZoomOut() {
    if (m_nPlayState == kStateStopped || !ZoomOutEnabled(m_nZoom))
        return;
    m_nZoom = ZoomOutStep(m_nZoom);
    m_flash->Zoom(0);
    m_flash->Zoom(m_nZoom);
}

void CKZPlayerView::ColourInfoLine(std::uint32_t colorRef) {
    m_info->setStyleSheet(StyleFor(FromColorRef(InvertColorRef(colorRef)), FromColorRef(colorRef)));
}

void CKZPlayerView::ColourInfoLine(std::uint32_t textRef, std::uint32_t backRef) {
    m_info->setStyleSheet(StyleFor(FromColorRef(textRef), FromColorRef(backRef)));
}

void CKZPlayerView::OnBackColour() {
    const std::optional<QColor> chosen = m_chooseColour(FromColorRef(m_intBackColor));
    if (!chosen)
        return;
    m_intBackColor = ToColorRef(*chosen);
    m_bBackColourChosen = true;
    ProfileStore().WriteProfileInt(kSection, kBackColourKey, int(m_intBackColor));
    // When stopped the colour shows at the next erase and with the next movie.
    if (m_nPlayState != kStateStopped) {
        ColourInfoLine(m_intBackColor);
        update();
    }
}

void CKZPlayerView::OnBack() {
    if (m_frame->m_bFullScreen)
        m_frame->OnViewFullScreen();
    else if (m_frame->m_bActualSize)
        m_frame->OnViewActualSize();
}

void CKZPlayerView::LeaveScreenModes() {
    OnBack();
}

void CKZPlayerView::ToggleModeByDoubleClick() {
    if (m_bGameMode)
        return;
    if (m_frame->m_bActualSize)
        m_frame->OnViewActualSize();
    else
        m_frame->OnViewFullScreen();
}

void CKZPlayerView::ShowControllerFor(QPoint pos) {
    if (m_bGameMode)
        return;
    m_playCtrl->setVisible(m_playCtrl->geometry().contains(pos));
    m_playCtrl->raise();
}

void CKZPlayerView::PopUpPlayMenu(QPoint global) {
    if (QMenu *play = m_frame->SubMenu(2))
        play->popup(global);
}

void CKZPlayerView::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::RightButton)
        PopUpPlayMenu(event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void CKZPlayerView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        ToggleModeByDoubleClick();
    QWidget::mouseDoubleClickEvent(event);
}

void CKZPlayerView::mouseMoveEvent(QMouseEvent *event) {
    if (m_frame->m_bActualSize)
        ShowControllerFor(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void CKZPlayerView::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && !Windowed()) {
        LeaveScreenModes();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CKZPlayerView::OnBeforeNavigate2(const QString &url, bool *cancel) {
    if (!IsSwfLinkToPlay(url))
        return;
    *cancel = true;
    emit PlayUrlRequested(url);
}

UpdateSetup CKZPlayerView::UpdateSetupNow() const {
    return UpdateSetup{MakerSite(), ProgramDir(), TempFolder(), m_updateHttp};
}

void CKZPlayerView::OnTimer1() {
    m_timer1->stop();
    StartHomePageThread(m_updates, UpdateSetupNow());
    StartVersionCheckThread(UpdateSetupNow());
    m_timer2->start();
}

void CKZPlayerView::OnTimer2() {
    emit ConnectivityCheckDue();
    StartConnectivityThread(m_updates, UpdateSetupNow());
}

int CKZPlayerView::OnlineHomePage() const {
    return m_updates->onlineHomePage;
}

void CKZPlayerView::OnTimer100() {
    m_timer100->stop();
    update();
}

bool CKZPlayerView::TimerActive(int id) const {
    return kz::TimerActive(this, id);
}

void CKZPlayerView::OnOpenOnlineHomePage() {
    m_browser->Navigate(MakerSite() + QStringLiteral("/bindex.html"));
}

void CKZPlayerView::AddTrayIcon() {
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(window()->windowIcon(), this);
        m_tray->setProperty("trayId", kTrayIconId);
        m_tray->setContextMenu(m_trayMenu);
        connect(m_tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::DoubleClick)
                        RestoreFromTray();
                });
    }
    m_tray->setToolTip(TrayTip(LoadString(IDS_TITLE)));
    m_tray->show();
}

void CKZPlayerView::DeleteTrayIcon() {
    if (m_tray) {
        m_tray->hide();
        m_tray->deleteLater();
        m_tray = nullptr;
    }
}

bool CKZPlayerView::HasTrayIcon() const {
    return m_tray != nullptr;
}

void CKZPlayerView::RestoreFromTray() {
    QWidget *w = window();
    w->show();
    w->showNormal();
    w->raise();
    w->activateWindow();
    DeleteTrayIcon();
}

} // namespace kz
