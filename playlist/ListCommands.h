#pragma once
// The frame's commands on the files behind the rows of the two lists: removing rows, deleting
// movie files and list-file entries, save as, copy to a folder, rename, showing the file in the
// file manager, the list-file housekeeping and the list-file information dialog.

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace kz {

class CDragDropListCtrl;

// What the commands ask the user and the desktop; tests replace these.
struct ListCommandServices {
    // Message 102's question (OK and Cancel, information icon): false only for Cancel.
    std::function<bool(const QString &text)> confirm;
    // Save dialog: initial folder, initial file name, filter, default suffix; empty = cancel.
    std::function<QString(const QString &dir, const QString &name, const QString &filter,
                          const QString &suffix)>
        saveFile;
    // Folder browser; empty = cancel.
    std::function<QString()> pickFolder;
    // The frame's status pane.
    std::function<void(const QString &text)> status;
    // A plain message box.
    std::function<void(const QString &text)> message;
    std::function<int(QDialog &)> runDialog;
    // Shows the file selected in the file manager.
    std::function<bool(const QString &path)> showItem;
};

class CListCommands {
public:
    CListCommands(CDragDropListCtrl *playList, CDragDropListCtrl *listFileList,
                  QWidget *dialogParent);

    ListCommandServices m_services;

    // Play list.
    void OnRemoveFromList();  // 32779
    void OnClearPlayList();   // 32780
    void OnDeleteFile();      // 32781
    void OnDeleteAllFiles();  // 32782
    void OnSaveAs();          // 32783
    void OnCopyToDirectory(); // 32784
    void OnRenameFile();      // 32785
    void OnBrowseFolder();    // 32915
    // List-file list.
    void OnRemoveListFile();     // 32775
    void OnClearListFiles();     // 32776
    void OnDeleteListFile();     // 32777
    void OnDeleteAllListFiles(); // 32778
    void OnCompressListFile();   // 32857
    void OnCompressAll();        // 32858
    void OnBrowseListFolder();   // 32917
    void OnListFileInfo();       // 32872

private:
    CDragDropListCtrl *m_play;
    CDragDropListCtrl *m_lists;
    QWidget *m_parent;
};

// Deletes the movie behind a play-list row: the entry of its list file, or the file itself.
bool DeleteMovieOfRow(const QString &column0, const QString &column1);
// Copies a file to a destination that must not exist yet.
bool CopyWithoutReplacing(const QString &from, const QString &to);
// Copies a file over the destination (replacing it in one step); copying a file onto itself
// leaves it alone.
bool CopyReplacing(const QString &from, const QString &to);
// Moves a file over the destination, onto another file system too (a copy beside the
// destination, renamed over it, then the source removed). On failure the file stays where it
// was and no copy is left behind.
bool MoveFile(const QString &from, const QString &to);

} // namespace kz
