// The updater's installation of a downloaded package: groups of nested compound files, every
// name and structure hostile. The program directory is made anew for each input with two
// planted links leading out of it (a folder link where a group's folder goes, a file link where
// the player goes); whatever the package says, nothing outside the program directory changes,
// every file written is a plain file under a plain name in the directory or one folder below
// it, and no scratch file stays behind. The installation is called past the updater's
// signature check, which no fuzzed input would pass.

#include "FuzzSupport.h"
#include "updater/PackageInstall.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

namespace {

const QByteArray kSentinel = QByteArrayLiteral("not to be touched");

void PrepareFolders(const QString &program, const QString &outside) {
    QDir(program).removeRecursively();
    QDir(outside).removeRecursively();
    if (!QDir().mkpath(program) || !QDir().mkpath(outside))
        std::abort();
    QFile sentinel(outside + QStringLiteral("player"));
    if (!sentinel.open(QIODevice::WriteOnly) || sentinel.write(kSentinel) != kSentinel.size())
        std::abort();
    sentinel.close();
    if (!QFile::link(outside, program + QStringLiteral("res")) ||
        !QFile::link(outside + QStringLiteral("player"), program + QStringLiteral("KZPlayer")))
        std::abort();
}

void CheckOutsideUntouched(const QString &outside) {
    const QStringList names = QDir(outside).entryList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::System | QDir::NoDotAndDotDot);
    if (names != QStringList{QStringLiteral("player")})
        std::abort();
    QFile sentinel(outside + QStringLiteral("player"));
    if (!sentinel.open(QIODevice::ReadOnly) || sentinel.readAll() != kSentinel)
        std::abort();
}

void CheckInstalled(const QString &program, const kz::InstallReport &report) {
    for (const QString &target : report.installed) {
        if (!target.startsWith(program))
            std::abort();
        const QStringList parts = target.mid(program.size()).split(u'/');
        if (parts.size() > 2)
            std::abort();
        for (const QString &part : parts)
            if (!kz::IsSafeElementName(part))
                std::abort();
    }
    // No scratch file of the installation is left.
    QDirIterator it(program, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.fileName().startsWith(QLatin1String(".vupdate-")))
            std::abort();
        // A planted link is left or replaced by a plain file; no new link appears.
        if (info.isSymLink() && info.filePath() != program + QStringLiteral("res") &&
            info.filePath() != program + QStringLiteral("KZPlayer"))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString program = kz::fuzz::Folder() + QStringLiteral("program/");
    const QString outside = kz::fuzz::Folder() + QStringLiteral("outside/");
    PrepareFolders(program, outside);
    const QString package = kz::fuzz::WriteInput(data, size, "duvez.zip");
    if (package.isEmpty())
        std::abort();
    int steps = 0;
    kz::InstallEvents events;
    events.step = [&] { ++steps; };
    const kz::InstallReport report = kz::InstallPackage(program, package, events);
    if (report.status == kz::InstallStatus::NotAPackage &&
        (steps != 0 || !report.installed.isEmpty()))
        std::abort();
    if (steps < report.installed.size())
        std::abort(); // one step at least for each file written
    CheckOutsideUntouched(outside);
    CheckInstalled(program, report);
    return 0;
}
