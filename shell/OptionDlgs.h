#pragma once
// The configuration dialog (133, "选项") and the image options dialog (134, "图象选项"). Each
// takes its values in, and gives them back only when it ends with OK. Controls carry their
// numeric ids as object names ("IDC_1028").

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace kz {

inline constexpr int IDD_CONFIG = 133;
inline constexpr int IDD_IMAGE_OPTIONS = 134;

class CConfigDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConfigDlg(QWidget *parent = nullptr);

    std::int32_t m_CloseTimeOutValue = 0;
    std::int32_t m_nIEFilterSize = 0;
    std::int32_t m_bCloseTimeout = 0;
    std::int32_t m_bCloseEndofPlayingList = 0;
    std::int32_t m_bTaskBar = 0;
    std::int32_t m_nSearchEngine = 0;
    // "信任的目录": movies in these folders read their files and reach the network.
    QStringList m_trustedFolders;
    // The folder browser of the trusted folders' add button; tests replace it. Empty: none.
    std::function<QString()> m_browseTrusted;

    // Puts the members into the controls (before the dialog shows).
    void ToControls();
    // Takes the controls' values; false (with the prompt) when an edit holds no integer.
    bool FromControls();
    // How the prompt is shown; tests replace it.
    std::function<void(const QString &)> m_prompt;

    void accept() override;

private:
    QLineEdit *m_timeout = nullptr;
    QLineEdit *m_filter = nullptr;
    QCheckBox *m_closeTimeout = nullptr;
    QCheckBox *m_closeEnd = nullptr;
    QCheckBox *m_taskBar = nullptr;
    QButtonGroup *m_engines = nullptr;
    QListWidget *m_trusted = nullptr;
};

class CImageOptionDlg : public QDialog {
    Q_OBJECT
public:
    explicit CImageOptionDlg(QWidget *parent = nullptr);

    // The dialog's own defaults before it is filled.
    std::int32_t m_bSavedInClipboard = 0;
    std::int32_t m_bSavedInFile = 1;
    QString m_strSavedDirectory = QStringLiteral("/");
    std::int32_t m_bBmpFormat = 0;
    std::int32_t m_bJpgFormat = 0;
    std::int32_t m_bGifFormat = 0;
    std::int32_t m_bPngFormat = 0;

    void ToControls();
    void FromControls();
    // The folder browser of button 1031; tests replace it. Empty: nothing chosen.
    std::function<QString(const QString &current)> m_browseFolder;

    void accept() override;

private:
    QCheckBox *m_clipboard = nullptr;
    QCheckBox *m_file = nullptr;
    QLineEdit *m_folder = nullptr;
    // Check boxes: any number of formats may be written at once.
    QCheckBox *m_formats[4] = {};
};

} // namespace kz
