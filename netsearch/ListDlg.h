#pragma once
// The list bar panel (dialog 132): the search box, the search and "<--" buttons on top, and
// either the list face (the play list above the list-file list) or the search face (the result
// page with the page buttons). The face follows the frame's `m_bNetSearchView`.
//
// A search runs on a thread of its own (netsearch/Harvest.h); its outcome comes back to the
// panel's thread, where the result list and the page buttons are updated and the result page is
// shown. The result page is shown with scripts off and nothing loaded from the network.

#include "netsearch/Harvest.h"
#include "playlist/DragDropListCtrl.h"

#include <QRect>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QComboBox;
class QPushButton;

namespace kz {

class BrowserControl;

// The pages the panel's browser may show: the result page and the two shipped pages.
inline constexpr auto kWaitingPageName = "Vobi_Flash_Waitting.html";
inline constexpr auto kErrorPageName = "Vobi_Flash_Error.html";
// Whether the panel's browser may go to an address (about:blank and the three local pages),
// and whether a refused one is a movie to play (its extension is "swf" in any case).
bool ResultBrowserMayShow(const QString &url);
bool IsMovieLink(const QString &url);

// Control ids of dialog 132.
inline constexpr int IDD_LIST_DLG = 132;
inline constexpr int IDC_MOVIE_LIST = 1023;
inline constexpr int IDC_LIST_FILE_LIST = 1024;
inline constexpr int IDC_RESULT_BROWSER = 1076;
inline constexpr int IDC_SEARCH_BOX = 1077;
inline constexpr int IDC_PREVIOUS_PAGE = 1078;
inline constexpr int IDC_NEXT_PAGE = 1079;
inline constexpr int IDC_SEARCH = 1080;
inline constexpr int IDC_SWITCH_FACE = 1084;

// Where the panel's controls go for a client size a × b; h is the search box's height, p the
// page buttons' height. Empty rectangles are zero-sized controls.
struct ListDlgLayout {
    QRect searchBox, searchButton, switchButton;
    QRect movieList, listFileList;
    int nameColumnWidth = 0;
    QRect browser;
    QRect previousPage, nextPage;
    bool pageButtonsVisible = false;
    bool topRowVisible = false;
};
ListDlgLayout ComputeListDlgLayout(int a, int b, int h, int p, bool searchView,
                                   bool mainWindowExists);

class CListDlg : public QWidget {
    Q_OBJECT
public:
    explicit CListDlg(QWidget *parent = nullptr);
    ~CListDlg() override;

    // The two lists: the movie list (the play list) and the list-file list.
    CDragDropListCtrl *MovieList() const { return m_movieList; }
    CDragDropListCtrl *ListFileList() const { return m_listFileList; }
    QComboBox *SearchBox() const { return m_searchBox; }
    // Where the result page goes in the search face: the browser once it is set, else an
    // empty area.
    QWidget *ResultArea() const;
    // The browser of the result page (control 1076); the panel owns it. Before it is set the
    // search face shows an empty area and searches still fill the result list.
    void SetBrowser(BrowserControl *browser);
    BrowserControl *Browser() const { return m_browser; }
    QPushButton *SearchButton() const { return m_search; }
    QPushButton *PreviousPageButton() const { return m_previous; }
    QPushButton *NextPageButton() const { return m_next; }

    // The frame's face setting and its net-search command (the "<--" button runs it).
    std::function<bool()> m_isNetSearchView;
    std::function<void()> m_runNetSearchCommand;
    // Set by the frame once its window exists; before, the lists simply share the height.
    bool m_bMainWindowReady = false;
    // The engine setting, read when a search or a page change starts (none: engine 0).
    std::function<int()> m_searchEngine;
    // The play controller: plays a movie address, forgets its place in the result list.
    std::function<void(const QString &)> m_playUrl;
    std::function<void()> m_resetNetItem;
    // The frame's status pane: told when the library asked us to wait longer than we do.
    std::function<void(const QString &)> m_showStatus;
    // Tests bound the search's waits and may replace the network.
    SearchLimits m_searchLimits;
    HttpSessionFactory m_http;

    // The commands: search (1080), next page (1079), previous page (1078).
    void OnSearch();
    void OnNextPage();
    void OnPreviousPage();
    // The browser's navigation check: local pages show, movie links play, the rest is refused.
    void OnBeforeNavigate2(const QString &url, bool *cancel);

    // The net result list (the movie addresses of the page shown), in page order.
    QStringList ResultLinkList() const;
    bool SearchRunning() const { return m_job != nullptr; }
    int m_nResultPage = 0;
    bool m_bLastPage = true;
    int m_nActiveEngine = 0;
    bool m_bFirstSearchLayout = true;

    // Lays the controls out for a client size (the frame calls it on every size change).
    void LayOut(int a, int b);
    void LayOut() { LayOut(width(), height()); }

    // The Enter key: plays the first selected row of the movie list, or opens the selected list
    // file into the movie list, depending on which list has the focus. False when nothing ran.
    bool OnEnter();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Mailbox;
    void StartQuery(const QString &words);
    void OnSearchFinished(const SearchJob *job, const SearchOutcome &outcome);
    void SetSearchControlsEnabled(bool on);
    void ShowWaitingPage();
    void ReloadResultPage();
    void ReapFinishedThreads();

    CDragDropListCtrl *m_movieList = nullptr;
    CDragDropListCtrl *m_listFileList = nullptr;
    QComboBox *m_searchBox = nullptr;
    QPushButton *m_search = nullptr;
    QPushButton *m_switch = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QWidget *m_browserArea = nullptr;
    BrowserControl *m_browser = nullptr;
    QStringList m_resultLinks; // under the header lock
    std::shared_ptr<SearchJob> m_job;
    std::shared_ptr<Mailbox> m_mailbox;
    struct QueryThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<QueryThread> m_threads;
};

} // namespace kz
