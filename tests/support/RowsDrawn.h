#pragma once
// What a list view shows, read from its pixels: the rows whose text is drawn in red.

#include <QImage>
#include <QList>
#include <QTreeWidget>

namespace kz::test {

inline QList<int> RowsDrawnRed(QTreeWidget &list) {
    const QImage shot = list.viewport()->grab().toImage();
    QList<int> rows;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QRect r = list.visualItemRect(list.topLevelItem(row)).intersected(shot.rect());
        bool red = false;
        for (int y = r.top(); y <= r.bottom() && !red; ++y)
            for (int x = r.left(); x <= r.right() && !red; ++x) {
                const QColor c = shot.pixelColor(x, y);
                red = c.red() > 180 && c.green() < 80 && c.blue() < 80;
            }
        if (red)
            rows << row;
    }
    return rows;
}

} // namespace kz::test
