#pragma once
// Dialog 157 "Tpl文件信息": the information record of a list file (who shared it and how to
// reach them), with the e-mail and web addresses as links.

#include "playlist/ListFileInfo.h"

#include <QDialog>

class QLineEdit;

namespace kz {

class CHyperLink;

inline constexpr int IDD_TPL_INFORMATION = 157;

// name@host.domain with nothing more (no "?", no second address, no spaces).
bool IsPlainMailAddress(const QString &text);
// An http or https address with a host, parsed strictly.
bool IsWebAddress(const QString &text);

class CTplInfmationDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTplInfmationDlg(QWidget *parent = nullptr);

    // Exchanged with the controls in this order.
    QString m_strName;     // 1062 sharer
    QString m_strMSN;      // 1067
    QString m_strOther;    // 1065
    QString m_strFileName; // 1066 the list file's path
    QString m_strDetail;   // 1061
    QString m_strEmail;    // 1063 link
    QString m_strWeb;      // 1064 link

    // Reads the list file's information record into the strings; the file name is always set.
    // False when the list file has no readable record.
    bool ReadFrom(const QString &listPath);
    // Puts the strings into the controls (as plain text) and the links' targets ("mailto:" +
    // e-mail, web); a web link other than http(s) or an e-mail that is not a plain address is
    // shown but refused.
    void ToControls();

    CHyperLink *EmailLink() const { return m_email; }
    CHyperLink *WebLink() const { return m_web; }

private:
    QLineEdit *m_name = nullptr;
    QLineEdit *m_msn = nullptr;
    QLineEdit *m_other = nullptr;
    QLineEdit *m_fileName = nullptr;
    QLineEdit *m_detail = nullptr;
    CHyperLink *m_email = nullptr;
    CHyperLink *m_web = nullptr;
};

} // namespace kz
