#include "StringTable.h"

namespace kz {

QString LoadString(int id) {
    switch (id) {
    case IDS_OLE_INIT_FAILED:
        return QStringLiteral("OLE init failed!");
    case IDS_DEFAULT_PLAYER_DONE:
        return QStringLiteral("完成，谢谢使用Vobi Flash播放器");
    case IDS_TITLE:
        return QStringLiteral("Vobi Flash播放器");
    case IDS_READY:
        return QStringLiteral("准备好");
    default:
        return QString();
    }
}

} // namespace kz
