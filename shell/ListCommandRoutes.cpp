// The frame's side of the two lists: the list-file commands of menu "列表", the file commands,
// the lists' context menus (sub-menus "文件" and "列表" of menu 128) and the keys they pass on.

#include "controls/WaitCursor.h"
#include "netsearch/ListDlg.h"
#include "platform/MovieIdentity.h"
#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "platform/flash/FlashControl.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListCommands.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"
#include "res/StringTable.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"

#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

namespace kz {

namespace {

const QString kListFilter = QStringLiteral("Vobi List Files(*.tpl)");

bool CanOpenForReading(const QString &path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly);
}

// Why a movie file could not be added to a list file, naming both.
QString AddFailureText(const QString &moviePath, const QString &listPath) {
    QFile movie(moviePath);
    if (!movie.open(QIODevice::ReadOnly)) {
        const QString why = !QFileInfo::exists(moviePath) ? QStringLiteral("文件不存在")
                            : movie.error() == QFileDevice::PermissionsError
                                ? QStringLiteral("没有读取权限")
                                : movie.errorString();
        return QStringLiteral("无法打开文件“%1”：%2。").arg(moviePath, why);
    }
    return QStringLiteral("无法把“%1”写入列表文件“%2”。").arg(FileNameOf(moviePath), listPath);
}

} // namespace

void CMainFrame::RouteListFileCommands() {
    CommandTable &t = *m_commands;
    auto always = [] { return CommandState{true, false}; };
    auto playListSelection = [this] {
        return CommandState{PlayList()->SelectedCount() > 0, false};
    };
    t.Route(
        ID_LAST_PLAY_LIST, [this] { OnLastPlayList(); }, always);
    t.Route(
        ID_FAVOURITE_LIST, [this] { OnFavouriteList(); }, always);
    t.Route(
        ID_SAVE_AS_LIST_FILE, [this] { OnSaveAsListFile(); }, playListSelection);
    t.Route(
        ID_ADD_TO_LIST_FILE, [this] { OnAddToListFile(); }, playListSelection);
    t.Route(
        ID_ADD_TO_FAVOURITES, [this] { OnAddToFavourites(); }, playListSelection);
    t.Route(
        ID_OPEN_LIST_FILE, [this] { OnOpenListFile(); }, always);
    t.Route(
        ID_NEW_LIST_FILE, [this] { OnNewListFile(); }, always);
}

void CMainFrame::RouteListCommands() {
    RouteListFileCommands();
    m_listCommands = std::make_unique<CListCommands>(PlayList(), ListFileList(), this);
    CListCommands *c = m_listCommands.get();
    c->m_services.status = [this](const QString &text) { SetStatusText(text); };
    c->m_services.runDialog = [this](QDialog &dlg) { return m_services.runDialog(dlg); };

    CommandTable &t = *m_commands;
    auto selected = [](CDragDropListCtrl *list) {
        return [list] { return CommandState{list->SelectedCount() > 0, false}; };
    };
    auto notEmpty = [](CDragDropListCtrl *list) {
        return [list] { return CommandState{list->RowCount() > 0, false}; };
    };
    CDragDropListCtrl *play = PlayList();
    CDragDropListCtrl *lists = ListFileList();
    t.Route(
        ID_REMOVE_FROM_LIST, [c] { c->OnRemoveFromList(); }, selected(play));
    t.Route(
        ID_CLEAR_PLAY_LIST, [c] { c->OnClearPlayList(); }, notEmpty(play));
    t.Route(
        ID_DELETE_FILE, [c] { c->OnDeleteFile(); }, selected(play));
    t.Route(
        ID_DELETE_ALL_FILES, [c] { c->OnDeleteAllFiles(); }, notEmpty(play));
    t.Route(
        ID_FILE_SAVE_AS, [c] { c->OnSaveAs(); }, selected(play));
    t.Route(
        ID_COPY_TO_DIRECTORY, [c] { c->OnCopyToDirectory(); }, selected(play));
    t.Route(
        ID_RENAME_FILE, [c] { c->OnRenameFile(); }, selected(play));
    t.Route(
        ID_BROWSE_FOLDER, [c] { c->OnBrowseFolder(); }, selected(play));
    t.Route(
        ID_DELETE_SAVES, [this] { OnDeleteSaves(); }, selected(play));
    t.Route(
        ID_REMOVE_LIST_FILE, [c] { c->OnRemoveListFile(); }, selected(lists));
    t.Route(
        ID_CLEAR_LIST_FILES, [c] { c->OnClearListFiles(); }, notEmpty(lists));
    t.Route(
        ID_DELETE_LIST_FILE, [c] { c->OnDeleteListFile(); }, selected(lists));
    t.Route(
        ID_DELETE_ALL_LIST_FILES, [c] { c->OnDeleteAllListFiles(); }, notEmpty(lists));
    t.Route(
        ID_COMPRESS_LIST_FILE, [c] { c->OnCompressListFile(); }, selected(lists));
    t.Route(
        ID_COMPRESS_ALL_LIST_FILES, [c] { c->OnCompressAll(); }, notEmpty(lists));
    t.Route(
        ID_BROWSE_LIST_FOLDER, [c] { c->OnBrowseListFolder(); }, selected(lists));
    t.Route(
        ID_LIST_FILE_INFO, [c] { c->OnListFileInfo(); }, selected(lists));
    RouteMovieSettings(
        t, ID_ROW_SPEED_FIRST, ID_ROW_QUALITY_FIRST,
        [this] { return m_view ? m_view->PlayCtrl() : nullptr; },
        [play] {
            QStringList ids;
            for (int row : play->SelectedRows()) {
                const QString id = RowIdentity(play->RowText(row, 0), play->RowText(row, 1));
                if (!id.isEmpty())
                    ids << id;
            }
            return ids;
        });

    int index = 0;
    for (CDragDropListCtrl *list : {play, lists}) {
        const int menu = index++;
        connect(list, &CDragDropListCtrl::ContextMenuRequested, this, [this, menu](QPoint at) {
            if (QMenu *m = SubMenu(menu))
                m->popup(at);
        });
        connect(list, &CDragDropListCtrl::ListFileUnreadable, this, [this](const QString &path) {
            SetStatusText(QStringLiteral("无法读取列表文件“%1”").arg(FileNameOf(path)));
        });
        connect(list, &CDragDropListCtrl::CommandRequested, this,
                [this](int id) { m_commands->Execute(id); });
    }
}

void CMainFrame::OnDeleteSaves() {
    const QList<int> rows = PlayList()->SelectedRows();
    if (rows.isEmpty())
        return;
    const QString column0 = PlayList()->RowText(rows.first(), 0);
    const QString column1 = PlayList()->RowText(rows.first(), 1);
    const QString name = IsListFilePath(column0) ? column1 : FileNameOf(column0);
    if (!m_services.askOkCancel(QStringLiteral("确实要删除“%1”的存档吗？").arg(name)))
        return;
    QPointer<CMainFrame> self(this);
    m_view->Flash()->DeleteSaves(
        column0, IsListFilePath(column0) ? column1 : QString(), [self, name](int removed) {
            if (self)
                self->SetStatusText(
                    QStringLiteral("已删除“%1”的存档（%2 项）").arg(name).arg(removed));
        });
}

QString CMainFrame::FavouritesPath() const {
    return UserDataDir() + QString::fromUtf16(kFavouritesName);
}

QStringList CMainFrame::SelectedMovieReferences() const {
    QStringList refs;
    for (int row : PlayList()->SelectedRows()) {
        const QString column0 = PlayList()->RowText(row, 0);
        if (ExtensionOf(FileNameOf(column0)) == u"swf")
            refs << column0;
        else
            refs << column0 + kSep + PlayList()->RowText(row, 1);
    }
    return refs;
}

void CMainFrame::OnNewListFile() {
    const QString path =
        m_services.saveFile(m_settings.m_strTplDefaultDir, kListFilter, QStringLiteral("tpl"));
    if (path.isEmpty() || !CreateListFile(path))
        return;
    m_settings.m_strTplDefaultDir = FolderWithSep(path);
    ListFileList()->AppendFileRow(path);
}

void CMainFrame::OnOpenListFile() {
    for (const QString &file :
         m_services.openFiles(m_settings.m_strTplDefaultDir, kListFilter, true)) {
        if (!CanOpenForReading(file))
            continue;
        m_settings.m_strTplDefaultDir = FolderWithSep(file);
        ListFileList()->AppendFileRow(file);
    }
}

// Every selected play-list row into a list file. A movie file that cannot be added ends the
// command with a message; what was put before it stays. A failed copy of a list file's entry
// leaves the others to be tried.
bool CMainFrame::PutRowsInto(const QString &listPath) {
    std::vector<PlayListRow> rows;
    for (int row : PlayList()->SelectedRows())
        rows.push_back({PlayList()->RowText(row, 0), PlayList()->RowText(row, 1)});
    QString failure;
    {
        WaitCursor wait;
        PutRowsIntoListFile(rows, listPath, [&](const PlayListRow &row) {
            if (RowInListFile(row.column0))
                return true;
            failure = AddFailureText(row.column0, listPath);
            return false;
        });
    }
    if (failure.isEmpty())
        return true;
    m_services.message(failure);
    return false;
}

void CMainFrame::OnAddToListFile() {
    const QStringList files =
        m_services.openFiles(m_settings.m_strTplDefaultDir, kListFilter, false);
    if (files.isEmpty())
        return;
    m_settings.m_strTplDefaultDir = FolderWithSep(files.first());
    PutRowsInto(files.first());
}

void CMainFrame::OnSaveAsListFile() {
    const QString path =
        m_services.saveFile(m_settings.m_strTplDefaultDir, kListFilter, QStringLiteral("tpl"));
    if (path.isEmpty())
        return;
    // Built beside the target and moved into place, so that a target which holds some of the
    // selected movies is read before it is replaced.
    const QString scratch = path + QStringLiteral(".new");
    if (!CreateListFile(scratch))
        return;
    // A stopped command leaves the target as it was.
    if (!PutRowsInto(scratch)) {
        QFile::remove(scratch);
        return;
    }
    QFile::remove(path);
    if (!QFile::rename(scratch, path)) {
        QFile::remove(scratch);
        return;
    }
    m_settings.m_strTplDefaultDir = FolderWithSep(path);
    ListFileList()->AppendFileRow(path);
}

void CMainFrame::OnAddToFavourites() {
    const QString path = FavouritesPath();
    if (!CanOpenForReading(path) && !(MakeSureDirectoryPathExists(path) && CreateListFile(path))) {
        m_services.message(LoadString(IDS_CANNOT_CREATE_FAVOURITES));
        return;
    }
    PutRowsInto(path);
}

void CMainFrame::OnFavouriteList() {
    const QString path = FavouritesPath();
    QStringList names;
    if (!ListEntries(path, names) || names.isEmpty())
        return;
    PlayList()->RemoveAllRows();
    for (const QString &name : names)
        PlayList()->AppendRow(path, name);
}

void CMainFrame::OnLastPlayList() {
    const StateFileRead read =
        ReadPlayListState(UserDataDir() + QString::fromUtf16(kPlayListStateName));
    if (read.records > 0) {
        PlayList()->RemoveAllRows();
        for (const PlayListRow &row : read.rows)
            PlayList()->AppendRow(row.column0, row.column1);
    }
    if (!read.opened || read.records == 0)
        SetStatusText(LoadString(IDS_NO_FLASH_FOUND));
}

} // namespace kz
