#include "RenameDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kz {

CRenameDlg::CRenameDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_RENAME));
    setWindowTitle(QStringLiteral("修改文件名"));
    setWindowIcon(QApplication::windowIcon());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("你选择要修改的文件位于下面的列表文件中"), this));
    m_listFile = new QLineEdit(this);
    m_listFile->setObjectName(QStringLiteral("IDC_1050"));
    m_listFile->setReadOnly(true);
    layout->addWidget(m_listFile);
    layout->addWidget(new QLabel(QStringLiteral("请输入新文件名："), this));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("IDC_1049"));
    layout->addWidget(m_name);
    auto *box = new QDialogButtonBox(this);
    QPushButton *ok = box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    QPushButton *cancel = box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
    setMinimumWidth(360);
}

void CRenameDlg::ToControls() {
    m_listFile->setText(m_strListFile);
    m_name->setText(m_strName);
    m_name->selectAll();
    m_name->setFocus();
}

void CRenameDlg::FromControls() {
    m_strName = m_name->text();
}

void CRenameDlg::accept() {
    FromControls();
    QDialog::accept();
}

} // namespace kz
