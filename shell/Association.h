#pragma once
// File associations on the XDG desktop: a shared-mime-info package and a desktop entry under
// the user's data folder, made the default handler with xdg-mime. Each step only when the one
// before succeeded; failures are silent to the user.

#include <QString>
#include <QStringList>

#include <functional>

namespace kz {

// Runs a program with arguments; true when it ran and succeeded (or was started, for callers
// that do not wait).
using ProgramRunner = std::function<bool(const QString &program, const QStringList &args)>;

struct AssociationTarget {
    QString dataHome;   // $XDG_DATA_HOME, else ~/.local/share
    QString executable; // the player's full path
    QString icon;       // an icon file, may be empty
};

AssociationTarget DefaultAssociationTarget(const QString &executable, const QString &icon);

inline constexpr char kTplMimeType[] = "application/x-kzplayer-tpl";
inline constexpr char kSwfMimeType[] = "application/vnd.adobe.flash.movie";

// ".tpl" list files, written at every start.
bool RegisterListFileType(const AssociationTarget &target, const ProgramRunner &run);
// ".swf" movies: the player becomes the default Flash player.
bool RegisterFlashType(const AssociationTarget &target, const ProgramRunner &run);

// One argument of a desktop entry's Exec key, as the file holds it: quoted and escaped by the
// desktop-entry rules (quoting, "%%", then the string escapes), whatever the characters.
QString ExecArgument(const QString &argument);

// The texts written (for tests and for the two functions above).
QString MimePackageText(const QString &mimeType, const QString &glob, const QString &comment);
QString DesktopEntryText(const QString &name, const AssociationTarget &target,
                         const QStringList &mimeTypes);

} // namespace kz
