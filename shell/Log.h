#pragma once
// The shell's log category: silent unless enabled ("kz.shell.info=true" in QT_LOGGING_RULES).

#include <QLoggingCategory>

namespace kz {
Q_DECLARE_LOGGING_CATEGORY(lcShell)
}
