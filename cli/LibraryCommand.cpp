// The player's per-movie settings from the command line: listing and forgetting.

#include "Commands.h"

#include "platform/library/MovieLibrary.h"

namespace kz::cli {

namespace {

// False (after saying why) when the database cannot be used this time.
bool Usable(const MovieLibrary &library, Io &io) {
    const QString path = library.Path();
    switch (library.GetState()) {
    case MovieLibrary::State::Open:
        return true;
    case MovieLibrary::State::SetAside:
        io.err << "kztool: " << path << " was damaged; it was moved aside to "
               << library.SetAsidePath() << " and a new one started\n";
        return true;
    case MovieLibrary::State::Locked:
        io.err << "kztool: " << path << " is in use by another program\n";
        return false;
    case MovieLibrary::State::Newer:
        io.err << "kztool: " << path << " was written by a newer KZPlayer\n";
        return false;
    case MovieLibrary::State::Unusable:
        break;
    }
    io.err << "kztool: " << path << " cannot be opened\n";
    return false;
}

QString Json(const LibraryRow &row) {
    return QStringLiteral("{\"identity\":%1,\"speed\":%2,\"quality\":%3}")
        .arg(JsonString(row.identity), QString::number(row.settings.speed),
             JsonString(QualityName(row.settings.quality)));
}

QString Text(const LibraryRow &row) {
    return QStringLiteral("%1\t%2x\t%3")
        .arg(row.identity, QString::number(row.settings.speed), QualityName(row.settings.quality));
}

} // namespace

int RunLibrary(const QStringList &args, Io &io) {
    bool json = false;
    std::optional<QString> forget;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--json") && !json) {
            json = true;
        } else if (args[i] == QLatin1String("--forget") && !forget && i + 1 < args.size() &&
                   !args[i + 1].isEmpty()) {
            forget = args[++i];
        } else {
            return kExitUsage;
        }
    }
    if (forget && json)
        return kExitUsage;

    MovieLibrary library;
    if (!Usable(library, io))
        return kExitFailed;
    if (forget) {
        if (library.Forget(*forget))
            return kExitOk;
        io.err << "kztool: " << *forget << ": no such movie in the library\n";
        return kExitFailed;
    }
    const QList<LibraryRow> rows = library.All();
    if (!json) {
        for (const LibraryRow &row : rows)
            io.out << Text(row) << '\n';
        return kExitOk;
    }
    io.out << '[';
    for (qsizetype i = 0; i < rows.size(); ++i)
        io.out << (i ? ",\n " : "") << Json(rows[i]);
    io.out << "]\n";
    return kExitOk;
}

static const CommandRegistrar kLibrary{
    {"library",
     "library [--json]\n"
     "library --forget IDENTITY\n"
     "    Lists the movies whose speed or quality the player remembers, one per line: the\n"
     "    movie's identity (path, LIST|ENTRY or web address), its speed as a multiple of the\n"
     "    movie's frame rate (\"2x\") and its quality (low, medium, high or best), separated\n"
     "    by tabs, in identity order. With --json, one JSON array of objects with identity,\n"
     "    speed (a number) and quality. --forget removes one movie's settings; a movie the\n"
     "    library does not hold makes the exit status 1, as does a library in use by another\n"
     "    program or written by a newer player. A damaged library is moved aside (never\n"
     "    deleted) and a new one started.",
     &RunLibrary}};

} // namespace kz::cli
