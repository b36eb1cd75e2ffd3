// The search box's history file: read whatever "slist.data" holds, and what is read must
// write back to the same entries (as many as are kept, each as long as the reader takes).

#include "FuzzSupport.h"
#include "netsearch/SearchHistory.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList entries = kz::ParseHistory(bytes);
    for (const QString &e : entries)
        if (e.isEmpty() || e.size() * 2 > bytes.size())
            std::abort();

    QStringList kept;
    for (const QString &e : entries.mid(0, kz::kHistoryMaxEntries)) {
        QString cut = e.left(kz::kHistoryMaxUnits);
        if (cut.size() == kz::kHistoryMaxUnits && cut.back().isHighSurrogate())
            cut.chop(1);
        if (!cut.isEmpty())
            kept << cut;
    }
    const QByteArray again = kz::FormatHistory(entries);
    if (kz::ParseHistory(again) != kept)
        std::abort();

    // The file reader: at most what 40 full entries take, each entry at least one code unit and
    // its separator.
    const QString path = kz::fuzz::WriteInput(data, size, "slist.data");
    if (path.isEmpty())
        std::abort();
    const QStringList loaded = kz::LoadHistory(path);
    if (loaded.size() * 3 > kz::kHistoryMaxEntries * (kz::kHistoryMaxUnits * 2 + 1))
        std::abort();
    // A search on top keeps it first, once.
    const QStringList updated = kz::WithSearch(loaded, QStringLiteral("flash"));
    if (updated.value(0) != QLatin1String("flash") || updated.count(QStringLiteral("flash")) != 1)
        std::abort();
    return 0;
}
