#pragma once
// What the e-mail and save-as commands work on: the playing movie's local file (for a web
// movie its copy in the URL cache), and handing that file to the user's mail program through
// xdg-email.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kz {

class UrlCache;

// The movie's local file: for a web movie (`urlMode`) the cache's file for the address, when
// the cache has one and the file is still there; otherwise the control's movie value itself.
// None when there is nothing to hand over.
std::optional<QString> MovieLocalFile(const QString &movie, bool urlMode, const UrlCache &cache);

// The name a mailed copy of a movie gets: the last part of the movie's address or path, decoded,
// with only ASCII letters and digits, CJK characters (Han, kana, Hangul, Bopomofo) and "-_."
// kept, no leading dots, at most 200 bytes, ending in ".swf"; "movie.swf" when nothing is left.
QString CleanAttachmentName(const QString &movie);

// What to attach for a movie whose local file is `file`: a web movie's cache file has a name
// from the remote address, and some mail programs take what xdg-email hands them unescaped, so
// it (and a local file whose path holds a quote, a backquote, "$" or "\") goes as a copy
// named CleanAttachmentName in the private temporary folder's "mail/" (an older copy of that
// name is replaced, copies older than a day are removed). Empty when the copy fails.
QString MailAttachment(const QString &movie, const QString &file, bool urlMode);

enum class MailResult { Started, NoMailProgram, StartFailed };

struct MailServices {
    // The full path of a program on the PATH; empty when there is none.
    std::function<QString(const QString &name)> findProgram;
    std::function<bool(const QString &program, const QStringList &args)> startDetached;
};
// The real ones: QStandardPaths and QProcess::startDetached.
MailServices SystemMailServices();

inline constexpr auto kMailProgram = "xdg-email";

// Starts the mail program with the file attached, detached; the file is the caller's own copy.
MailResult SendFileByMail(const QString &file, const MailServices &services);

} // namespace kz
