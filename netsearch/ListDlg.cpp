#include "ListDlg.h"

#include "res/StringTable.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>

namespace kz {

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
    // Searching comes with the net search; until then the button stays off.
    m_search->setEnabled(false);
    m_browserArea = new QWidget(this);
    m_browserArea->setObjectName(QStringLiteral("IDC_%1").arg(IDC_RESULT_BROWSER));

    connect(m_switch, &QPushButton::clicked, this, [this] {
        if (m_runNetSearchCommand)
            m_runNetSearchCommand();
    });
    LayOut();
}

CListDlg::~CListDlg() = default;

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
    m_browserArea->setGeometry(l.browser);
    m_browserArea->setVisible(!l.browser.isEmpty());
    m_previous->setGeometry(l.previousPage);
    m_next->setGeometry(l.nextPage);
    m_previous->setVisible(l.pageButtonsVisible);
    m_next->setVisible(l.pageButtonsVisible);
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
