#pragma once
// kztool's commands. Each takes its own arguments (after the command name) and returns the
// process exit code: 0 success, 1 the operation failed, 2 a usage error.

#include <QStringList>
#include <QTextStream>

#include <vector>

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

// A command file registers its commands with a static registrar:
//   static const kz::cli::CommandRegistrar kReg{{"name", "synopsis", &RunName}};
// --help lists them in name order.
struct CommandRegistrar {
    explicit CommandRegistrar(const Command &command);
};
const std::vector<Command> &RegisteredCommands();

// Text of a JSON string literal for the given text.
QString JsonString(const QString &text);

} // namespace kz::cli
