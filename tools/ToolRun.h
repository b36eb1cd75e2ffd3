#pragma once
// One run of a Flash tool over one input of the tools dialog: the rows the dialog lists, where
// their outputs go, the names they get, and the task itself, with movies inside list files
// worked on through private temporary copies.

#include <QString>

namespace kz {

// The tasks, in the order of the dialog's radio buttons.
enum ToolTask { kTaskMp3 = 0, kTaskJpeg = 1, kTaskExe = 2, kTaskScreenSaver = 3 };
inline constexpr int kToolTaskCount = 4;

// A row of the tools' file list: a file (column 1 empty), or a list file and the name of a
// movie inside it.
struct ToolRow {
    QString column0;
    QString column1;
    bool InListFile() const;
    friend bool operator==(const ToolRow &, const ToolRow &) = default;
};

// An input entry as a row: a list file's path, a separator and an entry name when the text
// before the last separator names a ".tpl" (in any letter case); otherwise a file.
ToolRow ToolRowFromEntry(const QString &entry);

// The folder a row's outputs go to, with one trailing separator: the input's own folder (a
// list file's folder) when `sameDir`, else `outputDir`. Empty when that is no absolute folder,
// so nothing is written into the root or the current folder by accident.
QString ToolOutputPrefix(const ToolRow &row, bool sameDir, const QString &outputDir);

// The base of a row's output names: its file's (or entry's) base name in lower case.
QString ToolOutputBase(const ToolRow &row);

// Runs the task over the row into `outputPrefix` (unused by screensavers, which have their
// own folder). A movie inside a list file is first copied under its entry name into a private
// folder in the temporary folder, and that copy is removed afterwards, whatever the outcome.
// True when the task succeeded.
bool RunToolTask(int task, const ToolRow &row, const QString &outputPrefix);

// A file-dialog filter "Name(*.a)|*.a|Name(*.b)|*.b||" in Qt's form "Name(*.a);;Name(*.b)".
QString QtFileFilter(const QString &filter);

} // namespace kz
