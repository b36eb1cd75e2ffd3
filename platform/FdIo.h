#pragma once
// Whole reads and writes on file descriptors, for the code that works below QFile (exclusive
// creation, no links followed, renames while locked).

#include <cstdint>

namespace kz {

// Writes all n bytes, going on after interrupted and short writes. False on an error.
bool WriteAll(int fd, const char *data, std::int64_t n);

} // namespace kz
