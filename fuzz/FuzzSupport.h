#pragma once
// What the targets that read files share: the input written to a private file, since those
// parsers take paths (files are what they meet in use).

#include <QString>

#include <cstddef>
#include <cstdint>

namespace kz::fuzz {

// A folder of this process's own, made at the first call, removed at exit.
const QString &Folder();
// Writes the input to Folder() + name, replacing it; the path, or empty on failure.
QString WriteInput(const std::uint8_t *data, std::size_t size, const char *name);
// Removes every file in Folder() but `keep` (outputs the last input left behind).
void ClearFolder(const QString &keep = {});

} // namespace kz::fuzz
