#include "platform/urlcache/UrlCache.h"

#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "platform/http/HttpClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>

#include <cstdio>
#include <mutex>
#include <vector>

namespace kz {

namespace {

// The folder's own files start with a dot; cached names never do, so the two cannot meet.
const QString kIndexName = QStringLiteral(".index");
const QString kDamagedIndexName = QStringLiteral(".index.damaged");
const QString kLockName = QStringLiteral(".index.lock");
const QString kPartialPrefix = QStringLiteral(".dl-");
const QByteArray kIndexMagic = "KZURLCACHE 1";

constexpr qint64 kMaxIndexBytes = 64 * 1024 * 1024;
constexpr int kMaxNameBytes = 200; // room for a "[n]" suffix below the 255-byte limit
constexpr int kMaxExtensionChars = 16;
constexpr int kMaxCollisionSuffix = 100000;
constexpr int kLockWaitMs = 10000;
constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kStalePartialSecs = 24 * 3600;

// Threads of this process take turns before the lock file settles it between processes.
std::mutex &ProcessIndexMutex() {
    static std::mutex mutex;
    return mutex;
}

struct IndexRecord {
    QByteArray key; // the address, fully encoded, without fragment
    QString name;   // the local file name inside the folder
    std::int64_t size = 0;
    qint64 fetchedMs = 0;
};

QByteArray KeyOf(const QUrl &url) {
    return url.adjusted(QUrl::RemoveFragment).toEncoded();
}

bool IsSafeLocalName(const QString &name) {
    if (name.isEmpty() || name.startsWith(u'.') || name.toUtf8().size() > 255)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

// Cuts text to at most maxBytes of UTF-8 without splitting a character.
QString CutUtf8(const QString &text, int maxBytes) {
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            len = 2;
        const int n = int(text.mid(i, len).toUtf8().size());
        if (bytes + n > maxBytes)
            break;
        out += text.mid(i, len);
        bytes += n;
        i += len - 1;
    }
    return out;
}

void SplitName(const QString &name, QString *stem, QString *extension) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot > kMaxExtensionChars + 1) {
        *stem = name;
        extension->clear();
    } else {
        *stem = name.left(dot);
        *extension = name.mid(dot);
    }
}

// The address's file name made safe to create inside the folder.
QString LocalNameFor(const QUrl &url) {
    QString name = url.fileName(QUrl::FullyDecoded);
    for (QChar &c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'_';
    }
    while (!name.isEmpty() && (name.front() == u'.' || name.front().isSpace()))
        name.remove(0, 1);
    while (!name.isEmpty() && name.back().isSpace())
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("download");
    if (name.toUtf8().size() > kMaxNameBytes) {
        QString stem, extension;
        SplitName(name, &stem, &extension);
        name = CutUtf8(stem, kMaxNameBytes - int(extension.toUtf8().size())) + extension;
    }
    return name;
}

enum class IndexState { Missing, Read, Damaged, Unreadable };

// A missing or damaged index reads as empty; damaged lines are passed over. Names that would
// reach outside the folder are refused, so a planted index cannot point at other files.
QList<IndexRecord> ReadIndex(const QString &folder, IndexState *state = nullptr) {
    IndexState dummy;
    IndexState &outcome = state ? *state : dummy;
    QList<IndexRecord> records;
    QFile file(folder + kIndexName);
    if (!file.exists()) {
        outcome = IndexState::Missing;
        return records;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        outcome = IndexState::Unreadable;
        return records;
    }
    outcome = IndexState::Damaged;
    if (file.size() > kMaxIndexBytes)
        return records;
    const QByteArray data = file.read(kMaxIndexBytes);
    if (file.error() != QFileDevice::NoError) {
        outcome = IndexState::Unreadable;
        return records;
    }
    const QList<QByteArray> lines = data.split('\n');
    if (lines.isEmpty() || lines.front() != kIndexMagic)
        return records;
    outcome = IndexState::Read;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 4)
            continue;
        IndexRecord record;
        bool okTime = false, okSize = false;
        record.fetchedMs = fields[0].toLongLong(&okTime);
        record.size = fields[1].toLongLong(&okSize);
        record.name = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
        const QUrl url = QUrl::fromEncoded(fields[3], QUrl::StrictMode);
        if (!okTime || !okSize || record.size < 0 || !IsSafeLocalName(record.name) ||
            !url.isValid() || url.isEmpty())
            continue;
        record.key = KeyOf(url);
        records.append(record);
    }
    return records;
}

bool WriteIndex(const QString &folder, const QList<IndexRecord> &records) {
    QByteArray data = kIndexMagic + '\n';
    for (const IndexRecord &r : records) {
        data += QByteArray::number(r.fetchedMs) + '\t' + QByteArray::number(r.size) + '\t' +
                r.name.toUtf8().toPercentEncoding() + '\t' + r.key + '\n';
    }
    // Written beside the index and renamed over it: readers never see half an index.
    QSaveFile file(folder + kIndexName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Every address the user played: for the user alone.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

UrlCacheEntry ToEntry(const QString &folder, const IndexRecord &record) {
    UrlCacheEntry entry;
    entry.url = QUrl::fromEncoded(record.key, QUrl::StrictMode);
    entry.localFile = folder + record.name;
    entry.size = record.size;
    entry.fetched = QDateTime::fromMSecsSinceEpoch(record.fetchedMs, Qt::UTC);
    return entry;
}

// Partial downloads left by a process that died long ago.
void RemoveStalePartials(const QString &folder) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QFileInfoList partials =
        QDir(folder).entryInfoList({kPartialPrefix + u'*'}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &info : partials) {
        if (info.lastModified().secsTo(now) > kStalePartialSecs)
            QFile::remove(info.absoluteFilePath());
    }
}

// The addresses held in this process (a key once per hold).
std::mutex &HeldMutex() {
    static std::mutex mutex;
    return mutex;
}
QList<QByteArray> &HeldKeys() {
    static QList<QByteArray> keys;
    return keys;
}

bool KeyHeld(const QByteArray &key) {
    std::lock_guard lock(HeldMutex());
    return HeldKeys().contains(key);
}

// Drops the oldest records (the index keeps them oldest first) and their files until the files
// left fit the quota. The record at `keep` and held ones stay. A record whose file is gone
// counts for nothing.
void Evict(const QString &folder, QList<IndexRecord> &records, qsizetype keep, std::int64_t quota) {
    std::vector<std::int64_t> sizes(std::size_t(records.size()), 0);
    std::int64_t total = 0;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QFileInfo file(folder + records[i].name);
        sizes[std::size_t(i)] = file.isFile() ? file.size() : 0;
        total += sizes[std::size_t(i)];
    }
    QList<IndexRecord> kept;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const bool evict = total > quota && i != keep && sizes[std::size_t(i)] > 0 &&
                           !KeyHeld(records[i].key) && QFile::remove(folder + records[i].name);
        if (evict)
            total -= sizes[std::size_t(i)];
        else
            kept.append(records[i]);
    }
    records = kept;
}

// The index lock of the folder, across threads and processes.
class IndexLock {
public:
    explicit IndexLock(const QString &folder)
        : m_guard(ProcessIndexMutex()), m_file(folder + kLockName) {
        m_locked = m_file.tryLock(kLockWaitMs);
    }
    bool Locked() const { return m_locked; }

private:
    std::lock_guard<std::mutex> m_guard;
    QLockFile m_file;
    bool m_locked = false;
};

} // namespace

UrlCache::Hold::Hold(const QUrl &url) : m_key(KeyOf(url)) {
    std::lock_guard lock(HeldMutex());
    HeldKeys().append(m_key);
}

UrlCache::Hold::~Hold() {
    std::lock_guard lock(HeldMutex());
    HeldKeys().removeOne(m_key);
}

bool UrlCache::IsHeld(const QUrl &url) {
    return KeyHeld(KeyOf(url));
}

QString UrlCache::DefaultFolder() {
    return WithTrailingSep(CacheHome()) + QStringLiteral("KZPlayer/urlcache/");
}

UrlCache::UrlCache(QString folder) : m_folder(WithTrailingSep(folder)) {}

std::optional<UrlCacheEntry> UrlCache::Download(const QUrl &url, HttpSession &session,
                                                const Progress &progress, std::int64_t maxBytes) {
    if (!url.isValid() || url.isEmpty() || maxBytes < 0 || !QDir().mkpath(m_folder))
        return std::nullopt;
    // The cache tells which addresses the user played: the folder is the user's alone (also
    // one an older version made open to all).
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    std::unique_ptr<HttpConnection> connection = session.Open(url);
    if (!connection || connection->Status() < 200 || connection->Status() > 299)
        return std::nullopt;
    const std::int64_t total = connection->ContentLength();
    if (total > maxBytes)
        return std::nullopt;

    // The body streams into a hidden partial file that removes itself unless it is renamed.
    QTemporaryFile partial(m_folder + kPartialPrefix + QStringLiteral("XXXXXX"));
    if (!partial.open())
        return std::nullopt;
    if (progress && !progress(0, total))
        return std::nullopt;
    std::int64_t received = 0;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const std::int64_t n = connection->Read(chunk.data(), kChunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        received += n;
        if (received > maxBytes)
            return std::nullopt;
        if (partial.write(chunk.constData(), n) != n)
            return std::nullopt;
        if (progress && !progress(received, total))
            return std::nullopt;
    }
    if (total >= 0 && received != total)
        return std::nullopt;
    const QUrl finalUrl = connection->FinalUrl();
    connection.reset();
    if (!partial.flush())
        return std::nullopt;

    IndexLock lock(m_folder);
    if (!lock.Locked())
        return std::nullopt;
    RemoveStalePartials(m_folder);

    IndexState state;
    QList<IndexRecord> records = ReadIndex(m_folder, &state);
    if (state == IndexState::Unreadable)
        return std::nullopt; // rewriting it would drop entries we merely failed to read
    if (state == IndexState::Damaged) {
        // Starts afresh, but the damaged index is kept aside for a look by hand.
        QFile::remove(m_folder + kDamagedIndexName);
        QFile::rename(m_folder + kIndexName, m_folder + kDamagedIndexName);
    }
    const QByteArray key = KeyOf(url);
    QString name;
    qsizetype oldIndex = -1;
    QSet<QString> taken;
    for (qsizetype i = 0; i < records.size(); ++i) {
        taken.insert(records[i].name);
        if (records[i].key == key) {
            oldIndex = i;
            name = records[i].name; // the address keeps its local name
        }
    }
    const bool newName = name.isEmpty();
    if (newName) {
        // The name the body arrived under, else the one asked for.
        QString wanted = LocalNameFor(finalUrl.isValid() ? finalUrl : url);
        QString stem, extension;
        SplitName(wanted, &stem, &extension);
        name = wanted;
        for (int n = 1; taken.contains(name) || QFileInfo::exists(m_folder + name); ++n) {
            if (n > kMaxCollisionSuffix)
                return std::nullopt;
            name = stem + u'[' + QString::number(n) + u']' + extension;
        }
    }

    // rename(2) replaces an older copy in one step; QFile::rename would refuse to.
    const QString target = m_folder + name;
    if (std::rename(QFile::encodeName(partial.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0)
        return std::nullopt;
    partial.setAutoRemove(false);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

    IndexRecord record;
    record.key = key;
    record.name = name;
    record.size = received;
    record.fetchedMs = QDateTime::currentMSecsSinceEpoch();
    if (oldIndex >= 0)
        records.removeAt(oldIndex);
    records.append(record);
    Evict(m_folder, records, records.size() - 1, m_quota);
    if (!WriteIndex(m_folder, records)) {
        if (newName)
            QFile::remove(target); // no file the index does not know of
        return std::nullopt;
    }
    return ToEntry(m_folder, record);
}

std::optional<UrlCacheEntry> UrlCache::Lookup(const QUrl &url) const {
    const QByteArray key = KeyOf(url);
    const QList<IndexRecord> records = ReadIndex(m_folder);
    for (const IndexRecord &record : records) {
        if (record.key == key)
            return ToEntry(m_folder, record);
    }
    return std::nullopt;
}

QList<UrlCacheEntry> UrlCache::Entries() const {
    QList<UrlCacheEntry> entries;
    for (const IndexRecord &record : ReadIndex(m_folder))
        entries.append(ToEntry(m_folder, record));
    return entries;
}

bool UrlCache::DeleteEntryFile(const UrlCacheEntry &entry) {
    // Only plain files of this folder, whatever the caller hands in.
    if (FolderWithSep(entry.localFile) != m_folder || !IsSafeLocalName(FileNameOf(entry.localFile)))
        return false;
    return QFile::remove(entry.localFile);
}

bool UrlCache::VisitEntries(const std::function<bool(const UrlCacheEntry &)> &visit) const {
    if (!QFileInfo::exists(m_folder + kIndexName))
        return true; // nothing downloaded yet (maybe not even the folder, where the lock lives)
    IndexLock lock(m_folder);
    if (!lock.Locked())
        return false;
    for (const IndexRecord &record : ReadIndex(m_folder)) {
        if (!visit(ToEntry(m_folder, record)))
            break;
    }
    return true;
}

int UrlCache::DeleteEntryFiles(const std::function<bool(const UrlCacheEntry &)> &which) {
    if (!QFileInfo::exists(m_folder + kIndexName))
        return 0;
    IndexLock lock(m_folder);
    if (!lock.Locked())
        return -1;
    int deleted = 0;
    for (const IndexRecord &record : ReadIndex(m_folder)) {
        const UrlCacheEntry entry = ToEntry(m_folder, record);
        // The index refuses names that leave the folder; remove() takes a link, not its target.
        if (which(entry) && QFile::remove(entry.localFile))
            ++deleted;
    }
    return deleted;
}

} // namespace kz
