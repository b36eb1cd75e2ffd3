#include "HyperLink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QUrl>

namespace kz {

namespace {

CHyperLink::Opener &CurrentOpener() {
    static CHyperLink::Opener opener = &CHyperLink::OpenWithDesktop;
    return opener;
}

} // namespace

CHyperLink::CHyperLink(QWidget *parent) : QLabel(parent) {
    SetLinkLook(true);
    m_report = [this](const QString &text) { QMessageBox::warning(window(), QString(), text); };
}

void CHyperLink::SetLinkLook(bool link) {
    setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QPalette p = palette();
    p.setColor(QPalette::WindowText,
               link ? QColor(0, 0, 0xCC) : QApplication::palette(this).color(QPalette::WindowText));
    setPalette(p);
    QFont f = font();
    f.setUnderline(link);
    setFont(f);
}

void CHyperLink::Refuse(const QString &reason) {
    m_url.clear();
    m_refusal = reason;
    SetLinkLook(reason.isEmpty());
}

void CHyperLink::SetOpener(Opener opener) {
    CurrentOpener() = opener ? std::move(opener) : Opener(&CHyperLink::OpenWithDesktop);
}

// The desktop gives no reason of its own when it fails, so the likely ones are named here.
QString CHyperLink::OpenWithDesktop(const QString &url) {
    const QUrl target(url, QUrl::StrictMode);
    if (url.trimmed().isEmpty())
        return QStringLiteral("The link is empty.");
    if (!target.isValid() || target.scheme().isEmpty())
        return QStringLiteral("The link is not a valid address.");
    if (target.scheme() == u"mailto" && target.path().isEmpty())
        return QStringLiteral("The link names no e-mail address.");
    if (!QDesktopServices::openUrl(target))
        return QStringLiteral("No program is set up to open this kind of link.");
    return QString();
}

bool CHyperLink::GotoURL() {
    const QString reason = Refused() ? m_refusal : CurrentOpener()(m_url);
    if (reason.isEmpty())
        return true;
    if (m_report)
        m_report(QStringLiteral("Unable to open hyperlink:\n\n") + reason);
    return false;
}

void CHyperLink::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
        GotoURL();
    }
}

} // namespace kz
