#include "ListCommands.h"

#include "controls/WaitCursor.h"
#include "platform/Paths.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"
#include "playlist/RenameDlg.h"
#include "playlist/ShowInFolder.h"
#include "playlist/TplInfmationDlg.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <filesystem>
#include <system_error>

namespace kz {

namespace {

const QString kFlashFilter = QStringLiteral("Flash Files(*.swf)");

// A name that stays inside the folder it is joined to.
bool IsPlainName(const QString &name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(kSep) &&
           !name.contains(QChar(0));
}

std::filesystem::path Fs(const QString &path) {
    return std::filesystem::path(path.toStdU16String());
}

} // namespace

bool DeleteMovieOfRow(const QString &column0, const QString &column1) {
    if (RowInListFile(column0))
        return DeleteEntry(column0, column1);
    return QFile::remove(column0);
}

bool CopyWithoutReplacing(const QString &from, const QString &to) {
    // QFile::copy refuses an existing destination.
    return QFile::copy(from, to);
}

bool CopyReplacing(const QString &from, const QString &to) {
    const QFileInfo src(from), dst(to);
    if (!src.isFile())
        return false;
    if (dst.exists() && src.canonicalFilePath() == dst.canonicalFilePath())
        return true;
    // Written beside the destination and renamed over it, so a failed copy leaves it intact.
    const QString scratch = to + QStringLiteral(".kzpart");
    QFile::remove(scratch);
    if (!QFile::copy(from, scratch))
        return false;
    std::error_code ec;
    std::filesystem::rename(Fs(scratch), Fs(to), ec);
    if (ec) {
        QFile::remove(scratch);
        return false;
    }
    return true;
}

bool MoveFile(const QString &from, const QString &to) {
    std::error_code ec;
    std::filesystem::rename(Fs(from), Fs(to), ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link)
        return false;
    if (!CopyReplacing(from, to))
        return false;
    if (!QFile::remove(from)) {
        QFile::remove(to);
        return false;
    }
    return true;
}

CListCommands::CListCommands(CDragDropListCtrl *playList, CDragDropListCtrl *listFileList,
                             QWidget *dialogParent)
    : m_play(playList), m_lists(listFileList), m_parent(dialogParent) {
    m_services.confirm = [this](const QString &text) {
        return QMessageBox::information(m_parent, LoadString(IDS_TITLE), text,
                                        QMessageBox::Ok | QMessageBox::Cancel) !=
               QMessageBox::Cancel;
    };
    m_services.saveFile = [this](const QString &dir, const QString &name, const QString &filter,
                                 const QString &suffix) {
        QFileDialog dlg(m_parent, QString(), dir, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(suffix);
        if (!name.isEmpty())
            dlg.selectFile(name);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    };
    m_services.pickFolder = [this] { return QFileDialog::getExistingDirectory(m_parent); };
    m_services.status = [](const QString &) {};
    m_services.message = [this](const QString &text) {
        QMessageBox::information(m_parent, LoadString(IDS_TITLE), text);
    };
    m_services.runDialog = [](QDialog &dlg) { return dlg.exec(); };
    m_services.showItem = &ShowItemInFolder;
}

void CListCommands::OnRemoveFromList() {
    m_play->RemoveSelectedRows();
}

void CListCommands::OnClearPlayList() {
    m_play->RemoveAllRows();
}

void CListCommands::OnDeleteFile() {
    if (!m_services.confirm(LoadString(IDS_CONFIRM_DELETE)))
        return;
    const QList<int> rows = m_play->SelectedRows();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        DeleteMovieOfRow(m_play->RowText(*it, 0), m_play->RowText(*it, 1));
        m_play->RemoveRow(*it);
    }
    m_play->SelectFollowing(rows);
    m_play->setFocus();
}

void CListCommands::OnDeleteAllFiles() {
    if (!m_services.confirm(LoadString(IDS_CONFIRM_DELETE)))
        return;
    for (int row = 0; row < m_play->RowCount(); ++row)
        DeleteMovieOfRow(m_play->RowText(row, 0), m_play->RowText(row, 1));
    m_play->RemoveAllRows();
}

void CListCommands::OnSaveAs() {
    const QList<int> rows = m_play->SelectedRows();
    if (rows.isEmpty())
        return;
    const QString column0 = m_play->RowText(rows.first(), 0);
    const QString column1 = m_play->RowText(rows.first(), 1);
    const bool inList = RowInListFile(column0);
    const QString path = m_services.saveFile(FolderWithSep(column0), inList ? column1 : column0,
                                             kFlashFilter, QStringLiteral("swf"));
    if (path.isEmpty())
        return;
    if (inList)
        ExtractEntry(path, column1, column0);
    else
        CopyReplacing(column0, path);
    m_services.status(LoadString(IDS_SAVED));
}

void CListCommands::OnCopyToDirectory() {
    const QList<int> rows = m_play->SelectedRows();
    if (rows.isEmpty())
        return;
    const QString folder = m_services.pickFolder();
    if (folder.isEmpty())
        return;
    WaitCursor wait;
    const QString temp = TempFolder();
    for (int row : rows) {
        const QString column0 = m_play->RowText(row, 0);
        const QString column1 = m_play->RowText(row, 1);
        if (!IsPlainName(column1))
            continue;
        const QString dest = WithTrailingSep(folder) + column1;
        if (RowInListFile(column0)) {
            if (temp.isEmpty())
                continue;
            const QString scratch = temp + column1;
            if (ExtractEntry(scratch, column1, column0))
                CopyWithoutReplacing(scratch, dest);
            QFile::remove(scratch);
        } else {
            CopyWithoutReplacing(column0, dest);
        }
    }
    m_services.status(LoadString(IDS_FILES_COPIED));
}

void CListCommands::OnRenameFile() {
    const QList<int> rows = m_play->SelectedRows();
    if (rows.isEmpty())
        return;
    const int row = rows.first();
    const QString column0 = m_play->RowText(row, 0);
    const QString column1 = m_play->RowText(row, 1);
    if (RowInListFile(column0)) {
        CRenameDlg dlg(m_parent);
        dlg.m_strListFile = column0;
        dlg.m_strName = column1;
        dlg.ToControls();
        if (m_services.runDialog(dlg) != QDialog::Accepted)
            return;
        const QString name = dlg.m_strName;
        if (name == column1)
            return;
        if (RenameEntry(name, column0, column1)) {
            m_play->topLevelItem(row)->setText(1, name);
            m_play->topLevelItem(row)->setToolTip(1, name);
        } else {
            m_services.message(QStringLiteral("Rename failed!"));
        }
        return;
    }
    const QString path =
        m_services.saveFile(FolderWithSep(column0), column0, kFlashFilter, QStringLiteral("swf"));
    if (path.isEmpty() || path == column0)
        return;
    // The dialog has confirmed replacing an existing file.
    if (!MoveFile(column0, path))
        return; // the movie is where it was: its row stays
    const bool selected = m_play->topLevelItem(row)->isSelected();
    m_play->RemoveRow(row);
    m_play->InsertRow(row, path, FileNameOf(path), row);
    m_play->topLevelItem(row)->setSelected(selected);
}

void CListCommands::OnBrowseFolder() {
    const QList<int> rows = m_play->SelectedRows();
    if (!rows.isEmpty())
        m_services.showItem(m_play->RowText(rows.first(), 0));
}

void CListCommands::OnRemoveListFile() {
    m_lists->RemoveSelectedRows();
}

void CListCommands::OnClearListFiles() {
    m_lists->RemoveAllRows();
}

void CListCommands::OnDeleteListFile() {
    if (!m_services.confirm(LoadString(IDS_CONFIRM_DELETE)))
        return;
    const QList<int> rows = m_lists->SelectedRows();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const QString path = m_lists->RowText(*it, 0);
        m_lists->RemoveRow(*it);
        QFile::remove(path);
    }
    m_lists->SelectFollowing(rows);
    m_lists->setFocus();
}

void CListCommands::OnDeleteAllListFiles() {
    if (!m_services.confirm(LoadString(IDS_CONFIRM_DELETE)))
        return;
    for (int row = 0; row < m_lists->RowCount(); ++row)
        QFile::remove(m_lists->RowText(row, 0));
    m_lists->RemoveAllRows();
}

void CListCommands::OnCompressListFile() {
    WaitCursor wait;
    for (int row : m_lists->SelectedRows())
        CompactListFile(m_lists->RowText(row, 0));
    m_services.status(LoadString(IDS_COMPRESSED));
}

void CListCommands::OnCompressAll() {
    WaitCursor wait;
    for (int row = 0; row < m_lists->RowCount(); ++row)
        CompactListFile(m_lists->RowText(row, 0));
    m_services.status(LoadString(IDS_COMPRESSED));
}

void CListCommands::OnBrowseListFolder() {
    const QList<int> rows = m_lists->SelectedRows();
    if (!rows.isEmpty())
        m_services.showItem(m_lists->RowText(rows.first(), 0));
}

void CListCommands::OnListFileInfo() {
    const QList<int> rows = m_lists->SelectedRows();
    if (rows.isEmpty())
        return;
    CTplInfmationDlg dlg(m_parent);
    dlg.ReadFrom(m_lists->RowText(rows.first(), 0));
    dlg.ToControls();
    m_services.runDialog(dlg);
}

} // namespace kz
