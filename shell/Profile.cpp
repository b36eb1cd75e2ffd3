#include "Profile.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace kz {

namespace {

QSettings ProfileStore() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromUtf16(kRegistryRoot), QString::fromLatin1(kExeBaseName));
}

} // namespace

int GetProfileInt(const QString &section, const QString &key, int defaultValue) {
    QSettings s = ProfileStore();
    bool ok = false;
    const int v = s.value(section + u'/' + key).toInt(&ok);
    return ok ? v : defaultValue;
}

bool WriteProfileInt(const QString &section, const QString &key, int value) {
    QSettings s = ProfileStore();
    s.setValue(section + u'/' + key, value);
    s.sync();
    return s.status() == QSettings::NoError;
}

QString MachineStorePath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("KZPlayer/machine.ini"));
}

std::optional<StartPlacement> ReadStartPlacement() {
    QSettings s(MachineStorePath(), QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return std::nullopt;
    s.beginGroup(QStringLiteral("KZVPlayer"));
    auto read = [&](const char *name) -> std::int64_t {
        bool ok = false;
        const std::int64_t v = s.value(QLatin1String(name)).toLongLong(&ok);
        // REG_DWORD values are 32 bits; larger stored texts are not valid values.
        return ok ? std::int64_t(std::int32_t(std::uint32_t(v))) : 0;
    };
    return StartPlacement{read("ScreenLeft"), read("ScreenTop"), read("ScreenRight"),
                          read("ScreenBottom")};
}

} // namespace kz
