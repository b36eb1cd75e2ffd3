// kztool search: a net search without a window, the same query and harvest as the list bar's.

#include "Commands.h"

#include "netsearch/Harvest.h"

#include <QTemporaryDir>

namespace kz::cli {

namespace {

int RunSearch(const QStringList &args, Io &io) {
    int engine = 0;
    int page = 0;
    bool urlOnly = false;
    QStringList words;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const auto number = [&](int &to, int max) {
            bool ok = false;
            const int v = i + 1 < args.size() ? args.at(i + 1).toInt(&ok) : -1;
            if (!ok || v < 0 || v > max)
                return false;
            to = v;
            ++i;
            return true;
        };
        if (a == QLatin1String("--engine")) {
            if (!number(engine, kEngineCount - 1))
                return kExitUsage;
        } else if (a == QLatin1String("--page")) {
            // The offset must stay a sensible number.
            if (!number(page, 100000))
                return kExitUsage;
        } else if (a == QLatin1String("--url")) {
            urlOnly = true;
        } else if (a == QLatin1String("--")) {
            words += args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return kExitUsage;
        } else {
            words << a;
        }
    }
    const QString text = words.join(u' ').trimmed();
    if (text.isEmpty())
        return kExitUsage;

    const EngineHosts hosts = EngineHosts::FromEnvironment();
    if (urlOnly) {
        io.out << QueryUrl(engine, text, page, hosts) << '\n';
        return kExitOk;
    }
    // The result page goes to a folder of its own, so the player's page stays as it is.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        io.err << "kztool: no temporary folder for the result page\n";
        return kExitFailed;
    }
    SearchJob job(engine, text, page, scratch.filePath(QLatin1String(kResultPageName)), hosts);
    const SearchOutcome outcome = job.Run();
    if (!outcome.connected) {
        io.err << "kztool: the search engine could not be reached: " << job.Url() << '\n';
        return kExitFailed;
    }
    for (const QString &url : outcome.urls)
        io.out << url << '\n';
    if (outcome.busy) {
        io.err << "kztool: the library is busy; the list is incomplete\n";
        return outcome.urls.isEmpty() ? kExitFailed : kExitOk;
    }
    return kExitOk;
}

const CommandRegistrar kSearch{
    {"search",
     "search [--engine N] [--page P] [--url] WORDS\n"
     "      net search for Flash movies: prints the movie addresses found, one a line\n"
     "      (engine 0 Baidu MP3, 1 Google China, 2 Google English, 3 Yahoo China,\n"
     "      4 the Internet Archive's Flash library, 5 a site's captures in the Wayback\n"
     "      Machine; page P from 0); --url prints only the query address",
     &RunSearch}};

} // namespace
} // namespace kz::cli
