#include "AboutDlg.h"

#include "res/StringTable.h"
#include "shell/Startup.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kz {

namespace {

QLabel *Link(const QString &target, const QString &text, int id, QWidget *parent) {
    auto *l = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), text.toHtmlEscaped()),
        parent);
    l->setObjectName(QStringLiteral("IDC_%1").arg(id));
    l->setTextFormat(Qt::RichText);
    l->setOpenExternalLinks(true);
    l->setCursor(Qt::PointingHandCursor);
    return l;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_100"));
    setWindowTitle(QStringLiteral("关于 ") + LoadString(IDS_TITLE));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(LoadString(IDS_TITLE) + QStringLiteral(" 1.0"), this));
    const QString site = MakerSite();
    const QString host = QUrl(site).host();
    layout->addWidget(Link(site, site, 1056, this));
    const QString support = QStringLiteral("support@") + host;
    const QString webmaster = QStringLiteral("webmaster@") + host;
    layout->addWidget(Link(QStringLiteral("mailto:") + support, support, 1072, this));
    layout->addWidget(Link(QStringLiteral("mailto:") + webmaster, webmaster, 1073, this));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace kz
