#pragma once
// Shows a file selected in the desktop's file manager (its FileManager1 service on the session
// bus); without such a service, opens the file's folder.

#include <QString>

namespace kz {

bool ShowItemInFolder(const QString &path);

} // namespace kz
