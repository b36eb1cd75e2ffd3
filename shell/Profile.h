#pragma once
// The framework's profile store (organisation = the registry root text, application = the
// title, one section per program) and the start-size values of the machine store.

#include "shell/Startup.h"

#include <QString>

#include <optional>

namespace kz {

int GetProfileInt(const QString &section, const QString &key, int defaultValue);
bool WriteProfileInt(const QString &section, const QString &key, int value);

// "ScreenLeft", "ScreenTop", "ScreenRight" and "ScreenBottom" of "SOFTWARE\KZVPlayer\" (a
// missing value counts as 0); empty when the store cannot be read.
std::optional<StartPlacement> ReadStartPlacement();
// The machine store's file: an INI file in the user's configuration folder.
QString MachineStorePath();

} // namespace kz
