// The frame's side of the two lists: their file commands, their context menus (sub-menus
// "文件" and "列表" of menu 128) and the keys they pass on.

#include "netsearch/ListDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListCommands.h"
#include "shell/MainFrm.h"

#include <QMenu>

namespace kz {

void CMainFrame::RouteListCommands() {
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

    int index = 0;
    for (CDragDropListCtrl *list : {play, lists}) {
        const int menu = index++;
        connect(list, &CDragDropListCtrl::ContextMenuRequested, this, [this, menu](QPoint at) {
            if (QMenu *m = SubMenu(menu))
                m->popup(at);
        });
        connect(list, &CDragDropListCtrl::CommandRequested, this,
                [this](int id) { m_commands->Execute(id); });
    }
}

} // namespace kz
