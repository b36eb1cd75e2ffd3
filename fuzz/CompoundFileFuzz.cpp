// The compound-file reader: open, enumerate the whole tree, read every stream; then the list
// file's own reading of it (entries and the information record).

#include "FuzzSupport.h"
#include "platform/storage/CompoundFile.h"
#include "playlist/ListFile.h"

#include <cstdlib>
#include <vector>

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
                }
            }
        }
    }
    QStringList names;
    kz::ListEntries(path, names);
    return 0;
}
