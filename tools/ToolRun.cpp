#include "ToolRun.h"

#include "JpegExtract.h"
#include "Mp3Extract.h"
#include "Packaging.h"
#include "formats/swf/TagWalker.h"
#include "platform/Paths.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

namespace kz {

bool ToolRow::InListFile() const {
    // A file added by hand keeps column 1 empty, even when a folder of its path has ".tpl" in
    // its name.
    return !column1.isEmpty() && RowInListFile(column0);
}

ToolRow ToolRowFromEntry(const QString &entry) {
    if (IsListFileReference(entry) && !FileNameOf(entry).isEmpty())
        return {FolderWithoutSep(entry), FileNameOf(entry)};
    return {entry, QString()};
}

QString ToolOutputPrefix(const ToolRow &row, bool sameDir, const QString &outputDir) {
    const QString folder = sameDir ? FolderWithSep(row.column0) : outputDir.trimmed();
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        return QString();
    return WithTrailingSep(folder);
}

QString ToolOutputBase(const ToolRow &row) {
    return BaseNameOf(row.InListFile() ? row.column1 : FileNameOf(row.column0)).toLower();
}

namespace {

// An entry's name is a plain name inside its list file; anything that could leave the folder
// it is copied into is refused.
bool IsPlainEntryName(const QString &name) {
    return !name.isEmpty() && !name.contains(kSep) && !name.contains(u'\\') && name != u"." &&
           name != u"..";
}

bool RunOnFile(int task, const QString &input, const QString &fileName, const QString &base,
               const QString &prefix) {
    if (task != kTaskScreenSaver && prefix.isEmpty())
        return false;
    switch (task) {
    case kTaskMp3:
        return IsFlashMovieFile(input) && ExtractMp3Named(input, base, prefix);
    case kTaskJpeg:
        return IsFlashMovieFile(input) && ExtractJpegNamed(input, base, prefix);
    case kTaskExe:
        if (ExtensionOf(fileName) == u"exe")
            return ExtractMovieFromProjectorNamed(input, base, prefix);
        return MakeProjectorNamed(input, base, prefix);
    case kTaskScreenSaver:
        return MakeScreenSaverNamed(input, base);
    default:
        return false;
    }
}

} // namespace

bool RunToolTask(int task, const ToolRow &row, const QString &outputPrefix) {
    const QString base = ToolOutputBase(row);
    if (!row.InListFile())
        return RunOnFile(task, row.column0, FileNameOf(row.column0), base, outputPrefix);

    // The player may be playing its own copy of the same entry from the temporary folder: the
    // tools' copy lives in a folder of its own, which goes with everything in it.
    const QString temp = TempFolder();
    if (temp.isEmpty() || !IsPlainEntryName(row.column1))
        return false;
    QTemporaryDir scratch(temp + QStringLiteral("tools-XXXXXX"));
    if (!scratch.isValid())
        return false;
    const QString copy = WithTrailingSep(scratch.path()) + row.column1;
    if (!ExtractEntry(copy, row.column1, row.column0))
        return false;
    return RunOnFile(task, copy, row.column1, base, outputPrefix);
}

QString QtFileFilter(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i];
        const QString patterns = parts[i + 1];
        if (name.isEmpty())
            break;
        // Qt takes the patterns from the parentheses of the name.
        if (name.contains(u'('))
            filters << name;
        else
            filters << name + QStringLiteral(" (") + QString(patterns).replace(u';', u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace kz
