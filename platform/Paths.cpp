#include "Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

QString FileNameOf(const QString &path) {
    const qsizetype at = path.lastIndexOf(kSep);
    return at < 0 ? path : path.mid(at + 1);
}

QString BaseNameOf(const QString &path) {
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.left(dot);
}

QString ExtensionOf(const QString &path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? QString() : path.mid(dot + 1).toLower();
}

QString FolderWithSep(const QString &path) {
    const qsizetype at = path.lastIndexOf(kSep);
    return at < 0 ? QString() : path.left(at + 1);
}

QString FolderWithoutSep(const QString &path) {
    const qsizetype at = path.lastIndexOf(kSep);
    return at < 0 ? QString() : path.left(at);
}

QString WithTrailingSep(const QString &folder) {
    if (folder.endsWith(kSep))
        return folder;
    return folder + kSep;
}

bool MakeSureDirectoryPathExists(const QString &path) {
    const QString folder = FolderWithoutSep(path);
    if (folder.isEmpty())
        return true;
    return QDir().mkpath(folder);
}

namespace {
QMutex gProgramDirMutex;
QString gProgramDirOverride;

QString ExecutableFolder() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return WithTrailingSep(QDir::currentPath());
    return FolderWithSep(QString::fromLocal8Bit(buf, n));
}
} // namespace

QString SetAsideDamaged(const QString &path) {
    constexpr int kMaxTries = 1000;
    const QString base = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        if (n > kMaxTries)
            return {};
        target = base + QStringLiteral("-%1").arg(n);
    }
    // A rename never replaces what it finds at the new name.
    return QDir().rename(path, target) ? target : QString();
}

QString ProgramDir() {
    {
        QMutexLocker lock(&gProgramDirMutex);
        if (!gProgramDirOverride.isEmpty())
            return gProgramDirOverride;
    }
    static const QString dir = ExecutableFolder();
    return dir;
}

void SetProgramDirOverride(const QString &dir) {
    QMutexLocker lock(&gProgramDirMutex);
    gProgramDirOverride = dir.isEmpty() ? QString() : WithTrailingSep(dir);
}

QString TempFolder() {
    QString base = qEnvironmentVariable("TMPDIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QStringLiteral("/tmp");
    const QString dir = WithTrailingSep(base) + QStringLiteral("KZPlayer-%1").arg(::getuid());
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    // Refuse anything another user could have planted: a link, a file, a foreign or open folder.
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return QString();
    if ((st.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return QString();
    return dir + kSep;
}

} // namespace kz
