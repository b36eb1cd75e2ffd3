#pragma once
// Dialog 135 "Flash工具": the user lists input files (movies, programs, movies inside list
// files), picks one task and where its outputs go, and runs the task over every row; each row's
// status column shows the outcome. The run goes on a worker thread, one file at a time in row
// order, so the window stays live; "退出" during a run stops after the current file.

#include "settings/Settings.h"
#include "tools/ToolRun.h"

#include <QDialog>
#include <QStringList>
#include <QTableWidget>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace kz {

inline constexpr int IDD_TOOLS = 135;
inline constexpr int IDR_TOOLSMENU = 149;
// Menu 149's commands.
inline constexpr int ID_TOOLS_ADD = 32861;
inline constexpr int ID_TOOLS_REMOVE = 32859;
inline constexpr int ID_TOOLS_REMOVE_ALL = 32860;
// The controls' ids.
inline constexpr int IDC_TOOLS_LIST = 1034;
inline constexpr int IDC_OUTPUT_DIR_BUTTON = 1031;
inline constexpr int IDC_OUTPUT_DIR = 1027;
inline constexpr int IDC_SAME_DIR = 1055;
inline constexpr int IDC_BROWSE_DIR = 1074;
inline constexpr int IDC_TASK_MP3 = 1051;
inline constexpr int IDC_TASK_JPEG = 1052;
inline constexpr int IDC_TASK_EXE = 1053;
inline constexpr int IDC_TASK_SCREENSAVER = 1056;
inline constexpr int IDC_ADD_FILES = 1054;
inline constexpr int IDC_START = 1037;
inline constexpr int IDC_INSTALL_SCREENSAVER = 1070;
inline constexpr int IDC_EXIT = 2;

// Column 2's texts.
inline constexpr auto kStatusSucceeded = u"成功";
inline constexpr auto kStatusFailed = u"失败";
inline constexpr auto kStatusWorking = u"…";
// The add-files dialog's filter.
inline constexpr auto kToolsFileFilter = u"Flash Files(*.swf)|*.swf|Flash Files(*.exe)|*.exe||";

// The file list: three columns, grid lines, whole rows selected; menu 149 on a right press and
// the Delete key, whose commands go to the dialog.
class CToolsListCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CToolsListCtrl(QWidget *parent = nullptr);

    // Appends a row; its item data is its index at insertion.
    int AppendRow(const ToolRow &row);
    ToolRow Row(int row) const;
    QString Status(int row) const;
    void SetStatus(int row, const QString &text);
    int ItemData(int row) const;
    // The selected rows' indexes, ascending.
    QList<int> SelectedRows() const;
    // Menu 149 as it would show for a press at `pos` (viewport coordinates); the caller owns it.
    QMenu *MakeMenu(QPoint pos);
    // While false the menu and the Delete key do nothing (a run is going on).
    bool m_bCommandsEnabled = true;

signals:
    void CommandRequested(int id);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

class CToolsDlg : public QDialog {
    Q_OBJECT
public:
    // What the dialog asks of the desktop; tests replace these.
    struct Services {
        // Multi-select open dialog with a filter in Qt's form; the chosen files.
        std::function<QStringList(const QString &filter)> openFiles;
        // Folder browser; empty when cancelled.
        std::function<QString()> chooseFolder;
        // Shows a folder in the file manager.
        std::function<bool(const QString &folder)> openFolder;
    };

    // `profileSection`: the profile section of the remembered folders (the program's name).
    explicit CToolsDlg(const QString &profileSection, QWidget *parent = nullptr);
    ~CToolsDlg() override;

    // Filled by the caller before the dialog opens: paths, or a list file's path, a separator
    // and a movie's name. Initialisation moves them into the file list.
    QStringList m_listInputFiles;

    QString m_strOutputDir;
    bool m_bSameDir = false;
    int m_nMode = kTaskMp3;
    QString m_strMp3InitDir;
    QString m_strJpgInitDir;
    QString m_strExeInitDir;
    Services m_services;

    // Runs once, before the dialog first shows (or when a test calls it).
    void OnInitDialog();
    void ToControls();
    void FromControls();

    // Commands.
    void OnOutputDir();
    void OnAddFiles();
    void OnSameDir();
    void OnTask(int controlId);
    void OnBrowseDir();
    void OnInstallScreenSaver();
    void OnRemove();
    void OnRemoveAll();
    // Starts the run over every row; nothing when the list is empty or a run is going on.
    void OnStart();
    void OnCommand(int id);

    CToolsListCtrl *List() const { return m_list; }
    bool Running() const { return m_worker.joinable(); }
    void reject() override;

signals:
    // The run has ended (all rows done, or stopped after the current one).
    void RunFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Job {
        int row;
        ToolRow input;
        QString prefix;
    };
    QString &RememberedFolder(int task);
    void EnableOutputControls();
    void SetRunning(bool running);
    void OnRowStarted(int row);
    void OnRowDone(int row, bool ok);
    void OnRunEnded();

    QString m_section;
    bool m_initialised = false;
    CToolsListCtrl *m_list = nullptr;
    QPushButton *m_outputDirButton = nullptr;
    QLineEdit *m_outputDir = nullptr;
    QCheckBox *m_sameDir = nullptr;
    QPushButton *m_browseDir = nullptr;
    QButtonGroup *m_tasks = nullptr;
    QPushButton *m_addFiles = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_installScreenSaver = nullptr;
    QPushButton *m_exit = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    bool m_closeAfterRun = false;
};

} // namespace kz
