#pragma once
// Movies and trees for the search tests.

#include "support/TestSupport.h"

#include <QByteArray>
#include <QString>

namespace kz::test {

// A playable uncompressed movie of exactly `bytes` bytes (at least 64), padded by a tag the
// header reader skips.
inline QByteArray MovieOfSize(qsizetype bytes) {
    SwfSpec spec;
    const qsizetype bare = BuildSwf(spec).size();
    SwfTag pad;
    pad.code = 77; // metadata
    pad.longHeader = true;
    pad.body = QByteArray(bytes - bare - 6, 'x');
    spec.tags = {pad};
    return BuildSwf(spec);
}

} // namespace kz::test
