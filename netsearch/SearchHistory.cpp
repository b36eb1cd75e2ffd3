#include "SearchHistory.h"

#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "playlist/PlayListState.h"

#include <QFile>
#include <QSaveFile>

namespace kz {

namespace {
// 40 entries of 255 code units with their separators.
constexpr qint64 kMaxFileBytes = qint64(kHistoryMaxEntries) * (kHistoryMaxUnits * 2 + 1);
} // namespace

QString HistoryPath() {
    return UserDataDir() + QString::fromUtf16(kSearchHistoryName);
}

QStringList ParseHistory(const QByteArray &bytes) {
    QStringList entries;
    QString entry;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto low = static_cast<unsigned char>(bytes.at(i));
        if ((i - start) % 2 == 0 && low == 0xFF) {
            if (!entry.isEmpty())
                entries << entry;
            entry.clear();
            start = ++i;
            continue;
        }
        if (i + 1 >= bytes.size())
            break; // half a code unit without its separator: not an entry
        const auto high = static_cast<unsigned char>(bytes.at(i + 1));
        entry += QChar(char16_t(low | (high << 8)));
        i += 2;
    }
    return entries;
}

QByteArray FormatHistory(const QStringList &entries) {
    QByteArray out;
    for (qsizetype n = 0; n < entries.size() && n < kHistoryMaxEntries; ++n) {
        QString entry = entries.at(n).left(kHistoryMaxUnits);
        if (entry.size() == kHistoryMaxUnits && entry.back().isHighSurrogate())
            entry.chop(1);
        for (const QChar c : entry) {
            out += char(c.unicode() & 0xFF);
            out += char(c.unicode() >> 8);
        }
        out += char(0xFF);
    }
    return out;
}

QStringList LoadHistory(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A longer file is read as far as the entries it can hold.
    return ParseHistory(file.read(kMaxFileBytes));
}

bool SaveHistory(const QString &path, const QStringList &entries) {
    if (!MakeSureDirectoryPathExists(path))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // What the user searched for: for the user alone.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(FormatHistory(entries));
    return file.commit();
}

QStringList WithSearch(QStringList entries, const QString &words) {
    // A file written elsewhere may hold the words more than once: every copy goes.
    entries.removeAll(words);
    entries.prepend(words);
    return entries;
}

} // namespace kz
