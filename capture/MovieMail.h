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
