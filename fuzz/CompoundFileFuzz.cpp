// The compound-file reader: open, enumerate the whole tree, read every stream and copy it out
// file to file; then the list file's own reading of it (entries and the information record).

#include "FuzzSupport.h"
#include "platform/storage/CompoundFile.h"
#include "playlist/ListFile.h"

#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {
// Where streams are copied to: a file of our own, emptied for each copy.
int Sink() {
    static const int fd = [] {
        const QByteArray path = QFile::encodeName(kz::fuzz::Folder() + QStringLiteral("copy.out"));
        return ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    return fd;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString path = kz::fuzz::WriteInput(data, size, "list.tpl");
    if (path.isEmpty())
        std::abort();
    using kz::CompoundFile;
    if (auto f = CompoundFile::Open(path, CompoundFile::Access::Read)) {
        std::vector<CompoundFile::Id> todo{CompoundFile::kRootId};
        char buf[4096];
        while (!todo.empty()) {
            const CompoundFile::Id id = todo.back();
            todo.pop_back();
            for (const auto &e : f->Children(id)) {
                if (!f->Find(id, e.name))
                    std::abort(); // every child enumerated is found by its name
                if (e.kind == CompoundFile::Kind::Storage) {
                    todo.push_back(e.id);
                } else if (auto r = f->OpenReader(e.id)) {
                    std::uint64_t total = 0;
                    std::int64_t n;
                    while ((n = r->Read(buf, sizeof buf)) > 0)
                        total += std::uint64_t(n);
                    if (n == 0 && total != r->Size())
                        std::abort(); // a stream read to its end holds its declared size
                    // Copied out file to file, it gives as much, or fails as the reading did.
                    if (auto c = f->OpenReader(e.id)) {
                        const std::int64_t copied = c->CopyTo(Sink());
                        if ((n == 0) != (copied >= 0) ||
                            (copied >= 0 && std::uint64_t(copied) != total))
                            std::abort();
                    }
                }
            }
        }
    }
    QStringList names;
    kz::ListEntries(path, names);
    return 0;
}
