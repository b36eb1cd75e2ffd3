#include "TplInfmationDlg.h"

#include "controls/HyperLink.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace kz {

namespace {

template <typename W> W *Named(W *w, int id) {
    w->setObjectName(QStringLiteral("IDC_%1").arg(id));
    return w;
}

} // namespace

CTplInfmationDlg::CTplInfmationDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_TPL_INFORMATION));
    setWindowTitle(QStringLiteral("Tpl文件信息"));
    setWindowIcon(QApplication::windowIcon());
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    auto edit = [this](int id) {
        auto *e = Named(new QLineEdit(this), id);
        e->setReadOnly(true); // the player never writes the record
        return e;
    };
    auto link = [this](int id) {
        auto *l = Named(new CHyperLink(this), id);
        l->setTextFormat(Qt::PlainText); // the record's texts are never markup
        l->setText(QStringLiteral("静态"));
        return l;
    };
    m_name = edit(1062);
    m_email = link(1063);
    m_msn = edit(1067);
    m_other = edit(1065);
    m_web = link(1064);
    m_fileName = edit(1066);
    m_detail = edit(1061);
    form->addRow(QStringLiteral("共享者："), m_name);
    form->addRow(QStringLiteral("电子邮件："), m_email);
    form->addRow(QStringLiteral("MSN:"), m_msn);
    form->addRow(QStringLiteral("其他信息："), m_other);
    form->addRow(QStringLiteral("网址："), m_web);
    form->addRow(QStringLiteral("文件名："), m_fileName);
    form->addRow(QStringLiteral("文件详细信息："), m_detail);
    layout->addLayout(form);
    auto *box = new QDialogButtonBox(this);
    QPushButton *ok = box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(box);
    setMinimumWidth(420);
}

bool CTplInfmationDlg::ReadFrom(const QString &listPath) {
    m_strFileName = listPath;
    ListFileInfo info;
    const bool ok = ReadListFileInfo(listPath, info);
    m_strName = info.sharer;
    m_strEmail = info.email;
    m_strMSN = info.msn;
    m_strOther = info.other;
    m_strWeb = info.web;
    m_strDetail = info.details;
    return ok;
}

void CTplInfmationDlg::ToControls() {
    m_name->setText(m_strName);
    m_msn->setText(m_strMSN);
    m_other->setText(m_strOther);
    m_fileName->setText(m_strFileName);
    m_detail->setText(m_strDetail);
    m_email->setText(m_strEmail);
    m_web->setText(m_strWeb);
    // The record comes from whoever made the list file: only a web page and a plain mail
    // address are opened, never another kind of link (a file, a program's scheme, a mail
    // with attachments or headers).
    if (m_strEmail.isEmpty() || IsPlainMailAddress(m_strEmail))
        m_email->SetURL(QStringLiteral("mailto:") + m_strEmail);
    else
        m_email->Refuse(QStringLiteral("Only a plain e-mail address is opened from here."));
    if (m_strWeb.isEmpty() || IsWebAddress(m_strWeb))
        m_web->SetURL(m_strWeb);
    else
        m_web->Refuse(QStringLiteral("Only web addresses (http, https) are opened from here."));
}

bool IsWebAddress(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

bool IsPlainMailAddress(const QString &text) {
    // name@host.domain: the usual characters of a mailbox name, host labels of letters, digits
    // and hyphens; nothing that would add headers, a body or attachments.
    static const QRegularExpression plain(
        QStringLiteral("^[A-Za-z0-9!#$'*+=^_`{|}~-]+(\\.[A-Za-z0-9!#$'*+=^_`{|}~-]+)*"
                       "@[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,"
                       "61}[A-Za-z0-9])?)+$"));
    return text.size() <= 254 && plain.match(text).hasMatch();
}

} // namespace kz
