#include "update/VersionCheck.h"

#include "platform/FdIo.h"
#include "platform/TextCodec.h"
#include "platform/http/HttpClient.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// The package's signature: exactly 64 bytes, else nothing.
QByteArray FetchSignature(HttpSession &session, const QUrl &signatureUrl) {
    std::unique_ptr<HttpConnection> connection = session.Open(signatureUrl);
    if (!connection || !IsSuccess(connection->Status()))
        return {};
    char buf[kSignatureBytes + 1];
    const std::int64_t n = HttpReadFull(*connection, buf, sizeof buf);
    connection->Close();
    return n == kSignatureBytes ? QByteArray(buf, kSignatureBytes) : QByteArray();
}

// Whether two files hold the same bytes (false when either cannot be read).
bool SameContents(const QByteArray &a, const QByteArray &b) {
    ScopedFd fa(::open(a.constData(), O_RDONLY | O_CLOEXEC));
    ScopedFd fb(::open(b.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sa {
    }, sb{};
    if (fa.get() < 0 || fb.get() < 0 || ::fstat(fa.get(), &sa) != 0 ||
        ::fstat(fb.get(), &sb) != 0 || sa.st_size != sb.st_size)
        return false;
    char ba[16 * 1024], bb[sizeof ba];
    for (off_t at = 0; at < sa.st_size;) {
        const ssize_t n = ::pread(fa.get(), ba, sizeof ba, at);
        if (n <= 0 || ::pread(fb.get(), bb, size_t(n), at) != n || std::memcmp(ba, bb, n) != 0)
            return false;
        at += n;
    }
    return true;
}

// Writes a small file beside others in the folder: a scratch file renamed over the name.
bool WriteBeside(const QByteArray &path, const QByteArray &folder, const QByteArray &bytes) {
    QByteArray scratch = folder + ".duvez.zip.XXXXXX";
    ScopedFd out(::mkostemp(scratch.data(), O_CLOEXEC));
    if (out.get() < 0)
        return false;
    const bool ok = WriteAll(out.get(), bytes.constData(), bytes.size()) &&
                    ::fchmod(out.get(), 0644) == 0 && ::fsync(out.get()) == 0 && out.Close() &&
                    ::rename(scratch.constData(), path.constData()) == 0;
    if (!ok)
        ::unlink(scratch.constData());
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

bool DownloadPackage(HttpSession &session, const QUrl &packageUrl, const QUrl &signatureUrl,
                     const QString &tempFolder, const QString &programDir, std::int64_t maxBytes) {
    if (tempFolder.isEmpty() || programDir.isEmpty() || !HasUpdateKey(programDir))
        return false;
    QString folder = programDir;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString waiting = folder + QLatin1String(kDownloadedPackageName);
    const QByteArray finalPath = QFile::encodeName(waiting);
    struct stat st {};
    if (::lstat(finalPath.constData(), &st) == 0)
        return false; // one waits already
    const QByteArray signature = FetchSignature(session, signatureUrl);
    if (signature.isEmpty())
        return false;

    std::unique_ptr<HttpConnection> connection = session.Open(packageUrl);
    if (!connection || !IsSuccess(connection->Status()))
        return false;
    if (connection->ContentLength() > maxBytes)
        return false;

    QString temp = tempFolder;
    if (!temp.endsWith(u'/'))
        temp += u'/';
    const QString tempPackage = temp + QLatin1String(kDownloadedPackageName);
    const QByteArray tempPath = QFile::encodeName(tempPackage);
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
    // Only what the key's owner signed comes into the program directory, and not the package
    // whose installation failed once.
    ok = ok && CheckPackage(folder, tempPackage, signature) == PackageCheck::Trusted &&
         !SameContents(tempPath, QFile::encodeName(waiting + QLatin1String(kSetAsideSuffix)));
    // The signature goes first: the package's arrival is what the next start looks for.
    const QByteArray signaturePath = finalPath + kSignatureSuffix;
    ok = ok && WriteBeside(signaturePath, QFile::encodeName(folder), signature);
    if (!ok || !MoveNoReplace(tempPath, finalPath, QFile::encodeName(folder))) {
        if (ok && ::lstat(finalPath.constData(), &st) != 0)
            ::unlink(signaturePath.constData());
        ::unlink(tempPath.constData());
        return false;
    }
    return true;
}

bool SiteReachable(HttpSession &session, const QUrl &siteRoot) {
    std::unique_ptr<HttpConnection> connection = session.Open(siteRoot);
    return connection != nullptr;
}

bool RunVersionCheck(const HttpSessionFactory &http, const QString &site, const QString &programDir,
                     const QString &tempFolder) {
    if (!ProgramDirTakesUpdates(programDir) || !HasUpdateKey(programDir))
        return false;
    std::unique_ptr<HttpSession> session = http ? http() : nullptr;
    if (!session)
        return false;
    if (CheckVersion(*session, SiteUrl(site, kVersionPath)) != VersionAnswer::Other)
        return false;
    std::unique_ptr<HttpSession> download = http();
    return download && DownloadPackage(*download, SiteUrl(site, kPackagePath),
                                       SiteUrl(site, kSignaturePath), tempFolder, programDir);
}

} // namespace kz
