#include "ListDlg.h"

#include "netsearch/SearchHistory.h"
#include "platform/Paths.h"
#include "platform/flash/FlashControl.h"
#include "playback/HeaderProbe.h"
#include "res/StringTable.h"

#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

#include <mutex>

namespace kz {

bool ResultBrowserMayShow(const QString &url) {
    if (url == QLatin1String("about:blank"))
        return true;
    // Only the local pages, never a remote page that happens to carry one of their names.
    const QUrl parsed = url.startsWith(u'/') ? QUrl::fromLocalFile(url) : QUrl(url);
    if (!parsed.isLocalFile())
        return false;
    const QString name = parsed.path().section(u'/', -1);
    return name == QLatin1String(kResultPageName) || name == QLatin1String(kWaitingPageName) ||
           name == QLatin1String(kErrorPageName);
}

constexpr auto kArchiveBusyText = "互联网档案馆繁忙，部分结果未取到，请稍后再试";

bool IsMovieLink(const QString &url) {
    return url.section(u'.', -1).toLower() == QLatin1String("swf");
}

// Carries a search's outcome from its thread to the panel, while the panel lives.
struct CListDlg::Mailbox {
    std::mutex lock;
    CListDlg *owner = nullptr;
    void Post(std::function<void(CListDlg *)> call) {
        std::lock_guard guard(lock);
        if (!owner)
            return;
        CListDlg *to = owner;
        QMetaObject::invokeMethod(
            to, [to, call = std::move(call)] { call(to); }, Qt::QueuedConnection);
    }
};

ListDlgLayout ComputeListDlgLayout(int a, int b, int h, int p, bool searchView,
                                   bool mainWindowExists) {
    ListDlgLayout l;
    a = std::max(0, a);
    b = std::max(0, b);
    if (!mainWindowExists) {
        l.movieList = QRect(0, 0, a, b / 2);
        l.listFileList = QRect(0, b / 2, a, b / 2);
        l.nameColumnWidth = a - 2;
        return l;
    }
    l.topRowVisible = true;
    const int e = 2 * a / 3;
    const int f = (2 * a - 2 * e - 4) / 3;
    l.searchBox = QRect(0, 0, e, h);
    l.searchButton = QRect(e + 2, 0, f, h);
    l.switchButton = QRect(e + f + 3, 0, a - e - f - 3, h);
    if (!searchView) {
        const int c = (b - h + 2) / 2;
        l.movieList = QRect(0, h + 2, a, c);
        l.listFileList = QRect(0, h + 2 + c, a, c);
        l.nameColumnWidth = a - 2;
        return l;
    }
    const int w = (a - 2) / 2;
    l.previousPage = QRect(0, b - p - 2, w, p);
    l.nextPage = QRect(a / 2 + 1, b - p - 2, w, p);
    l.pageButtonsVisible = true;
    l.browser = QRect(0, h + 2, a, std::max(0, b - h - p - 8));
    return l;
}

namespace {
QPushButton *Button(const QString &text, int id, QWidget *parent) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QStringLiteral("IDC_%1").arg(id));
    b->setAutoDefault(false);
    return b;
}
} // namespace

CListDlg::CListDlg(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_LIST_DLG));
    QFont f(QStringLiteral("宋体"));
    f.setPointSize(10);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);

    m_movieList = new CDragDropListCtrl(this);
    m_movieList->setObjectName(QStringLiteral("IDC_%1").arg(IDC_MOVIE_LIST));
    m_listFileList = new CDragDropListCtrl(this);
    m_listFileList->setObjectName(QStringLiteral("IDC_%1").arg(IDC_LIST_FILE_LIST));
    m_movieList->SetUpColumns(LoadString(IDS_COLUMN_MOVIES), width() - 2);
    m_listFileList->SetUpColumns(LoadString(IDS_COLUMN_LIST_FILES), width() - 2);
    m_movieList->m_nPlayListKind = kMovieList;
    m_listFileList->m_nPlayListKind = kListFileList;
    m_movieList->m_pPartner = m_listFileList;
    m_listFileList->m_pPartner = m_movieList;

    m_searchBox = new QComboBox(this);
    m_searchBox->setObjectName(QStringLiteral("IDC_%1").arg(IDC_SEARCH_BOX));
    m_searchBox->setEditable(true);
    m_searchBox->setInsertPolicy(QComboBox::NoInsert);
    m_search = Button(QStringLiteral("搜索"), IDC_SEARCH, this);
    m_switch = Button(QStringLiteral("<--"), IDC_SWITCH_FACE, this);
    m_previous = Button(QStringLiteral("上一页"), IDC_PREVIOUS_PAGE, this);
    m_next = Button(QStringLiteral("下一页"), IDC_NEXT_PAGE, this);
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    m_browserArea = new QWidget(this);
    m_browserArea->setObjectName(QStringLiteral("IDC_%1").arg(IDC_RESULT_BROWSER));
    m_mailbox = std::make_shared<Mailbox>();
    m_mailbox->owner = this;

    // The history, most recent first, at explicit places (the box never sorts).
    const QStringList history = LoadHistory(HistoryPath());
    m_searchBox->addItems(history);
    if (!history.isEmpty())
        m_searchBox->setCurrentIndex(0);

    connect(m_switch, &QPushButton::clicked, this, [this] {
        if (m_runNetSearchCommand)
            m_runNetSearchCommand();
    });
    connect(m_search, &QPushButton::clicked, this, &CListDlg::OnSearch);
    connect(m_next, &QPushButton::clicked, this, &CListDlg::OnNextPage);
    connect(m_previous, &QPushButton::clicked, this, &CListDlg::OnPreviousPage);
    LayOut();
}

CListDlg::~CListDlg() {
    {
        std::lock_guard guard(m_mailbox->lock);
        m_mailbox->owner = nullptr;
    }
    if (m_job)
        m_job->Abandon();
    // Abandoning ends the searches' transfers at once; the joins do not wait for time-outs.
    for (QueryThread &t : m_threads)
        t.thread.join();
    QStringList history;
    for (int i = 0; i < m_searchBox->count() && i < kHistoryMaxEntries; ++i)
        history << m_searchBox->itemText(i);
    SaveHistory(HistoryPath(), history);
}

QWidget *CListDlg::ResultArea() const {
    return m_browser ? static_cast<QWidget *>(m_browser) : m_browserArea;
}

void CListDlg::SetBrowser(BrowserControl *browser) {
    if (!browser)
        return;
    delete m_browser;
    m_browser = browser;
    m_browser->setParent(this);
    m_browser->setObjectName(QStringLiteral("IDC_%1").arg(IDC_RESULT_BROWSER));
    m_browserArea->setObjectName(QString());
    m_browserArea->hide();
    // The result page is made from remote text: no scripts, nothing from the network.
    m_browser->SetLocalOnly(true);
    connect(m_browser, &BrowserControl::BeforeNavigate2, this, &CListDlg::OnBeforeNavigate2,
            Qt::DirectConnection);
    LayOut();
}

QStringList CListDlg::ResultLinkList() const {
    std::lock_guard lock(HeaderLock());
    return m_resultLinks;
}

void CListDlg::SetSearchControlsEnabled(bool on) {
    m_search->setEnabled(on);
    m_searchBox->setEnabled(on);
}

void CListDlg::ShowWaitingPage() {
    if (m_browser) {
        m_browser->Navigate(ProgramDir() + QStringLiteral("res/") +
                            QLatin1String(kWaitingPageName));
        m_browser->repaint();
    }
}

void CListDlg::OnSearch() {
    const QString words = m_searchBox->currentText();
    if (words.trimmed().isEmpty())
        return;
    m_nResultPage = 0;
    // A history written elsewhere may hold the words more than once: every older copy goes.
    QStringList history;
    for (int i = 0; i < m_searchBox->count(); ++i)
        history << m_searchBox->itemText(i);
    history = WithSearch(history, words).mid(0, kHistoryMaxEntries);
    m_searchBox->clear();
    m_searchBox->addItems(history);
    m_searchBox->setCurrentIndex(0);

    SetSearchControlsEnabled(false);
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    {
        std::lock_guard lock(HeaderLock());
        m_resultLinks.clear();
    }
    ShowWaitingPage();
    // The page of an earlier run must not be read back into this search's results.
    m_bFirstSearchLayout = false;
    if (m_isNetSearchView && !m_isNetSearchView() && m_runNetSearchCommand)
        m_runNetSearchCommand();
    StartQuery(words);
}

void CListDlg::OnNextPage() {
    ++m_nResultPage;
    StartQuery(QString());
}

void CListDlg::OnPreviousPage() {
    m_nResultPage = std::max(0, m_nResultPage - 1);
    StartQuery(QString());
}

void CListDlg::StartQuery(const QString &searchWords) {
    const bool pageChange = searchWords.isEmpty();
    const QString words = pageChange ? m_searchBox->currentText() : searchWords;
    if (pageChange) {
        ShowWaitingPage();
        if (m_resetNetItem)
            m_resetNetItem();
        {
            std::lock_guard lock(HeaderLock());
            m_resultLinks.clear();
        }
        SetSearchControlsEnabled(false);
        m_previous->setEnabled(false);
        m_next->setEnabled(false);
    }
    m_nActiveEngine = ClampEngine(m_searchEngine ? m_searchEngine() : 0);
    // A newer search takes over: the old one writes and reports nothing more.
    if (m_job)
        m_job->Abandon();
    ReapFinishedThreads();
    auto job = std::make_shared<SearchJob>(m_nActiveEngine, words, m_nResultPage, ResultPagePath(),
                                           EngineHosts::FromEnvironment(), m_searchLimits, m_http);
    m_job = job;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([job, done, mailbox = m_mailbox] {
        job->Run([&](const SearchOutcome &outcome) {
            mailbox->Post(
                [job, outcome](CListDlg *to) { to->OnSearchFinished(job.get(), outcome); });
        });
        *done = true;
    });
    m_threads.push_back({std::move(thread), done});
}

void CListDlg::ReapFinishedThreads() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void CListDlg::OnSearchFinished(const SearchJob *job, const SearchOutcome &outcome) {
    if (job != m_job.get() || outcome.abandoned)
        return;
    m_job.reset();
    SetSearchControlsEnabled(true);
    if (!outcome.connected) {
        if (m_browser)
            m_browser->Navigate(QStringLiteral("about:blank"));
        return;
    }
    {
        std::lock_guard lock(HeaderLock());
        m_resultLinks = outcome.urls;
    }
    if (outcome.busy && m_showStatus)
        m_showStatus(QString::fromUtf8(kArchiveBusyText));
    m_bLastPage = !outcome.nextPageEnabled;
    m_next->setEnabled(outcome.nextPageEnabled);
    m_previous->setEnabled(m_nResultPage != 0);
    if (m_browser)
        m_browser->Navigate(ResultPagePath());
}

void CListDlg::OnBeforeNavigate2(const QString &url, bool *cancel) {
    if (ResultBrowserMayShow(url))
        return;
    *cancel = true;
    if (!IsMovieLink(url) || !m_playUrl)
        return;
    // The browser writes addresses its own way: play the list's spelling, so the controller
    // knows the place in the list.
    const QUrl target(url);
    const QStringList links = ResultLinkList();
    for (const QString &link : links) {
        if (QUrl(link) == target) {
            m_playUrl(link);
            return;
        }
    }
    m_playUrl(url);
}

void CListDlg::ReloadResultPage() {
    m_bFirstSearchLayout = false;
    const QString page = ResultPagePath();
    if (page.isEmpty() || !QFile::exists(page)) {
        if (m_browser)
            m_browser->Navigate(QStringLiteral("about:blank"));
        return;
    }
    const QStringList links = ReloadResultLinks(page);
    {
        std::lock_guard lock(HeaderLock());
        m_resultLinks = links;
    }
    if (m_browser)
        m_browser->Navigate(page);
}

void CListDlg::LayOut(int a, int b) {
    const bool searchView = m_isNetSearchView && m_isNetSearchView();
    const ListDlgLayout l =
        ComputeListDlgLayout(a, b, m_searchBox->sizeHint().height(),
                             m_previous->sizeHint().height(), searchView, m_bMainWindowReady);
    m_searchBox->setVisible(l.topRowVisible);
    m_search->setVisible(l.topRowVisible);
    m_switch->setVisible(l.topRowVisible);
    m_searchBox->setGeometry(l.searchBox);
    m_search->setGeometry(l.searchButton);
    m_switch->setGeometry(l.switchButton);
    m_movieList->setGeometry(l.movieList);
    m_listFileList->setGeometry(l.listFileList);
    m_movieList->setVisible(!l.movieList.isEmpty());
    m_listFileList->setVisible(!l.listFileList.isEmpty());
    if (!l.movieList.isEmpty()) {
        m_movieList->SetNameColumnWidth(l.nameColumnWidth);
        m_listFileList->SetNameColumnWidth(l.nameColumnWidth);
    }
    QWidget *area = ResultArea();
    area->setGeometry(l.browser);
    area->setVisible(!l.browser.isEmpty());
    m_previous->setGeometry(l.previousPage);
    m_next->setGeometry(l.nextPage);
    m_previous->setVisible(l.pageButtonsVisible);
    m_next->setVisible(l.pageButtonsVisible);
    if (searchView && m_bMainWindowReady && m_bFirstSearchLayout)
        ReloadResultPage();
}

void CListDlg::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    LayOut();
}

bool CListDlg::OnEnter() {
    QWidget *focus = focusWidget();
    auto within = [focus](QWidget *w) { return focus && (focus == w || w->isAncestorOf(focus)); };
    if (within(m_movieList)) {
        const QList<int> rows = m_movieList->SelectedRows();
        return !rows.isEmpty() && m_movieList->PlayRow(rows.first());
    }
    if (within(m_listFileList)) {
        const QList<int> rows = m_listFileList->SelectedRows();
        return !rows.isEmpty() && m_listFileList->OpenListFileRow(rows.first());
    }
    return false;
}

void CListDlg::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnEnter();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kz
