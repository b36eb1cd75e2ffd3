#include "MainFrm.h"

#include "platform/Paths.h"
#include "res/StringTable.h"
#include "shell/HandOver.h"
#include "shell/KZPlayerView.h"
#include "shell/Log.h"

#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

namespace kz {

CMainFrame::CMainFrame(const ControlFactory &controls, const QString &commandLineFile,
                       QWidget *parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("CMainFrame"));
    m_commands = new CommandTable(this);

    // Menu 128, and its keys on the window.
    for (const MenuSpec &spec : MainMenu()) {
        QMenu *menu = m_commands->BuildMenu(spec, this);
        menuBar()->addMenu(menu);
        m_menus << menu;
    }
    for (int id : AllCommandIds())
        addAction(m_commands->Action(id));

    // Status bar: the message pane and pane 110.
    m_statusPane = new QLabel(LoadString(IDS_READY), this);
    m_statusPane->setObjectName(QStringLiteral("IDS_110"));
    statusBar()->addPermanentWidget(m_statusPane);

    m_strCommandLineFile = commandLineFile;
    if (ExtensionOf(commandLineFile) == u"swf")
        m_bStartFile = 1;

    m_commands->Route(
        ID_FULL_SCREEN, [this] { OnViewFullScreen(); },
        [this] {
            return CommandState{true, m_bFullScreen != 0};
        },
        true);
    m_commands->Route(
        ID_ACTUAL_SIZE, [this] { OnViewActualSize(); },
        [this] {
            return CommandState{true, m_bActualSize != 0};
        },
        true);
    m_commands->Route(ID_APP_EXIT, [this] { close(); });

    m_view = new CKZPlayerView(this, controls);
    setCentralWidget(m_view);
    resize(800, 600);
}

CMainFrame::~CMainFrame() = default;

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

void CMainFrame::EnterScreenMode() {
    m_savedGeometry = saveGeometry();
    m_wasMaximised = isMaximized();
    menuBar()->hide();
    statusBar()->hide();
    showFullScreen();
}

void CMainFrame::LeaveScreenMode() {
    showNormal();
    menuBar()->show();
    statusBar()->show();
    if (!m_savedGeometry.isEmpty())
        restoreGeometry(m_savedGeometry);
    if (m_wasMaximised)
        showMaximized();
}

// Both modes cover the screen with the view; they differ only in how the view sizes the
// movie. Entering one from the other switches directly and keeps the saved placement.
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

void CMainFrame::OnCopyData(quint32 dataWord, const QByteArray &data) {
    // The sender expects its file to open in a window the user sees.
    if (isMinimized())
        showNormal();
    if (!isVisible())
        show();
    raise();
    activateWindow();
    if (dataWord == kHandOverFtpClient)
        return;
    const std::optional<QString> file = FileNameFromBytes(data);
    if (!file)
        return;
    qCInfo(lcShell, "hand-over: \"%s\"", qUtf8Printable(*file));
    m_handedOverFiles << *file;
    emit FileHandedOver(*file);
}

void CMainFrame::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_bTaskBar) {
        QTimer::singleShot(0, this, [this] {
            hide();
            m_view->AddTrayIcon();
        });
    }
}

} // namespace kz
