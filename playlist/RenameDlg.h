#pragma once
// Dialog 140 "修改文件名": the new name of a movie inside a list file. Edit 1050 shows the list
// file, edit 1049 the entry name to change.

#include <QDialog>

class QLineEdit;

namespace kz {

inline constexpr int IDD_RENAME = 140;

class CRenameDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRenameDlg(QWidget *parent = nullptr);

    QString m_strListFile; // 1050
    QString m_strName;     // 1049

    void ToControls();
    void FromControls();
    void accept() override;

private:
    QLineEdit *m_listFile = nullptr;
    QLineEdit *m_name = nullptr;
};

} // namespace kz
