// The frame's local searches: the commands, the worker threads, the rows they find and the
// found count of timer 200.

#include "MainFrm.h"

#include "netsearch/ListDlg.h"
#include "platform/Workers.h"
#include "platform/urlcache/UrlCache.h"
#include "playlist/DragDropListCtrl.h"
#include "res/StringTable.h"
#include "search/FixedDisks.h"
#include "search/LocalSearch.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace kz {

namespace {

// Runs a function on the frame's thread, in the order posted, while the frame lives; nothing
// once it is gone.
void PostToFrame(LocalSearchState &state, std::function<void(CMainFrame &)> fn) {
    std::lock_guard lock(state.m_mutex);
    if (CMainFrame *frame = state.m_frame)
        QMetaObject::invokeMethod(
            frame, [frame, fn = std::move(fn)] { fn(*frame); }, Qt::QueuedConnection);
}

void SetSearchFolder(LocalSearchState &state, const QString &folder) {
    std::lock_guard lock(state.m_mutex);
    state.m_strSearchFolder = folder;
}

} // namespace

void CMainFrame::InitSearchServices() {
    m_search = std::make_shared<LocalSearchState>();
    m_search->m_frame = this;
    m_urlCacheFolder = UrlCache::DefaultFolder();
    m_services.chooseFolder = [] { return QFileDialog::getExistingDirectory(); };
    m_services.askOkCancel = [this](const QString &text) {
        return QMessageBox::information(this, LoadString(IDS_TITLE), text,
                                        QMessageBox::Ok | QMessageBox::Cancel) !=
               QMessageBox::Cancel;
    };
    m_services.fixedDisks = [] { return FixedDiskRoots(); };
}

void CMainFrame::EndSearches() {
    m_search->m_bStopSearch = true;
    std::lock_guard lock(m_search->m_mutex);
    m_search->m_frame = nullptr;
}

void CMainFrame::RouteSearchCommands() {
    CommandTable &t = *m_commands;
    const auto idle = [this] { return CommandState{m_search->m_bSearching.load() == 0, false}; };
    t.Route(
        ID_SEARCH_DIRECTORY, [this] { OnSearchDirectory(); }, idle);
    t.Route(
        ID_SEARCH_DISK, [this] { OnSearchDisks(); }, idle);
    t.Route(
        ID_SEARCH_IE_CACHE, [this] { OnSearchCache(); }, idle);
    t.Route(ID_DELETE_IE_CACHE_FLASH, [this] { OnCleanCache(); });
}

void CMainFrame::OnSearchDirectory() {
    const QString folder = m_services.chooseFolder();
    if (folder.isEmpty())
        return;
    SetSearchFolder(*m_search, folder);
    StartSearch(SearchKind::Folder, folder,
                folder + QStringLiteral(" ") + LoadString(IDS_SEARCHING));
}

void CMainFrame::OnSearchDisks() {
    StartSearch(SearchKind::Disks, QString(),
                QStringLiteral("整个硬盘") + LoadString(IDS_SEARCHING));
}

void CMainFrame::OnSearchCache() {
    StartSearch(SearchKind::Cache, QString(), QStringLiteral("IE缓存") + LoadString(IDS_SEARCHING));
}

void CMainFrame::StartSearch(SearchKind kind, const QString &folder, const QString &startMessage) {
    SetStatusText(startMessage);
    const std::int64_t minBytes = MinMovieBytes(m_settings.m_nIEFilterSize);
    const QStringList disks = kind == SearchKind::Disks ? m_services.fixedDisks() : QStringList();
    const QString cacheFolder = m_urlCacheFolder;
    std::shared_ptr<LocalSearchState> state = m_search;
    ++state->m_bSearching; // here, so the commands are disabled at once
    // A worker: joined before the application ends (the frame's close has asked it to stop).
    const bool started = StartWorker([state, kind, folder, minBytes, disks, cacheFolder] {
        {
            // A search already running finishes first.
            std::lock_guard run(state->m_runMutex);
            state->m_hSearchDone.Reset();
            PostToFrame(*state, [](CMainFrame &frame) {
                frame.m_nFoundCount = 0;
                frame.m_searchEnded = false;
                frame.m_searchDoneTimer->start();
            });
            const HitCallback hit = [&state](const MovieHit &movie) {
                const QString path = movie.path;
                PostToFrame(*state, [path](CMainFrame &frame) {
                    frame.PlayList()->AppendFileRow(path);
                    ++frame.m_nFoundCount;
                });
            };
            const std::atomic<bool> *stop = &state->m_bStopSearch;
            switch (kind) {
            case SearchKind::Folder:
                SearchFolder(folder, minBytes, stop, hit);
                break;
            case SearchKind::Disks:
                SearchDisks(disks, minBytes, stop, hit,
                            [&state](const QString &root) { SetSearchFolder(*state, root); });
                break;
            case SearchKind::Cache:
                SearchUrlCache(UrlCache(cacheFolder), minBytes, stop, hit);
                break;
            }
            // After the last row, in the same queue: the count is complete when this arrives.
            PostToFrame(*state, [](CMainFrame &frame) { frame.m_searchEnded = true; });
            state->m_hSearchDone.Set();
        }
        --state->m_bSearching;
    });
    if (!started)
        --state->m_bSearching;
}

void CMainFrame::OnSearchDoneTimer() {
    if (!m_search->m_hSearchDone.IsSet() || !m_searchEnded)
        return;
    SetStatusText(QStringLiteral("%1 %2").arg(m_nFoundCount).arg(LoadString(IDS_FLASH_FOUND)));
    m_searchDoneTimer->stop();
}

void CMainFrame::OnCleanCache() {
    if (!m_services.askOkCancel(LoadString(IDS_CONFIRM_DELETE)))
        return;
    // Independent of the searches: no count, no message.
    StartWorker([folder = m_urlCacheFolder] {
        UrlCache cache(folder);
        CleanUrlCache(cache);
    });
}

} // namespace kz
