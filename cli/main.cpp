// kztool: the command-line companion over the player's core, for batch work and scripts.

#include "Commands.h"
#include "platform/Workers.h"

#include <QCoreApplication>

#include <algorithm>
#include <string_view>

namespace kz::cli {

namespace {
std::vector<Command> &Registry() {
    static std::vector<Command> commands;
    return commands;
}
} // namespace

CommandRegistrar::CommandRegistrar(const Command &command) {
    auto &all = Registry();
    auto at = std::find_if(all.begin(), all.end(), [&](const Command &c) {
        return std::string_view(c.name) > std::string_view(command.name);
    });
    all.insert(at, command);
}

const std::vector<Command> &RegisteredCommands() {
    return Registry();
}

namespace {

void PrintHelp(QTextStream &to) {
    to << "kztool - command-line companion of KZPlayer\n\n"
          "usage: kztool COMMAND [ARGS...]\n\n"
          "Names and paths are UTF-8. Exit status: 0 success, 1 the operation failed,\n"
          "2 a usage error.\n\ncommands:\n";
    for (const Command &c : RegisteredCommands())
        to << "  " << c.synopsis << "\n\n";
}

} // namespace
} // namespace kz::cli

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const kz::WorkersScope workers; // joined before the application object goes
    using namespace kz::cli;
    QTextStream out(stdout);
    QTextStream err(stderr);
    Io io{out, err};
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        PrintHelp(err);
        return kExitUsage;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        PrintHelp(out);
        return kExitOk;
    }
    for (const Command &c : RegisteredCommands()) {
        if (name == QLatin1String(c.name)) {
            const int rc = c.run(args, io);
            if (rc == kExitUsage)
                err << "usage: kztool " << c.synopsis << '\n';
            return rc;
        }
    }
    err << "kztool: unknown command '" << name << "'\n";
    PrintHelp(err);
    return kExitUsage;
}
