#pragma once
// The list bar panel (dialog 132): the search box, the search and "<--" buttons on top, and
// either the list face (the play list above the list-file list) or the search face (the result
// page with the page buttons). The face follows the frame's `m_bNetSearchView`.
//
// This is the list face; the search, its history and the result page come with the net search.

#include "playlist/DragDropListCtrl.h"

#include <QRect>
#include <QWidget>

#include <functional>

class QComboBox;
class QPushButton;

namespace kz {

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
    // Where the result page goes in the search face.
    QWidget *ResultArea() const { return m_browserArea; }

    // The frame's face setting and its net-search command (the "<--" button runs it).
    std::function<bool()> m_isNetSearchView;
    std::function<void()> m_runNetSearchCommand;
    // Set by the frame once its window exists; before, the lists simply share the height.
    bool m_bMainWindowReady = false;

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
    CDragDropListCtrl *m_movieList = nullptr;
    CDragDropListCtrl *m_listFileList = nullptr;
    QComboBox *m_searchBox = nullptr;
    QPushButton *m_search = nullptr;
    QPushButton *m_switch = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QWidget *m_browserArea = nullptr;
};

} // namespace kz
