// kztool tpl: the list-file operations for batch work and scripts.

#include "Commands.h"

#include "platform/TextRecords.h"
#include "playlist/ListFile.h"
#include "playlist/ListFileInfo.h"

namespace kz::cli {

namespace {

int Result(bool ok) {
    return ok ? kExitOk : kExitFailed;
}

int RunTpl(const QStringList &all, Io &io) {
    if (all.isEmpty())
        return kExitUsage;
    const QString op = all.first();
    const QStringList a = all.mid(1);
    const qsizetype n = a.size();
    if (op == u"create" && n == 1)
        return Result(CreateListFile(a[0]));
    if (op == u"add" && n >= 2) {
        // Every movie is tried; the exit status says whether all of them went in.
        bool ok = true;
        for (qsizetype i = 1; i < n; ++i) {
            if (!AddMovie(a[i], a[0])) {
                io.err << "kztool tpl: cannot add " << a[i] << '\n';
                ok = false;
            }
        }
        return Result(ok);
    }
    if (op == u"list" && n == 1) {
        QStringList names;
        if (!ListEntries(a[0], names))
            return kExitFailed;
        for (const QString &name : names)
            io.out << name << '\n';
        return kExitOk;
    }
    if (op == u"extract" && n == 3)
        return Result(ExtractEntry(a[2], a[1], a[0]));
    if (op == u"delete" && n == 2)
        return Result(DeleteEntry(a[0], a[1]));
    if (op == u"copy" && n == 3)
        return Result(CopyEntry(a[1], a[0], a[2]));
    if (op == u"rename" && n == 3)
        return Result(RenameEntry(a[2], a[0], a[1]));
    if (op == u"compact" && n == 1)
        return Result(CompactListFile(a[0]));
    if (op == u"info" && n == 1) {
        ListFileInfo info;
        const bool ok = ReadListFileInfo(a[0], info);
        io.out << "file: " << a[0] << '\n'
               << "sharer: " << info.sharer << '\n'
               << "email: " << info.email << '\n'
               << "msn: " << info.msn << '\n'
               << "other: " << info.other << '\n'
               << "web: " << info.web << '\n'
               << "details: " << info.details << '\n';
        return Result(ok);
    }
    if (op == u"records" && n == 1) {
        const auto texts = ReadTextRecordFile(a[0]);
        if (!texts)
            return kExitFailed;
        for (const QString &t : *texts)
            io.out << t << '\n';
        return kExitOk;
    }
    return kExitUsage;
}

const CommandRegistrar kTpl{
    {"tpl",
     "tpl create LIST | add LIST MOVIE... | list LIST | extract LIST ENTRY DEST |\n"
     "    delete LIST ENTRY | copy SRCLIST ENTRY DESTLIST | rename LIST OLD NEW |\n"
     "    compact LIST | info LIST | records FILE\n"
     "    List files (.tpl). list prints one entry name per line in the file's order;\n"
     "    info prints the information record's fields (sharer, email, msn, other, web,\n"
     "    details), failing when the list file has none; records prints the texts of a\n"
     "    file of length-prefixed records (such as 1list.ini), one per line.",
     &RunTpl}};

} // namespace
} // namespace kz::cli
