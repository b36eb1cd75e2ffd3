#include "updater/PackageInstall.h"

#include "platform/FdIo.h"
#include "platform/storage/CompoundFile.h"
#include "update/PackageTrust.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

namespace {

// A file descriptor closed with its scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

enum class CopyResult { Done, ReadFailed, WriteFailed };

// Copies a stream into an open file in chunks; a short stream or a failed read is the
// element's fault, a failed write the target's.
CopyResult CopyStream(StreamReader &reader, int fd) {
    std::unique_ptr<char[]> buf(new char[kCopyChunkBytes]);
    std::uint64_t done = 0;
    while (done < reader.Size()) {
        const std::int64_t n = reader.Read(buf.get(), kCopyChunkBytes);
        if (n <= 0)
            return CopyResult::ReadFailed;
        if (!WriteAll(fd, buf.get(), n))
            return CopyResult::WriteFailed;
        done += std::uint64_t(n);
    }
    return CopyResult::Done;
}

// The stream of the same name inside a storage element: the layout of groups and of files.
std::unique_ptr<StreamReader> OpenInnerStream(CompoundFile &file,
                                              const CompoundFile::Element &element) {
    if (element.kind != CompoundFile::Kind::Storage)
        return nullptr;
    const std::optional<CompoundFile::Element> stream = file.Find(element.id, element.name);
    if (!stream || stream->kind != CompoundFile::Kind::Stream)
        return nullptr;
    return file.OpenReader(stream->id);
}

bool LooksExecutable(int fd) {
    char head[4] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    return (n == 4 && std::memcmp(head,
                                  "\x7f"
                                  "ELF",
                                  4) == 0) ||
           (n >= 2 && head[0] == '#' && head[1] == '!');
}

// A new file in the folder under a name nobody else uses; never follows a link.
int CreateTemporary(int dirFd, QByteArray *name) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = QByteArray(".vupdate-") + QByteArray::number(::getpid()) + '-' +
                QByteArray::number(++counter);
        const int fd = ::openat(dirFd, name->constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

class Installer {
public:
    Installer(const QString &programDir, const InstallEvents &events)
        : m_programDir(programDir), m_events(events) {}

    InstallReport Run(const QString &packagePath) {
        m_report.status = InstallStatus::NotAPackage;
        m_dir = std::make_unique<Fd>(::open(QFile::encodeName(m_programDir).constData(),
                                            O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_dir->ok())
            return m_report;
        if (!CompoundFile::IsCompoundFile(packagePath))
            return m_report;
        std::unique_ptr<CompoundFile> package =
            CompoundFile::Open(packagePath, CompoundFile::Access::Read);
        if (!package)
            return m_report;
        const std::vector<CompoundFile::Element> groups = package->Children(CompoundFile::kRootId);
        m_report.status = InstallStatus::Installed;
        for (auto it = groups.rbegin(); it != groups.rend(); ++it) {
            if (!InstallGroup(*package, *it)) {
                m_report.status = InstallStatus::Stopped;
                break;
            }
            Step();
        }
        return m_report;
    }

private:
    void Step() {
        if (m_events.step)
            m_events.step();
    }
    bool FileError(const QString &path, int error) {
        if (m_events.fileError)
            m_events.fileError(path, ErrorText(error));
        return false;
    }
    void Skip(const QString &name) { m_report.skipped << name; }

    // False only when the installation has to stop.
    bool InstallGroup(CompoundFile &package, const CompoundFile::Element &group) {
        const QString folder = GroupFolderName(group.name);
        if (!IsSafeElementName(folder)) {
            Skip(group.name);
            return true;
        }
        std::unique_ptr<StreamReader> reader = OpenInnerStream(package, group);
        if (!reader) {
            Skip(group.name);
            return true;
        }
        // The nested package goes to a scratch file of ours, never to a name from the package.
        QByteArray nestedName;
        const int nestedFd = CreateTemporary(m_dir->get(), &nestedName);
        if (nestedFd < 0) {
            const int error = errno;
            return FileError(m_programDir + QFile::decodeName(nestedName), error);
        }
        const QString nestedPath = m_programDir + QFile::decodeName(nestedName);
        struct Remover {
            int dir;
            QByteArray name;
            ~Remover() { ::unlinkat(dir, name.constData(), 0); }
        } remover{m_dir->get(), nestedName};
        {
            Fd nested(nestedFd);
            const CopyResult copied = CopyStream(*reader, nested.get());
            if (copied == CopyResult::WriteFailed) {
                const int error = errno;
                return FileError(nestedPath, error);
            }
            if (copied == CopyResult::ReadFailed) {
                Skip(group.name);
                return true;
            }
        }
        std::unique_ptr<CompoundFile> files =
            CompoundFile::Open(nestedPath, CompoundFile::Access::Read);
        if (!files) {
            Skip(group.name);
            return true;
        }

        std::unique_ptr<Fd> dest;
        QString destPath = m_programDir;
        if (folder == QLatin1String(kRootFolderName)) {
            dest = std::make_unique<Fd>(::dup(m_dir->get()));
        } else {
            const QByteArray native = QFile::encodeName(folder);
            destPath += folder + u'/';
            if (::mkdirat(m_dir->get(), native.constData(), 0755) != 0 && errno != EEXIST) {
                const int error = errno;
                return FileError(destPath, error);
            }
            struct stat st {};
            if (::fstatat(m_dir->get(), native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode)) {
                // A linked folder leads out of the program directory: nothing is written there.
                Skip(group.name);
                return true;
            }
            dest = std::make_unique<Fd>(::openat(m_dir->get(), native.constData(),
                                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (!dest->ok()) {
            const int error = errno;
            return FileError(destPath, error);
        }

        const std::vector<CompoundFile::Element> entries = files->Children(CompoundFile::kRootId);
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (!InstallFile(*files, *it, dest->get(), destPath))
                return false;
            Step();
        }
        return true;
    }

    bool InstallFile(CompoundFile &files, const CompoundFile::Element &entry, int destFd,
                     const QString &destPath) {
        if (!IsSafeElementName(entry.name)) {
            Skip(entry.name);
            return true;
        }
        std::unique_ptr<StreamReader> reader = OpenInnerStream(files, entry);
        if (!reader) {
            Skip(entry.name);
            return true;
        }
        const QByteArray name = QFile::encodeName(entry.name);
        const QString target = destPath + entry.name;
        QByteArray tempName;
        Fd out(CreateTemporary(destFd, &tempName));
        if (!out.ok()) {
            const int error = errno;
            return FileError(target, error);
        }
        const auto discard = [&] { ::unlinkat(destFd, tempName.constData(), 0); };

        const CopyResult copied = CopyStream(*reader, out.get());
        if (copied != CopyResult::Done) {
            const int error = errno;
            discard();
            if (copied == CopyResult::ReadFailed) {
                Skip(entry.name);
                return true;
            }
            return FileError(target, error);
        }
        // The replaced file keeps its permissions; a new one is executable when it is a
        // program (the package carries no modes).
        struct stat old {};
        mode_t mode = 0644;
        if (::fstatat(destFd, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(old.st_mode))
            mode = old.st_mode & 07777;
        else if (LooksExecutable(out.get()))
            mode = 0755;
        if (::fchmod(out.get(), mode) != 0 || ::fsync(out.get()) != 0) {
            const int error = errno;
            discard();
            return FileError(target, error);
        }
        // Renaming replaces a link itself, never what it points to.
        if (::renameat(destFd, tempName.constData(), destFd, name.constData()) != 0) {
            const int error = errno;
            discard();
            return FileError(target, error);
        }
        m_report.installed << target;
        return true;
    }

    QString m_programDir;
    const InstallEvents &m_events;
    std::unique_ptr<Fd> m_dir;
    InstallReport m_report;
};

} // namespace

bool IsSafeElementName(const QString &name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c == QChar(0))
            return false;
    return true;
}

QString GroupFolderName(const QString &group) {
    const qsizetype dot = group.lastIndexOf(u'.');
    return dot < 0 ? group : group.mid(dot + 1);
}

InstallReport InstallPackage(const QString &programDir, const QString &packagePath,
                             const InstallEvents &events) {
    QString dir = programDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    Installer installer(dir, events);
    return installer.Run(packagePath);
}

UpdateOutcome RunInstallation(const QString &programDir, const UpdaterHooks &hooks) {
    QString dir = programDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    const QString package = dir + QLatin1String(kPackageFileName);
    const QString signaturePath = package + QLatin1String(kSignatureSuffix);
    const QString aside = package + QLatin1String(kSetAsideSuffix);
    const QString player = dir + QLatin1String(kPlayerFileName);
    const auto start = [&](UpdateOutcome outcome) {
        if (hooks.startPlayer)
            hooks.startPlayer(player);
        return outcome;
    };

    // Another user's folder, or one a package manager keeps: not ours to change.
    if (!ProgramDirTakesUpdates(dir))
        return start(UpdateOutcome::NotOurs);
    const QByteArray signature = ReadSignature(signaturePath);
    QFile::remove(signaturePath);
    QFile probe(package);
    if (!probe.open(QIODevice::ReadOnly)) {
        QFile::remove(package);
        return start(UpdateOutcome::NoPackage);
    }
    probe.close();
    // Set aside before anything is written: whatever happens from here, the next start of the
    // player is a plain one.
    QFile::remove(aside);
    if (!QFile::rename(package, aside)) {
        QFile::remove(package);
        return start(UpdateOutcome::NoPackage);
    }
    if (CheckPackage(dir, aside, signature) != PackageCheck::Trusted) {
        QFile::remove(aside);
        return start(UpdateOutcome::Refused);
    }

    const InstallReport report = InstallPackage(dir, aside, hooks.events);
    if (report.status == InstallStatus::Stopped)
        return start(UpdateOutcome::Failed); // the file error was shown; the package stays aside
    QFile::remove(aside);
    if (report.status == InstallStatus::NotAPackage)
        return start(UpdateOutcome::NotAPackage);
    if (hooks.setProgress)
        hooks.setProgress(100);
    if (hooks.pause)
        hooks.pause(kFinalPauseMs);
    return start(UpdateOutcome::Installed);
}

} // namespace kz
