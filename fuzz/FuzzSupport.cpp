#include "FuzzSupport.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kz::fuzz {

namespace {

std::string MakeFolder() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kzfuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort(); // nothing can be fuzzed without it
    return pattern;
}

struct FolderOwner {
    std::string path = MakeFolder();
    ~FolderOwner() { QDir(QString::fromStdString(path)).removeRecursively(); }
};

} // namespace

const QString &Folder() {
    static FolderOwner owner;
    static const QString folder = QString::fromStdString(owner.path) + u'/';
    return folder;
}

QString WriteInput(const std::uint8_t *data, std::size_t size, const char *name) {
    const QString path = Folder() + QString::fromLatin1(name);
    const QByteArray local = path.toLocal8Bit();
    const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return {};
        }
        done += std::size_t(n);
    }
    ::close(fd);
    return path;
}

void ClearFolder(const QString &keep) {
    QDir dir(Folder());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        if (path != keep)
            QFile::remove(path);
    }
}

} // namespace kz::fuzz
