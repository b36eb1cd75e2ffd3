#pragma once
// kztool's commands. Each takes its own arguments (after the command name) and returns the
// process exit code: 0 success, 1 the operation failed, 2 a usage error.

#include <QStringList>
#include <QTextStream>

namespace kz::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Io {
    QTextStream &out;
    QTextStream &err;
};

struct Command {
    const char *name;
    const char *synopsis; // one or more lines for --help
    int (*run)(const QStringList &args, Io &io);
};

int RunInfo(const QStringList &args, Io &io);

// Text of a JSON string literal for the given text.
QString JsonString(const QString &text);

} // namespace kz::cli
