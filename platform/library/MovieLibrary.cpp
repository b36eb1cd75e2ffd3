#include "MovieLibrary.h"

#include "platform/Paths.h"
#include "platform/UserDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>

namespace kz {

namespace {

constexpr int kSchemaVersion = 1;
// Another program's transaction is waited for this long before the database counts as locked.
constexpr const char *kConnectOptions = "QSQLITE_BUSY_TIMEOUT=300";
constexpr double kSpeedTolerance = 1e-6;

constexpr const char *kQualityNames[] = {"low", "medium", "high", "best"};

// SQLite's primary result codes that decide what an opening failure means.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADb = 26;

enum class Check { Ok, Damaged, Locked, Newer, Failed };

Check FromError(const QSqlError &error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return Check::Failed;
    switch (code) {
    case kSqliteBusy:
    case kSqliteLocked:
        return Check::Locked;
    case kSqliteCorrupt:
    case kSqliteNotADb:
        return Check::Damaged;
    default:
        return Check::Failed;
    }
}

// The offered speed `speed` stands for, if any.
std::optional<double> OfferedSpeed(double speed) {
    for (const double s : kMovieSpeeds) {
        if (std::fabs(speed - s) <= kSpeedTolerance)
            return s;
    }
    return std::nullopt;
}

// A stored row's settings: a field holding anything the player does not offer is its default.
MovieSettings FromStored(const QVariant &speed, const QVariant &quality) {
    MovieSettings settings;
    if (speed.typeId() == QMetaType::Double || speed.typeId() == QMetaType::LongLong) {
        if (const auto s = OfferedSpeed(speed.toDouble()))
            settings.speed = *s;
    }
    if (quality.typeId() == QMetaType::QString) {
        if (const auto q = QualityFromName(quality.toString()))
            settings.quality = *q;
    }
    return settings;
}

QString NewConnectionName() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("kz.library.%1").arg(counter.fetch_add(1));
}

} // namespace

QString QualityName(MovieQuality quality) {
    const auto i = static_cast<std::size_t>(quality);
    return i < std::size(kQualityNames) ? QString::fromLatin1(kQualityNames[i]) : QString();
}

std::optional<MovieQuality> QualityFromName(const QString &name) {
    for (std::size_t i = 0; i < std::size(kQualityNames); ++i) {
        if (name == QLatin1String(kQualityNames[i]))
            return static_cast<MovieQuality>(i);
    }
    return std::nullopt;
}

bool IsOfferedSpeed(double speed) {
    return OfferedSpeed(speed).has_value();
}

struct MovieLibrary::Impl {
    QString path;
    QString connection;
    State state = State::Unusable;
    QString setAsidePath;
    bool registered = false;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }

    ~Impl() {
        if (!registered)
            return;
        {
            QSqlDatabase db = Db();
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    void Start();
    Check OpenAndCheck();
    Check CheckSchema(QSqlDatabase &db);
    bool SetAside();
    // Deletes the movie's row: how many went, -1 on an error.
    int Remove(const QString &identity);
};

int MovieLibrary::Impl::Remove(const QString &identity) {
    QSqlQuery q(Db());
    q.prepare(QStringLiteral("DELETE FROM movies WHERE identity = ?"));
    q.addBindValue(identity);
    return q.exec() ? q.numRowsAffected() : -1;
}

void MovieLibrary::Impl::Start() {
    if (path.isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return;
    const QFileInfo info(path);
    if (info.isDir())
        return;
    // The folder holds what the user played: it is the user's alone.
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return;
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        registered = true;
        db.setDatabaseName(path);
        db.setConnectOptions(QString::fromLatin1(kConnectOptions));
    }
    switch (OpenAndCheck()) {
    case Check::Ok:
        state = State::Open;
        return;
    case Check::Locked:
        state = State::Locked;
        return;
    case Check::Newer:
        state = State::Newer;
        return;
    case Check::Failed:
        state = State::Unusable;
        return;
    case Check::Damaged:
        break;
    }
    if (!SetAside())
        return;
    state = OpenAndCheck() == Check::Ok ? State::SetAside : State::Unusable;
}

Check MovieLibrary::Impl::OpenAndCheck() {
    // Made here, empty (an empty file is an empty database), so it is never readable by others.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return Check::Failed;
    QSqlDatabase db = Db();
    if (!db.open())
        return FromError(db.lastError()) == Check::Locked ? Check::Locked : Check::Failed;
    const Check check = CheckSchema(db);
    if (check != Check::Ok)
        db.close();
    return check;
}

Check MovieLibrary::Impl::CheckSchema(QSqlDatabase &db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return FromError(q.lastError());
    const qint64 version = q.value(0).toLongLong();
    if (version > kSchemaVersion)
        return Check::Newer;
    if (version < 0)
        return Check::Damaged;
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        return FromError(q.lastError());
    if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
        return Check::Damaged;
    q.finish();

    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
        return FromError(q.lastError());
    const qint64 objects = q.value(0).toLongLong();
    q.finish();
    if (version == 0) {
        // Anything but an empty file was written by something else.
        if (objects != 0)
            return Check::Damaged;
        if (!db.transaction())
            return FromError(db.lastError());
        // Another player starting at the same moment may have made it meanwhile.
        const bool made =
            q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS movies (identity TEXT PRIMARY KEY "
                                  "NOT NULL, speed REAL NOT NULL, quality TEXT NOT NULL)")) &&
            q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
        const QSqlError error = q.lastError();
        if (!made || !db.commit()) {
            db.rollback();
            return made ? FromError(db.lastError()) : FromError(error);
        }
        return Check::Ok;
    }
    // Ours: the table must have the shape it was made with.
    if (!q.exec(QStringLiteral("PRAGMA table_info(movies)")))
        return FromError(q.lastError());
    QStringList columns;
    int keyColumn = -1;
    while (q.next()) {
        columns << q.value(1).toString();
        if (q.value(5).toInt() == 1)
            keyColumn = int(columns.size()) - 1;
    }
    const QStringList want{QStringLiteral("identity"), QStringLiteral("speed"),
                           QStringLiteral("quality")};
    return columns == want && keyColumn == 0 ? Check::Ok : Check::Damaged;
}

bool MovieLibrary::Impl::SetAside() {
    const QString target = SetAsideDamaged(path);
    if (target.isEmpty())
        return false;
    setAsidePath = target;
    // A journal left beside the damaged file belongs to it, not to the new database.
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QString side = path + QLatin1String(suffix);
        if (QFileInfo::exists(side))
            QFile::rename(side, target + QLatin1String(suffix));
    }
    return true;
}

MovieLibrary::MovieLibrary(const QString &path) : m_impl(std::make_unique<Impl>()) {
    m_impl->path = path;
    m_impl->connection = NewConnectionName();
    m_impl->Start();
}

MovieLibrary::~MovieLibrary() = default;

QString MovieLibrary::DefaultPath() {
    return UserDataDir() + QStringLiteral("library.db");
}

MovieLibrary::State MovieLibrary::GetState() const {
    return m_impl->state;
}

bool MovieLibrary::IsOpen() const {
    return m_impl->state == State::Open || m_impl->state == State::SetAside;
}

QString MovieLibrary::Path() const {
    return m_impl->path;
}

QString MovieLibrary::SetAsidePath() const {
    return m_impl->setAsidePath;
}

MovieSettings MovieLibrary::Get(const QString &identity) const {
    if (!IsOpen() || identity.isEmpty())
        return {};
    QSqlQuery q(m_impl->Db());
    q.prepare(QStringLiteral("SELECT speed, quality FROM movies WHERE identity = ?"));
    q.addBindValue(identity);
    if (!q.exec() || !q.next())
        return {};
    return FromStored(q.value(0), q.value(1));
}

bool MovieLibrary::Set(const QString &identity, const MovieSettings &settings) {
    const auto speed = OfferedSpeed(settings.speed);
    const QString quality = QualityName(settings.quality);
    if (!IsOpen() || identity.isEmpty() || !speed || quality.isEmpty())
        return false;
    const MovieSettings stored{*speed, settings.quality};
    if (stored.IsDefault())
        return m_impl->Remove(identity) >= 0;
    QSqlQuery q(m_impl->Db());
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO movies (identity, speed, quality) VALUES (?, ?, ?)"));
    q.addBindValue(identity);
    q.addBindValue(stored.speed);
    q.addBindValue(quality);
    return q.exec();
}

bool MovieLibrary::Forget(const QString &identity) {
    return IsOpen() && !identity.isEmpty() && m_impl->Remove(identity) > 0;
}

QList<LibraryRow> MovieLibrary::All() const {
    QList<LibraryRow> rows;
    if (!IsOpen())
        return rows;
    QSqlQuery q(m_impl->Db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT identity, speed, quality FROM movies")))
        return rows;
    while (q.next()) {
        const QString identity = q.value(0).toString();
        if (!identity.isEmpty())
            rows.append({identity, FromStored(q.value(1), q.value(2))});
    }
    std::sort(rows.begin(), rows.end(),
              [](const LibraryRow &a, const LibraryRow &b) { return a.identity < b.identity; });
    return rows;
}

} // namespace kz
