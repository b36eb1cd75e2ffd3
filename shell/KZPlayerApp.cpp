#include "KZPlayerApp.h"

#include "platform/Paths.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/mpris/MprisService.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "settings/Settings.h"
#include "shell/AboutDlg.h"
#include "shell/Association.h"
#include "shell/HandOver.h"
#include "shell/KZPlayerView.h"
#include "shell/Log.h"
#include "shell/Startup.h"
#include "shell/ViewPlayHost.h"
#include "update/PackageTrust.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QProcess>
#include <QScreen>

namespace kz {

namespace {

bool RunProgram(const QString &program, const QStringList &args, bool wait) {
    if (!wait)
        return QProcess::startDetached(program, args);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

CKZPlayerApp::CKZPlayerApp(ControlFactory controls, QObject *parent)
    : QObject(parent), m_controls(std::move(controls)) {
    m_runProgram = RunProgram;
}

CKZPlayerApp::~CKZPlayerApp() = default;

QString CKZPlayerApp::ExecutablePath() const {
    return ProgramDir() + QLatin1String(kExeBaseName);
}
QString CKZPlayerApp::IconPath() const {
    return ProgramDir() + QStringLiteral("res/KZPlayer.png");
}

bool CKZPlayerApp::InitInstance(const QStringList &arguments) {
    const QString programDir = ProgramDir();

    m_pDocument = std::make_unique<CKZPlayerDoc>();
    m_strCmdLineFile = CommandLineFile(arguments);

    // One player per user: a later start hands its file to the first and quits, whatever waits
    // in the program directory.
    m_instance = std::make_unique<SingleInstance>(m_instanceFolder);
    if (!m_instance->TryBecomeFirst()) {
        const bool sent =
            m_instance->SendToFirst(HandOverRecord{kHandOverFile, FileNameBytes(m_strCmdLineFile)});
        qCInfo(lcShell, "second start: %s", sent ? "handed over" : "no first instance answered");
        return false;
    }

    // Only a first start looks at updates, so that no file is replaced under a running player.
    // What a broken download or installation left goes, a new updater that came with the last
    // package replaces the old one, and a waiting package goes to the updater, which starts
    // the player again when it is done. When the updater cannot be started the player starts
    // as usual rather than never again.
    if (ProgramDirTakesUpdates(programDir)) {
        RemoveUpdateScratch(programDir);
        ReplaceUpdater(programDir);
        if (UpdatePackageWaiting(programDir) &&
            m_runProgram(programDir + QLatin1String(kUpdaterName), {}, false)) {
            m_instance.reset(); // the player the updater starts is a first start again
            return false;
        }
    }

    // The start-size check: a stored rectangle beyond the screen first shows maximised.
    bool maximised = false;
    IniRegistryStore machine;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        maximised = ComputeInitialPlacement(LoadWindowRect(machine), screen->size()).maximised;

    m_pMainWnd = std::make_unique<CMainFrame>(m_controls, m_strCmdLineFile);
    CMainFrame *frame = m_pMainWnd.get();
    frame->m_instanceFolder = m_instanceFolder;
    frame->setWindowIcon(QIcon(IconPath()));
    CommandTable &commands = frame->Commands();
    commands.Route(ID_SET_DEFAULT_PLAYER, [this] { OnSetDefaultPlayer(); });
    commands.Route(ID_APP_ABOUT, [this] { OnAppAbout(); });
    connect(m_instance.get(), &SingleInstance::RecordReceived, frame, &CMainFrame::OnCopyData);
    connect(frame->View(), &CKZPlayerView::InitialUpdateDone, m_instance.get(),
            [this] { m_instance->Listen(); });

    if (maximised)
        frame->showMaximized();
    else
        frame->show();
    frame->View()->OnInitialUpdate();
    frame->setAcceptDrops(true);
    StartMpris();

    // The list-file association, on every start; nothing waits for it and failures are silent.
    const AssociationTarget target = DefaultAssociationTarget(ExecutablePath(), IconPath());
    RegisterListFileType(target, [this](const QString &program, const QStringList &args) {
        return m_runProgram(program, args, false);
    });
    return true;
}

// The media keys and the desktop's media panel reach the player over the session bus. Without
// a bus, or with the name held by another program, the player goes on without them, silently.
void CKZPlayerApp::StartMpris() {
    if (!SessionBusAvailable())
        return;
    CMainFrame *frame = m_pMainWnd.get();
    CKZPlayerView *view = frame->View();
    MprisActions actions;
    actions.raise = [view] { view->RestoreFromTray(); };
    actions.quit = [frame] { frame->close(); };
    actions.openFile = [frame](const QString &path) {
        frame->OnCopyData(kHandOverFile, FileNameBytes(path));
    };
    actions.openUrl = [view](const QString &url) { emit view->PlayUrlRequested(url); };
    m_mpris = std::make_unique<MprisService>(view->PlayCtrl(), view->Flash(), view->PlayHost(),
                                             std::move(actions));
    const bool on = m_mpris->Register(QDBusConnection::sessionBus());
    qCInfo(lcShell, "media keys: %s", on ? "on the session bus" : "no session bus or name");
    if (!on)
        m_mpris.reset();
}

void CKZPlayerApp::OnSetDefaultPlayer() {
    const AssociationTarget target = DefaultAssociationTarget(ExecutablePath(), IconPath());
    const bool done = RegisterFlashType(target, [this](const QString &p, const QStringList &a) {
        return m_runProgram(p, a, true);
    });
    if (done && m_pMainWnd)
        m_pMainWnd->SetStatusText(LoadString(IDS_DEFAULT_PLAYER_DONE));
}

void CKZPlayerApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

int CKZPlayerApp::ExitInstance() {
    m_mpris.reset();
    m_pMainWnd.reset();
    m_pDocument.reset();
    m_instance.reset();
    return 0;
}

} // namespace kz
