#include "update/VersionCheck.h"

#include "platform/FdIo.h"
#include "platform/TextCodec.h"
#include "platform/http/HttpClient.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

namespace {

bool IsSuccess(int status) {
    return status >= 200 && status <= 299;
}

class ScopedFd {
public:
    explicit ScopedFd(int fd) : m_fd(fd) {}
    ~ScopedFd() { Close(); }
    ScopedFd(const ScopedFd &) = delete;
    ScopedFd &operator=(const ScopedFd &) = delete;
    int get() const { return m_fd; }
    bool Close() {
        const bool ok = m_fd < 0 || ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd;
};

// Moves a finished download into place without replacing a package that waits there already;
// across file systems through a copy beside the destination.
bool MoveNoReplace(const QByteArray &from, const QByteArray &to, const QByteArray &toFolder) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV && errno != EINVAL)
        return false;
    ScopedFd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return false;
    QByteArray scratch = toFolder + ".duvez.zip.XXXXXX";
    ScopedFd out(::mkostemp(scratch.data(), O_CLOEXEC));
    if (out.get() < 0)
        return false;
    char buf[64 * 1024];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAll(out.get(), buf, n)) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fchmod(out.get(), 0644) == 0 && ::fsync(out.get()) == 0 && out.Close();
    // link() refuses an existing name, so a package that arrived meanwhile stays.
    ok = ok && ::link(scratch.constData(), to.constData()) == 0;
    ::unlink(scratch.constData());
    if (ok)
        ::unlink(from.constData());
    return ok;
}

} // namespace

QUrl SiteUrl(const QString &site, const char *path) {
    QString base = site;
    while (base.endsWith(u'/'))
        base.chop(1);
    return QUrl(base + QLatin1String(path));
}

bool AnnouncesOtherVersion(const QByteArray &firstBytes) {
    // The text ends at its first zero, as a C string would.
    const qsizetype zero = firstBytes.indexOf('\0');
    QString text = FromGbk(zero < 0 ? firstBytes : firstBytes.left(zero));
    if (text.isEmpty() || !text.contains(QLatin1String(kVersionPrefix)))
        return false;
    // A line break or blanks the server adds after the same version change nothing.
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text != QLatin1String(kVersionMarker);
}

VersionAnswer CheckVersion(HttpSession &session, const QUrl &versionUrl) {
    std::unique_ptr<HttpConnection> connection = session.Open(versionUrl);
    if (!connection || !IsSuccess(connection->Status()))
        return VersionAnswer::NoAnswer;
    char buf[128] = {};
    const std::int64_t n = HttpReadFull(*connection, buf, kVersionReadBytes);
    connection->Close();
    if (n <= 0)
        return VersionAnswer::NoAnswer;
    return AnnouncesOtherVersion(QByteArray(buf, qsizetype(n))) ? VersionAnswer::Other
                                                                : VersionAnswer::Same;
}

bool DownloadPackage(HttpSession &session, const QUrl &packageUrl, const QString &tempFolder,
                     const QString &programDir, std::int64_t maxBytes) {
    if (tempFolder.isEmpty() || programDir.isEmpty())
        return false;
    std::unique_ptr<HttpConnection> connection = session.Open(packageUrl);
    if (!connection || !IsSuccess(connection->Status()))
        return false;
    if (connection->ContentLength() > maxBytes)
        return false;

    QString folder = programDir;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    QString temp = tempFolder;
    if (!temp.endsWith(u'/'))
        temp += u'/';
    const QByteArray tempPath = QFile::encodeName(temp + QLatin1String(kDownloadedPackageName));
    const QByteArray finalPath = QFile::encodeName(folder + QLatin1String(kDownloadedPackageName));
    ScopedFd out(
        ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return false;

    bool ok = true;
    std::int64_t total = 0;
    char chunk[kDownloadChunkBytes];
    for (;;) {
        const std::int64_t n = connection->Read(chunk, sizeof chunk);
        if (n == 0)
            break;
        total += n;
        if (n < 0 || total > maxBytes || !WriteAll(out.get(), chunk, n)) {
            ok = false;
            break;
        }
    }
    connection->Close();
    // A body shorter than the server declared is a broken download too.
    if (ok && connection->ContentLength() >= 0 && total != connection->ContentLength())
        ok = false;
    ok = out.Close() && ok;
    if (!ok || !MoveNoReplace(tempPath, finalPath, QFile::encodeName(folder))) {
        ::unlink(tempPath.constData());
        return false;
    }
    return true;
}

bool ProgramDirTakesUpdates(const QString &programDir) {
    const QByteArray dir = QFile::encodeName(programDir);
    if (dir.isEmpty() || ::access(dir.constData(), W_OK) != 0)
        return false;
    // The superuser may write anywhere; a folder nobody may write is read-only all the same.
    struct stat folder {};
    if (::stat(dir.constData(), &folder) != 0 || (folder.st_mode & 0222) == 0)
        return false;
    QString marker = programDir;
    if (!marker.endsWith(u'/'))
        marker += u'/';
    struct stat st {};
    return ::lstat(QFile::encodeName(marker + QLatin1String(kPackagedMarker)).constData(), &st) !=
           0;
}

bool SiteReachable(HttpSession &session, const QUrl &siteRoot) {
    std::unique_ptr<HttpConnection> connection = session.Open(siteRoot);
    return connection != nullptr;
}

bool RunVersionCheck(const HttpSessionFactory &http, const QString &site, const QString &programDir,
                     const QString &tempFolder) {
    if (!ProgramDirTakesUpdates(programDir))
        return false;
    std::unique_ptr<HttpSession> session = http ? http() : nullptr;
    if (!session)
        return false;
    if (CheckVersion(*session, SiteUrl(site, kVersionPath)) != VersionAnswer::Other)
        return false;
    std::unique_ptr<HttpSession> download = http();
    return download &&
           DownloadPackage(*download, SiteUrl(site, kPackagePath), tempFolder, programDir);
}

} // namespace kz
