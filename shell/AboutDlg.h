#pragma once
// The about box (dialog 100): the title, and three links (the maker's web site and two contact
// addresses) that show a hand when hovered.

#include <QDialog>

namespace kz {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};

} // namespace kz
