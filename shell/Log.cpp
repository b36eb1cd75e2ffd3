#include "Log.h"

namespace kz {
Q_LOGGING_CATEGORY(lcShell, "kz.shell", QtWarningMsg)
}
