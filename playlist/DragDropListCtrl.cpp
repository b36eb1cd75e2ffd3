#include "DragDropListCtrl.h"

#include "platform/Thumbnails.h"

#include "controls/WaitCursor.h"
#include "platform/Paths.h"
#include "playlist/DragPayload.h"
#include "playlist/ListFile.h"
#include "res/Menus.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace kz {

CDragDropListCtrl::CDragDropListCtrl(QWidget *parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true); // full-row selection
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Grid lines between the rows and columns.
    // Selected rows keep a visible highlight when the window is not the active one (the sheet
    // would otherwise draw white text on no background).
    setStyleSheet(QStringLiteral("QTreeView::item { border-bottom: 1px solid #d8d8d8; "
                                 "border-right: 1px solid #d8d8d8; }"
                                 "QTreeView::item:selected { background-color: #3875d7; "
                                 "color: white; }"));
    setColumnCount(2);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int) { SortByName(); });
    m_dragTimer = new QTimer(this);
    m_dragTimer->setSingleShot(true);
    m_dragTimer->setInterval(kDragDelayMs);
    // Still held after the delay: the press starts a drag.
    connect(m_dragTimer, &QTimer::timeout, this, [this] {
        if (m_pressPending && (QApplication::mouseButtons() & Qt::LeftButton))
            StartDrag();
        m_pressPending = false;
    });
}

void CDragDropListCtrl::SetUpColumns(const QString &nameHeading, int nameWidth) {
    setHeaderLabels({LoadString(IDS_COLUMN_FOLDER), nameHeading});
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setSectionResizeMode(0, QHeaderView::Fixed);
    setColumnWidth(0, 0);
    SetNameColumnWidth(nameWidth);
}

void CDragDropListCtrl::SetNameColumnWidth(int width) {
    setColumnWidth(1, std::max(0, width));
}

int CDragDropListCtrl::RowCount() const {
    return topLevelItemCount();
}

QString CDragDropListCtrl::RowText(int row, int column) const {
    const QTreeWidgetItem *item = topLevelItem(row);
    if (!item || column < 0 || column > 1)
        return QString();
    return item->text(column);
}

PlayListRow CDragDropListCtrl::Row(int row) const {
    return {RowText(row, 0), RowText(row, 1)};
}

std::vector<PlayListRow> CDragDropListCtrl::Rows() const {
    std::vector<PlayListRow> rows;
    rows.reserve(size_t(RowCount()));
    for (int i = 0; i < RowCount(); ++i)
        rows.push_back(Row(i));
    return rows;
}

int CDragDropListCtrl::ItemData(int row) const {
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void CDragDropListCtrl::SetItemData(int row, int data) {
    if (QTreeWidgetItem *item = topLevelItem(row))
        item->setData(0, Qt::UserRole, data);
}

QList<int> CDragDropListCtrl::SelectedRows() const {
    QList<int> rows;
    for (int i = 0; i < RowCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows << i;
    return rows;
}

int CDragDropListCtrl::SelectedCount() const {
    return int(selectedItems().size());
}

void CDragDropListCtrl::SelectOnly(int row) {
    clearSelection();
    if (QTreeWidgetItem *item = topLevelItem(row)) {
        item->setSelected(true);
        setCurrentItem(item, 1, QItemSelectionModel::NoUpdate);
    }
}

bool CDragDropListCtrl::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (QTreeWidgetItem *item = itemAt(help->pos())) {
            const QString pictures = RowPictures(item->text(0), item->text(1));
            if (!pictures.isEmpty()) {
                QToolTip::showText(
                    help->globalPos(),
                    pictures + QStringLiteral("<br>") + item->text(1).toHtmlEscaped(), viewport());
                return true;
            }
        }
    }
    return QTreeWidget::viewportEvent(event);
}

// A movie row shows its own thumbnail; a list file's row the first few of its movies' that
// have one.
QString CDragDropListCtrl::RowPictures(const QString &column0, const QString &column1) const {
    auto image = [](const ThumbnailKey &key) {
        return QStringLiteral("<img src=\"%1\">").arg(key.path.toHtmlEscaped());
    };
    if (m_nPlayListKind != kListFileList) {
        const ThumbnailKey key = RowThumbnail(column0, column1);
        return ThumbnailUpToDate(key) ? image(key) : QString();
    }
    QStringList entries;
    if (!ListEntries(column0, entries))
        return {};
    QString strip;
    int shown = 0;
    // A hover costs a look at a few dozen entries at most, however long the list.
    entries = entries.mid(0, kListTipLooks);
    for (const QString &entry : std::as_const(entries)) {
        const ThumbnailKey key = RowThumbnail(column0, entry);
        if (!ThumbnailUpToDate(key))
            continue;
        strip += image(key);
        if (++shown == kListTipPictures)
            break;
    }
    return strip;
}

int CDragDropListCtrl::AppendRow(const QString &path, const QString &name) {
    const int index = RowCount();
    auto *item = new QTreeWidgetItem({path, name});
    item->setData(0, Qt::UserRole, index);
    item->setToolTip(1, name); // the info tip
    addTopLevelItem(item);
    return index;
}

int CDragDropListCtrl::AppendFileRow(const QString &path) {
    return AppendRow(path, FileNameOf(path));
}

int CDragDropListCtrl::InsertRow(int row, const QString &path, const QString &name, int data) {
    if (row < 0 || row > RowCount())
        row = RowCount();
    auto *item = new QTreeWidgetItem({path, name});
    item->setData(0, Qt::UserRole, data);
    item->setToolTip(1, name);
    insertTopLevelItem(row, item);
    return row;
}

void CDragDropListCtrl::RemoveRow(int row) {
    delete takeTopLevelItem(row);
}

QList<int> CDragDropListCtrl::RemoveSelectedRows() {
    const QList<int> rows = SelectedRows();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        RemoveRow(*it);
    SelectFollowing(rows);
    return rows;
}

void CDragDropListCtrl::SelectFollowing(const QList<int> &removed) {
    clearSelection();
    if (removed.isEmpty())
        return;
    const int next = removed.back() - int(removed.size()) + 1;
    if (next >= 0 && next < RowCount())
        SelectOnly(next);
}

void CDragDropListCtrl::RemoveAllRows() {
    clear();
}

void CDragDropListCtrl::EnsureRowVisible(int row) {
    if (QTreeWidgetItem *item = topLevelItem(row))
        scrollToItem(item);
}

void CDragDropListCtrl::RedrawRows() {
    viewport()->update();
}

bool CDragDropListCtrl::PlayRow(int row) {
    if (m_nPlayListKind != kMovieList || row < 0 || row >= RowCount())
        return false;
    SetCurrentPlayingItem(row);
    emit PlayRowRequested(row, RowText(row, 0), RowText(row, 1));
    return true;
}

void CDragDropListCtrl::SetCurrentPlayingItem(int row) {
    m_nCurrentPlayingItem = row;
    viewport()->update();
}

// The current movie is followed by its row object, not by the item data: after removals the
// item data no longer match the indices, and another row could be taken for it.
void CDragDropListCtrl::FollowCurrent(const QTreeWidgetItem *current) {
    if (!current)
        return;
    const int row = indexOfTopLevelItem(const_cast<QTreeWidgetItem *>(current));
    if (row < 0 || row == CurrentPlayingItem())
        return;
    SetCurrentPlayingItem(row);
    emit CurrentPlayingItemMoved(row);
}

void CDragDropListCtrl::SortByName() {
    m_bSortAscending = !m_bSortAscending;
    const QTreeWidgetItem *current =
        m_nPlayListKind == kMovieList ? topLevelItem(CurrentPlayingItem()) : nullptr;
    QList<QTreeWidgetItem *> items;
    while (topLevelItemCount() > 0)
        items << takeTopLevelItem(0);
    const bool ascending = m_bSortAscending;
    std::stable_sort(items.begin(), items.end(), [ascending](auto *a, auto *b) {
        const int c = a->text(1).toCaseFolded().compare(b->text(1).toCaseFolded());
        return ascending ? c < 0 : c > 0;
    });
    addTopLevelItems(items);
    for (int i = 0; i < RowCount(); ++i)
        SetItemData(i, i);
    FollowCurrent(current);
}

int CDragDropListCtrl::RowAt(const QPoint &viewportPos) const {
    QTreeWidgetItem *item = itemAt(viewportPos);
    return item ? indexOfTopLevelItem(item) : -1;
}

QMimeData *CDragDropListCtrl::CreateDragData() const {
    const std::optional<QByteArray> payload =
        BuildDragPayload(m_nPlayListKind, SelectedRows(), RowCount());
    if (!payload)
        return nullptr;
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(kDragRowsMimeType), *payload);
    return data;
}

void CDragDropListCtrl::StartDrag() {
    QMimeData *data = CreateDragData();
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    // The press that began the drag has been consumed by it.
    setState(NoState);
    const QWidget *main = window();
    FinishDrag(main && !main->frameGeometry().contains(QCursor::pos()));
}

void CDragDropListCtrl::FinishDrag(bool cursorOutsideMainWindow) {
    if (!cursorOutsideMainWindow)
        return;
    const QList<int> rows = SelectedRows();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        RemoveRow(*it);
}

bool CDragDropListCtrl::DropPayload(const DragPayload &payload, const CDragDropListCtrl *source,
                                    int row) {
    if (!source || payload.kind != source->m_nPlayListKind)
        return false;
    const int target = m_nPlayListKind;
    if (payload.kind == target) {
        if (source != this)
            return false;
        int at = row >= 0 && row < RowCount() ? row : RowCount();
        const QTreeWidgetItem *current =
            m_nPlayListKind == kMovieList ? topLevelItem(CurrentPlayingItem()) : nullptr;
        QList<QTreeWidgetItem *> moved;
        for (int r : payload.rows) {
            if (r < 0 || r >= RowCount())
                continue;
            moved << topLevelItem(r);
            if (r < at)
                --at;
        }
        if (moved.isEmpty())
            return false;
        for (QTreeWidgetItem *item : moved)
            takeTopLevelItem(indexOfTopLevelItem(item));
        clearSelection();
        // Each one goes before the one inserted last: a block arrives in reverse order.
        for (QTreeWidgetItem *item : moved) {
            item->setData(0, Qt::UserRole, at);
            insertTopLevelItem(at, item);
            item->setSelected(true);
        }
        FollowCurrent(current);
        return true;
    }
    if (payload.kind == kListFileList && target == kMovieList) {
        const QString info = QString::fromUtf16(kInfoEntryName);
        bool any = false;
        for (int r : payload.rows) {
            const QString listPath = source->RowText(r, 0);
            QStringList names;
            if (listPath.isEmpty() || !ListEntries(listPath, names))
                continue;
            for (const QString &name : names)
                if (name != info) {
                    AppendRow(listPath, name);
                    any = true;
                }
        }
        return any;
    }
    if (payload.kind == kMovieList && target == kListFileList) {
        if (row < 0 || row >= RowCount())
            return false;
        const QString listPath = RowText(row, 0);
        setFocus();
        SelectOnly(row);
        std::vector<PlayListRow> rows;
        for (int r : payload.rows)
            rows.push_back({source->RowText(r, 0), source->RowText(r, 1)});
        // A failure leaves the other movies to be tried.
        WaitCursor wait;
        PutRowsIntoListFile(rows, listPath);
        return true;
    }
    return false;
}

void CDragDropListCtrl::mousePressEvent(QMouseEvent *event) {
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton) {
        emit ContextMenuRequested(event->globalPosition().toPoint());
        return;
    }
    if (event->button() == Qt::LeftButton && RowAt(event->position().toPoint()) >= 0) {
        m_pressPending = true;
        m_dragTimer->start();
    }
}

void CDragDropListCtrl::mouseReleaseEvent(QMouseEvent *event) {
    // Released within the delay: a click.
    m_pressPending = false;
    m_dragTimer->stop();
    QTreeWidget::mouseReleaseEvent(event);
}

void CDragDropListCtrl::mouseMoveEvent(QMouseEvent *event) {
    // Dragging starts only after the delay; moving does not sweep a selection meanwhile.
    if (m_pressPending)
        return;
    QTreeWidget::mouseMoveEvent(event);
}

void CDragDropListCtrl::keyPressEvent(QKeyEvent *event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool movies = m_nPlayListKind == kMovieList;
    const int key = event->key();
    int id = 0;
    if (key == Qt::Key_Delete) {
        if (SelectedCount() > 0)
            id = shift ? (movies ? ID_DELETE_FILE : ID_DELETE_LIST_FILE)
                       : (movies ? ID_REMOVE_FROM_LIST : ID_REMOVE_LIST_FILE);
    } else if (key == Qt::Key_A && ctrl) {
        selectAll();
    } else if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) {
        // The lists pass on the accelerator table's Ctrl keys and F1 to F9, whatever the
        // other modifiers.
        id = CommandOfKey(QStringLiteral("Ctrl+") + QChar(key));
    } else if (key >= Qt::Key_F1 && key <= Qt::Key_F9) {
        id = CommandOfKey(QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1));
    }
    if (id)
        emit CommandRequested(id);
    if (event->key() == Qt::Key_A && ctrl)
        return; // done above
    QTreeWidget::keyPressEvent(event);
}

void CDragDropListCtrl::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasFormat(QString::fromLatin1(kDragRowsMimeType))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDragDropListCtrl::dragMoveEvent(QDragMoveEvent *event) {
    if (event->mimeData()->hasFormat(QString::fromLatin1(kDragRowsMimeType))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDragDropListCtrl::dropEvent(QDropEvent *event) {
    const auto payload =
        ParseDragPayload(event->mimeData()->data(QString::fromLatin1(kDragRowsMimeType)));
    // Indices only make sense for the views of this program's window.
    const auto *source = qobject_cast<const CDragDropListCtrl *>(event->source());
    if (!payload || !source) {
        event->ignore();
        return;
    }
    DropPayload(*payload, source, RowAt(event->position().toPoint()));
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CDragDropListCtrl::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const {
    if (m_nPlayListKind == kMovieList && !index.parent().isValid() &&
        index.row() == CurrentPlayingItem()) {
        QStyleOptionViewItem red = option;
        red.palette.setColor(QPalette::Text, QColor(0xFF, 0, 0));
        red.palette.setColor(QPalette::HighlightedText, QColor(0xFF, 0, 0));
        QTreeWidget::drawRow(painter, red, index);
        return;
    }
    QTreeWidget::drawRow(painter, option, index);
}

bool CDragDropListCtrl::FillWithListFile(CDragDropListCtrl &list, const QString &listPath) {
    QStringList names;
    if (!ListEntries(listPath, names))
        return false;
    list.RemoveAllRows();
    const QString info = QString::fromUtf16(kInfoEntryName);
    for (const QString &name : names)
        if (name != info)
            list.AppendRow(listPath, name);
    return true;
}

bool CDragDropListCtrl::OpenListFileRow(int row) {
    if (m_nPlayListKind != kListFileList || !m_pPartner || row < 0 || row >= RowCount())
        return false;
    // A list file that cannot be read leaves the play list as it was.
    if (FillWithListFile(*m_pPartner, RowText(row, 0)))
        return true;
    emit ListFileUnreadable(RowText(row, 0));
    return false;
}

void CDragDropListCtrl::mouseDoubleClickEvent(QMouseEvent *event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    QTreeWidgetItem *item = itemAt(event->position().toPoint());
    if (!item)
        return;
    const int row = indexOfTopLevelItem(item);
    if (m_nPlayListKind == kListFileList)
        OpenListFileRow(row);
    else
        PlayRow(row);
}

} // namespace kz
