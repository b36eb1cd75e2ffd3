#include "DragPayload.h"

#include <QtEndian>

#include <algorithm>

namespace kz {

namespace {

void Put(QByteArray &out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

} // namespace

std::optional<QByteArray> BuildDragPayload(int kind, QList<int> rows, int rowCount) {
    if (rows.isEmpty() || rowCount < 0 || quint32(rowCount) >= kDragEndMarker)
        return std::nullopt;
    std::sort(rows.begin(), rows.end());
    if (rows.front() < 0 || rows.back() >= rowCount)
        return std::nullopt;
    QByteArray out;
    out.reserve(4 * rows.size() + 8);
    Put(out, quint32(kind));
    for (int row : rows)
        Put(out, quint32(row));
    Put(out, kDragEndMarker);
    return out;
}

std::optional<DragPayload> ParseDragPayload(const QByteArray &bytes) {
    if (bytes.size() < 8 || bytes.size() % 4 != 0)
        return std::nullopt;
    const int count = int(bytes.size() / 4);
    auto at = [&](int i) { return qFromLittleEndian<quint32>(bytes.constData() + 4 * i); };
    if (at(count - 1) != kDragEndMarker)
        return std::nullopt;
    DragPayload payload;
    payload.kind = int(at(0));
    for (int i = 1; i < count - 1; ++i) {
        const quint32 row = at(i);
        if (row >= kDragEndMarker)
            return std::nullopt;
        if (!payload.rows.isEmpty() && int(row) <= payload.rows.back())
            return std::nullopt;
        payload.rows << int(row);
    }
    return payload;
}

} // namespace kz
