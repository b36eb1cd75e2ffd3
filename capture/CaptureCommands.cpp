#include "CaptureCommands.h"

#include "platform/flash/FlashControl.h"
#include "platform/urlcache/UrlCache.h"
#include "playlist/ListCommands.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>

namespace kz {

namespace {

CaptureScreen RealScreen(const QRect &control) {
    CaptureScreen s;
    QScreen *screen = QGuiApplication::screenAt(control.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return s;
    s.geometry = screen->geometry();
    s.depth = screen->depth();
    s.grab = [screen](const QRect &area) {
        const QRect geo = screen->geometry();
        // Window 0 is the screen itself: what shows there, other windows included.
        return screen
            ->grabWindow(0, area.x() - geo.x(), area.y() - geo.y(), area.width(), area.height())
            .toImage();
    };
    s.setClipboard = [](const QImage &image) { QGuiApplication::clipboard()->setImage(image); };
    return s;
}

} // namespace

CCaptureCommands::CCaptureCommands(FlashControl *flash, QWidget *dialogParent)
    : QObject(dialogParent), m_flash(flash), m_parent(dialogParent) {
    m_services.screen = RealScreen;
    m_services.mail = SystemMailServices();
    m_services.error = [](const QString &text) {
        // Not modal: the original came from the mail thread and held nothing up.
        auto *box =
            new QMessageBox(QMessageBox::Critical, QStringLiteral("错误"), text, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("MailLoadFail"));
        box->show();
    };
    m_services.saveFile = [this](const QString &initial, const QString &filter,
                                 const QString &suffix) {
        QFileDialog dlg(m_parent ? m_parent->window() : nullptr, QString(), initial, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(suffix);
        dlg.selectFile(initial);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    };
    m_services.urlCacheFolder = UrlCache::DefaultFolder();
}

QRect CCaptureCommands::ControlOnScreen() const {
    return QRect(m_flash->mapToGlobal(QPoint(0, 0)), m_flash->size());
}

CaptureOutcome CCaptureCommands::OnCapture(const FrameSettings &settings) {
    const QRect control = ControlOnScreen();
    return CaptureFrame(m_flash->Movie(), control, settings, m_services.screen(control));
}

void CCaptureCommands::OnSendMail(bool urlMode) {
    // Each command hands its own copy of the path on.
    const QString movie = m_flash->Movie();
    const std::optional<QString> file =
        MovieLocalFile(movie, urlMode, UrlCache(m_services.urlCacheFolder));
    if (!file)
        return;
    const QString attachment = MailAttachment(movie, *file, urlMode);
    if (attachment.isEmpty())
        return;
    if (SendFileByMail(attachment, m_services.mail) == MailResult::NoMailProgram)
        m_services.error(QString::fromLatin1(kMailLoadFailText));
}

void CCaptureCommands::OnSaveMovieAs(bool urlMode) {
    const std::optional<QString> file =
        MovieLocalFile(m_flash->Movie(), urlMode, UrlCache(m_services.urlCacheFolder));
    if (!file)
        return;
    const QString target =
        m_services.saveFile(*file, QString::fromLatin1(kMovieFilter), QStringLiteral("swf"));
    if (target.isEmpty())
        return;
    // The dialog has confirmed replacing; the copy goes beside the target and is renamed over
    // it, so a failed copy leaves the user's file as it was. Failures are silent.
    CopyReplacing(*file, target);
}

} // namespace kz
