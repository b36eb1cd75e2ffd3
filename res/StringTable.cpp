#include "StringTable.h"

namespace kz {

QString LoadString(int id) {
    switch (id) {
    case IDS_OLE_INIT_FAILED:
        return QStringLiteral("OLE init failed!");
    case IDS_DEFAULT_PLAYER_DONE:
        return QStringLiteral("完成，谢谢使用Vobi Flash播放器");
    case IDS_CONFIRM_DELETE:
        return QStringLiteral("你确定删除它们吗？");
    case IDS_FILES_COPIED:
        return QStringLiteral("文件拷贝成功！");
    case IDS_SAVED:
        return QStringLiteral("保存成功！");
    case IDS_COMPRESSED:
        return QStringLiteral("压缩成功！");
    case IDS_COLUMN_FOLDER:
        return QStringLiteral("目录");
    case IDS_COLUMN_MOVIES:
        return QStringLiteral("动画文件");
    case IDS_COLUMN_LIST_FILES:
        return QStringLiteral("列表文件");
    case IDS_FLASH_FOUND:
        return QStringLiteral("Flash文件被找到。");
    case IDS_SEARCHING:
        return QStringLiteral("搜索中......");
    case IDS_NO_FLASH_FOUND:
        return QStringLiteral("没有找到符合要求的Flash文件");
    case IDS_CANNOT_CREATE_FAVOURITES:
        return QStringLiteral("不能创建我最喜爱的列表文件！");
    case IDS_TITLE:
        return QStringLiteral("Vobi Flash播放器");
    case IDS_READY:
        return QStringLiteral("准备好");
    default:
        return QString();
    }
}

} // namespace kz
