#include "Commands.h"

#include "platform/registry/Registry.h"
#include "search/FixedDisks.h"
#include "search/LocalSearch.h"
#include "settings/Settings.h"

#include "platform/urlcache/UrlCache.h"

#include <QFileInfo>

namespace kz::cli {

namespace {

// The player's own size limit, as the options dialog stored it.
std::int64_t StoredFilterKb() {
    FrameSettings defaults;
    IniRegistryStore store;
    const std::unique_ptr<RegKey> key = store.OpenKey(QString::fromUtf16(kMachineKey));
    if (!key)
        return defaults.m_nIEFilterSize;
    const std::optional<std::uint32_t> value = key->QueryDword(QStringLiteral("m_nIEFilterSize"));
    // The dialog stores what was typed: a negative number comes back as a large DWORD.
    return value ? std::int64_t(std::int32_t(*value)) : defaults.m_nIEFilterSize;
}

QString Json(const MovieHit &hit) {
    const SwfHeaderInfo &h = hit.header;
    return QStringLiteral("{\"path\":%1,\"length\":%2,\"version\":%3,\"frameCount\":%4,"
                          "\"width\":%5,\"height\":%6}")
        .arg(JsonString(hit.path))
        .arg(hit.length)
        .arg(h.version)
        .arg(h.frameCount)
        .arg(h.right - h.left)
        .arg(h.bottom - h.top);
}

} // namespace

int RunFind(const QStringList &args, Io &io) {
    bool json = false, disks = false, cache = false;
    std::optional<std::int64_t> minKb;
    QStringList folders;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--disks")) {
            disks = true;
        } else if (a == QLatin1String("--cache")) {
            cache = true;
        } else if (a == QLatin1String("--min-kb")) {
            bool ok = false;
            const qint64 n = i + 1 < args.size() ? args[i + 1].toLongLong(&ok) : -1;
            if (!ok || n < 0)
                return kExitUsage;
            minKb = n;
            ++i;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return kExitUsage;
        } else {
            folders << a;
        }
    }
    // Exactly one source: folders, the disks or the cache.
    if (int(!folders.isEmpty()) + int(disks) + int(cache) != 1)
        return kExitUsage;

    const std::int64_t minBytes = MinMovieBytes(minKb ? *minKb : StoredFilterKb());
    const HitCallback print = [&](const MovieHit &hit) {
        io.out << (json ? Json(hit) : hit.path) << '\n';
    };
    if (cache) {
        if (!SearchUrlCache(UrlCache(), minBytes, nullptr, print)) {
            io.err << "kztool: the URL cache is locked by another program\n";
            return kExitFailed;
        }
        return kExitOk;
    }
    if (disks) {
        SearchDisks(FixedDiskRoots(), minBytes, nullptr, print);
        return kExitOk;
    }
    int rc = kExitOk;
    for (const QString &folder : folders) {
        if (SearchFolder(folder, minBytes, nullptr, print) == WalkResult::NotAFolder) {
            io.err << "kztool: " << folder << ": no such folder\n";
            rc = kExitFailed;
        }
    }
    return rc;
}

static const CommandRegistrar kFind{
    {"find",
     "find [--min-kb N] [--json] FOLDER...\n"
     "find [--min-kb N] [--json] --disks | --cache\n"
     "    Lists the playable movies (\"*.swf\" in any letter case, at least N KB long; N\n"
     "    defaults to the player's stored setting, 100) below the folders, on every fixed\n"
     "    disk, or in the player's URL cache, one path per line in walk order. Links are not\n"
     "    followed and a walk stays on its file system. With --json, one object per line with\n"
     "    path, length, version, frameCount, width and height. No hits is success; a folder\n"
     "    that does not exist makes the exit status 1.",
     &RunFind}};

} // namespace kz::cli
