#include "updater/CvupdateDlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace kz {

namespace {

const QString kTitle = QStringLiteral("Vobi Flash播放器更新");
const QString kText = QStringLiteral("正在更新到Vobi Flash播放器的最新版本 ......");

// Repaints while the installation holds the thread; the user's input waits.
void Repaint() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

QString FileErrorText(const QString &path, const QString &why) {
    return QStringLiteral("无法写入文件 %1：%2\n更新失败，播放器将不带此更新启动。").arg(path, why);
}

CvupdateDlg::CvupdateDlg(const QString &programDir, QWidget *parent)
    : QDialog(parent), m_programDir(programDir) {
    setObjectName(QStringLiteral("IDD_102"));
    setWindowTitle(kTitle);
    const QIcon icon(programDir + QStringLiteral("res/KZPlayer.png"));
    setWindowIcon(icon);

    auto *layout = new QVBoxLayout(this);
    auto *text = new QLabel(kText, this);
    layout->addWidget(text);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("IDC_%1").arg(kProgressId));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    setMinimumWidth(360);

    m_startPlayer = [](const QString &program) { return QProcess::startDetached(program, {}); };
    m_showFileError = [this](const QString &path, const QString &why) {
        QMessageBox::critical(this, kTitle, FileErrorText(path, why));
    };

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timer%1").arg(kInstallTimerId));
    m_timer->setSingleShot(true);
    m_timer->setInterval(kInstallDelayMs);
    connect(m_timer, &QTimer::timeout, this, &CvupdateDlg::OnTimer);
    m_timer->start();
}

void CvupdateDlg::StepIt() {
    int next = m_progress->value() + 1;
    if (next > m_progress->maximum())
        next = m_progress->minimum() + (next - m_progress->maximum());
    m_progress->setValue(next);
    Repaint();
}

void CvupdateDlg::keyPressEvent(QKeyEvent *event) {
    // Enter does nothing; Escape closes the dialog as usual.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CvupdateDlg::done(int result) {
    m_timer->stop();
    QDialog::done(result);
}

void CvupdateDlg::OnTimer() {
    m_timer->stop();
    UpdaterHooks hooks;
    hooks.events.step = [this] { StepIt(); };
    hooks.events.fileError = [this](const QString &path, const QString &why) {
        if (m_showFileError)
            m_showFileError(path, why);
    };
    hooks.setProgress = [this](int value) {
        m_progress->setValue(value);
        Repaint();
    };
    hooks.pause = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            Repaint();
            QThread::msleep(20);
        }
    };
    hooks.startPlayer = [this](const QString &program) {
        return m_startPlayer && m_startPlayer(program);
    };
    // Whatever the outcome, the player has been started and the updater ends.
    RunInstallation(m_programDir, hooks);
    accept();
}

} // namespace kz
