#pragma once
// The play-list views: a report-style list of rows (column 0 hidden: the movie's or the list
// file's full path; column 1: the visible name), used twice by the list bar: the play list of
// movies and the list of list files. Each row's item data is its index when it was appended.
//
// The public row access below is what the frame, the list bar and the play controller use;
// nothing else should reach into the underlying tree widget.

#include "playlist/PlayListState.h"

#include <QElapsedTimer>
#include <QList>
#include <QPoint>
#include <QTreeWidget>

#include <functional>
#include <vector>

class QMimeData;
class QTimer;

namespace kz {

struct DragPayload;

enum PlayListKind { kMovieList = 0, kListFileList = 1 };
// A list file's tool tip shows this many of its movies' thumbnails, out of its first entries.
inline constexpr int kListTipPictures = 4;
inline constexpr int kListTipLooks = 64;

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
    // Inserts a row before `row` (at the end when out of range) with the given item data.
    int InsertRow(int row, const QString &path, const QString &name, int data);
    void RemoveRow(int row);
    // Removes the rows selected now (each once) and selects the row that follows the last
    // removed one, if there is one. Returns the removed rows' former indices, ascending.
    QList<int> RemoveSelectedRows();
    // After removing `removed` (former indices, ascending): selects the row that now follows
    // the last of them, when there is one; otherwise nothing is selected.
    void SelectFollowing(const QList<int> &removed);
    void RemoveAllRows();
    void EnsureRowVisible(int row);
    // Repaints the rows (after the current movie changed, for instance).
    void RedrawRows();

    // The play operation: on the play list, asks to play the row (PlayRowRequested with the
    // row's two texts); on the list-file list it does nothing. False when nothing was asked.
    bool PlayRow(int row);

    // The current movie of the play list (the controller's `m_nCurrentPlayingItem`); drawn in
    // red. -1 for none. Sorting and moving rows keep the same movie current.
    int CurrentPlayingItem() const {
        return m_currentPlayingItemSource ? m_currentPlayingItemSource() : m_nCurrentPlayingItem;
    }
    void SetCurrentPlayingItem(int row);
    // Where the current row is kept when the play controller owns it; CurrentPlayingItemMoved
    // tells the owner when sorting or moving rows put it elsewhere.
    std::function<int()> m_currentPlayingItemSource;

    // Sorts by the name column, case folded, in the direction the last sort did not use; the
    // item data become the new indices.
    void SortByName();
    bool m_bSortAscending = false;

    // Dragging: the payload of the selected rows (null when there is nothing to drag or the
    // list is too long for the payload), and the drag itself with the copy effect. Rows that
    // end up outside the main window are removed from this view.
    QMimeData *CreateDragData() const;
    void StartDrag();
    // After a drag: when the cursor is outside the main window, the selected rows go.
    void FinishDrag(bool cursorOutsideMainWindow);
    // Dropping: `source` is the view the payload came from, `row` the row under the cursor
    // (-1 for empty space). False when the drop changes nothing.
    bool DropPayload(const DragPayload &payload, const CDragDropListCtrl *source, int row);
    // How long a press must last before it starts a drag instead of a click.
    static constexpr int kDragDelayMs = 150;
    // List-file list: empties the partner play list and fills it with the entries of the
    // row's list file (its information entry skipped). False for no such row or kind, and for
    // a list file that cannot be read (ListFileUnreadable tells).
    bool OpenListFileRow(int row);
    // Fills `list` (emptied first) with one row per entry of the list file, skipping the
    // information entry; false when the list file cannot be listed.
    static bool FillWithListFile(CDragDropListCtrl &list, const QString &listPath);

signals:
    // The play list asks the play controller to play (column 0, column 1) and make `row` the
    // current item.
    void PlayRowRequested(int row, const QString &column0, const QString &column1);
    // Sorting or moving rows put the current movie at another row.
    void CurrentPlayingItemMoved(int row);
    // A right click: the frame shows the view's menu there.
    void ContextMenuRequested(const QPoint &globalPos);
    // A key of the key table asks for a frame command.
    void CommandRequested(int id);
    // A list file opened into the play list could not be read; the play list is unchanged.
    void ListFileUnreadable(const QString &listPath);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    // A movie row's tool tip shows its thumbnail when the player has one.
    bool viewportEvent(QEvent *event) override;
    // The tool tip's pictures for a row (HTML); empty when there are none.
    QString RowPictures(const QString &column0, const QString &column1) const;

private:
    void FollowCurrent(const QTreeWidgetItem *current);
    int RowAt(const QPoint &viewportPos) const;

    int m_nCurrentPlayingItem = -1;
    QTimer *m_dragTimer = nullptr;
    bool m_pressPending = false;
};

} // namespace kz
