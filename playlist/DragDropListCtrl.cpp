#include "DragDropListCtrl.h"

#include "platform/Paths.h"
#include "playlist/ListFile.h"
#include "res/StringTable.h"

#include <QHeaderView>
#include <QMouseEvent>

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
    setStyleSheet(QStringLiteral("QTreeView::item { border-bottom: 1px solid #d8d8d8; "
                                 "border-right: 1px solid #d8d8d8; }"));
    setColumnCount(2);
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

void CDragDropListCtrl::RemoveRow(int row) {
    delete takeTopLevelItem(row);
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
    emit PlayRowRequested(row, RowText(row, 0), RowText(row, 1));
    return true;
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
    return FillWithListFile(*m_pPartner, RowText(row, 0));
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
