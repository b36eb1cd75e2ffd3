#include "UpdatePackages.h"

#include "platform/storage/CompoundFile.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace kz::test {

namespace {

bool AddStreamStorage(CompoundFile &file, const QString &name, const QByteArray &bytes) {
    const std::optional<CompoundFile::Id> storage = file.CreateStorage(CompoundFile::kRootId, name);
    if (!storage)
        return false;
    const std::optional<CompoundFile::Id> stream = file.CreateStream(*storage, name);
    if (!stream)
        return false;
    std::unique_ptr<StreamWriter> writer = file.OpenWriter(*stream);
    return writer && writer->Write(bytes.constData(), bytes.size());
}

QByteArray Utf16Name(const QString &name) {
    QByteArray out;
    for (const QChar c : name) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    out.append('\0').append('\0');
    return out;
}

} // namespace

QByteArray NestedPackageOurs(const QList<PackageFile> &files) {
    QTemporaryDir dir;
    const QString path = dir.filePath("nested");
    {
        std::unique_ptr<CompoundFile> file = CompoundFile::Create(path);
        if (!file)
            return {};
        for (const PackageFile &f : files)
            if (!AddStreamStorage(*file, f.name, f.bytes))
                return {};
    }
    return ReadFile(path);
}

bool WritePackageOurs(const QString &path, const QList<PackageGroup> &groups) {
    std::unique_ptr<CompoundFile> file = CompoundFile::Create(path);
    if (!file)
        return false;
    for (const PackageGroup &g : groups) {
        const QByteArray nested = g.nested.isEmpty() ? NestedPackageOurs(g.files) : g.nested;
        if (nested.isEmpty() || !AddStreamStorage(*file, g.name, nested))
            return false;
    }
    return true;
}

bool WritePackageGsf(const QString &path, const QList<PackageGroup> &groups) {
    QTemporaryDir work;
    QStringList groupDirs;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const PackageGroup &g = groups[i];
        // The nested package: one folder per file holding the file under the same name.
        const QString stage = work.filePath(QStringLiteral("files%1").arg(i));
        QStringList fileDirs;
        for (const PackageFile &f : g.files) {
            const QString dir = stage + u'/' + f.name;
            if (!WriteFile(dir + u'/' + f.name, f.bytes))
                return false;
            fileDirs << dir;
        }
        const QString groupDir = work.filePath(QStringLiteral("groups%1/").arg(i)) + g.name;
        QDir().mkpath(groupDir);
        const ProcResult nested = RunProgram(
            QStringLiteral("gsf"), QStringList{"createole", groupDir + u'/' + g.name} + fileDirs);
        if (nested.exitCode != 0)
            return false;
        groupDirs << groupDir;
    }
    QFile::remove(path);
    return RunProgram(QStringLiteral("gsf"), QStringList{"createole", path} + groupDirs).exitCode ==
           0;
}

QByteArray RenameInNested(QByteArray nested, const QString &from, const QString &to) {
    const QByteArray a = Utf16Name(from), b = Utf16Name(to);
    if (a.size() != b.size())
        return {};
    for (qsizetype at = nested.indexOf(a); at >= 0; at = nested.indexOf(a, at + b.size()))
        nested.replace(at, b.size(), b);
    return nested;
}

bool RenameElementRaw(const QString &path, const QString &from, const QString &to) {
    const QByteArray before = ReadFile(path);
    const QByteArray after = RenameInNested(before, from, to);
    return !after.isEmpty() && after != before && WriteFile(path, after);
}

} // namespace kz::test
