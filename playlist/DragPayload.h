#pragma once
// The payload of a drag between the play-list views: 32-bit little-endian integers, the source
// view's kind, the indices of the dragged rows in ascending order, then the end marker 61166.
// There is no count: the marker ends the list, so no index may equal or pass it.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace kz {

inline constexpr quint32 kDragEndMarker = 61166; // 0xEEEE
// The private format the payload travels under.
inline constexpr char kDragRowsMimeType[] = "application/x-kzplayer-list-rows";

struct DragPayload {
    int kind = 0;
    QList<int> rows; // ascending
};

// Null when the rows cannot be told apart from the marker: a list of 61166 rows or more, an
// index out of that range, or no rows at all. The rows are sorted first.
std::optional<QByteArray> BuildDragPayload(int kind, QList<int> rows, int rowCount);
// Null for bytes that are not a payload: too short, not whole integers, no end marker where the
// rows end, indices not ascending, or bytes after the marker.
std::optional<DragPayload> ParseDragPayload(const QByteArray &bytes);

} // namespace kz
