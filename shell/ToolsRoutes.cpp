#include "ToolsRoutes.h"

#include "capture/CaptureCommands.h"
#include "capture/MovieMail.h"
#include "platform/Paths.h"
#include "platform/flash/FlashControl.h"
#include "platform/urlcache/UrlCache.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/Startup.h"
#include "tools/Packaging.h"
#include "tools/ToolsDlg.h"

namespace kz {

namespace {

void RunToolsDialog(CMainFrame &frame, QWidget *parent, const QStringList &inputs) {
    CToolsDlg dlg(QString::fromLatin1(kExeBaseName), parent);
    dlg.m_listInputFiles = inputs;
    frame.m_services.runDialog(dlg);
}

} // namespace

std::optional<QStringList> CurrentMovieForTools(CMainFrame &frame) {
    CKZPlayerView *view = frame.View();
    const CPlayCtrlDlg *ctrl = view ? view->PlayCtrl() : nullptr;
    if (!ctrl || ctrl->m_nPlayState == kStateStopped)
        return QStringList();
    if (ctrl->m_bUrlMode) {
        const std::optional<QString> file = MovieLocalFile(
            view->Flash()->Movie(), true, UrlCache(view->Capture()->m_services.urlCacheFolder));
        if (!file)
            return std::nullopt;
        return QStringList{*file};
    }
    const int row = ctrl->m_nCurrentPlayingItem;
    const QString column0 = frame.PlayList()->RowText(row, 0);
    if (column0.isEmpty()) // a movie that has no row: the control's own file
        return QStringList{view->Flash()->Movie()};
    if (ExtensionOf(FileNameOf(column0)) == u"swf")
        return QStringList{column0};
    return QStringList{column0 + kSep + frame.PlayList()->RowText(row, 1)};
}

void RouteToolsCommands(CMainFrame &frame) {
    CommandTable &t = frame.Commands();
    t.Route(ID_FRAME_FLASH_TOOLS,
            [&frame] { RunToolsDialog(frame, &frame, frame.SelectedMovieReferences()); });
    t.Route(ID_INSTALL_SCREENSAVER, [] { InstallScreenSaver(); });
    // As save-as: a movie whose whole file is there.
    const auto fileReady = [&frame] {
        const CPlayCtrlDlg *c = frame.View() ? frame.View()->PlayCtrl() : nullptr;
        return c && c->m_nPlayState != kStateStopped && !(c->m_bUrlMode && !c->m_bFullyLoaded);
    };
    t.Route(
        ID_VIEW_FLASH_TOOLS,
        [&frame, fileReady] {
            if (!fileReady())
                return;
            if (const std::optional<QStringList> movie = CurrentMovieForTools(frame))
                RunToolsDialog(frame, frame.View(), *movie);
        },
        [fileReady] { return CommandState{fileReady()}; });
}

} // namespace kz
