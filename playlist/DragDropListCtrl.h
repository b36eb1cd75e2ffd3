#pragma once
// The play-list views: a report-style list of rows (column 0 hidden: the movie's or the list
// file's full path; column 1: the visible name), used twice by the list bar: the play list of
// movies and the list of list files. Each row's item data is its index when it was appended.
//
// The public row access below is what the frame, the list bar and the play controller use;
// nothing else should reach into the underlying tree widget.

#include "playlist/PlayListState.h"

#include <QList>
#include <QTreeWidget>

#include <functional>
#include <vector>

namespace kz {

enum PlayListKind { kMovieList = 0, kListFileList = 1 };

class CDragDropListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CDragDropListCtrl(QWidget *parent = nullptr);

    // Kind and partner (the other view of the list bar).
    int m_nPlayListKind = kMovieList;
    CDragDropListCtrl *m_pPartner = nullptr;

    // Columns "目录" (hidden) and the name heading; column 1 takes the given width.
    void SetUpColumns(const QString &nameHeading, int nameWidth);
    void SetNameColumnWidth(int width);

    // --- Row access ---
    int RowCount() const;
    // Text of column 0 or 1 of a row; empty for a row or column that does not exist.
    QString RowText(int row, int column) const;
    PlayListRow Row(int row) const;
    std::vector<PlayListRow> Rows() const;
    // The row's item data (its index when it was appended); -1 for no such row.
    int ItemData(int row) const;
    void SetItemData(int row, int data);
    // Selected rows in ascending order.
    QList<int> SelectedRows() const;
    int SelectedCount() const;
    void SelectOnly(int row);
    // Appends a row at the end: column 0 the path, column 1 the name, item data its index.
    // Returns the new row's index.
    int AppendRow(const QString &path, const QString &name);
    // Appends a row for a file: the name is the text after the path's last separator.
    int AppendFileRow(const QString &path);
    void RemoveRow(int row);
    void RemoveAllRows();
    void EnsureRowVisible(int row);
    // Repaints the rows (after the current movie changed, for instance).
    void RedrawRows();

    // The play operation: on the play list, asks to play the row (PlayRowRequested with the
    // row's two texts); on the list-file list it does nothing. False when nothing was asked.
    bool PlayRow(int row);
    // List-file list: empties the partner play list and fills it with the entries of the
    // row's list file (its information entry skipped). False for no such row or kind.
    bool OpenListFileRow(int row);
    // Fills `list` (emptied first) with one row per entry of the list file, skipping the
    // information entry; false when the list file cannot be listed.
    static bool FillWithListFile(CDragDropListCtrl &list, const QString &listPath);

signals:
    // The play list asks the play controller to play (column 0, column 1) and make `row` the
    // current item.
    void PlayRowRequested(int row, const QString &column0, const QString &column1);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace kz
