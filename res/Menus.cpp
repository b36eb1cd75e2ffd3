#include "Menus.h"

#include <algorithm>

namespace kz {

namespace {

struct Row {
    int id;
    const char16_t *caption;
    const char *key;
};

// Captions as in menu 128 (and 137 for the tray's own two); keys from the accelerator table.
constexpr Row kRows[] = {
    {ID_SET_DEFAULT_PLAYER, u"设为默认Flash播放器", ""},
    {ID_APP_ABOUT, u"关于...", "F1"},
    {ID_FILE_OPEN, u"打开", "Ctrl+O"},
    {ID_APP_EXIT, u"退出", ""},
    {ID_NET_SEARCH, u"网络搜索", ""},
    {ID_SEARCH_DIRECTORY, u"目录搜索", "Ctrl+D"},
    {ID_SEARCH_DISK, u"硬盘搜索", ""},
    {ID_SEARCH_IE_CACHE, u"IE缓存搜索", "Ctrl+I"},
    {ID_LAST_PLAY_LIST, u"上次播放列表", ""},
    {ID_FAVOURITE_LIST, u"我最喜欢的列表", ""},
    {ID_SAVE_AS_LIST_FILE, u"保存为列表文件", ""},
    {ID_ADD_TO_LIST_FILE, u"增加到列表文件", ""},
    {ID_ADD_TO_FAVOURITES, u"添加到我最喜爱的列表", ""},
    {ID_REMOVE_FROM_LIST, u"从列表中清除", ""},
    {ID_CLEAR_PLAY_LIST, u"清空播放列表", ""},
    {ID_DELETE_FILE, u"删除文件", ""},
    {ID_DELETE_ALL_FILES, u"删除所有文件", ""},
    {ID_FILE_SAVE_AS, u"另存为", "Ctrl+S"},
    {ID_COPY_TO_DIRECTORY, u"拷贝到目录", ""},
    {ID_RENAME_FILE, u"修改文件名", ""},
    {ID_FRAME_FLASH_TOOLS, u"Flash工具", ""},
    {ID_BROWSE_FOLDER, u"浏览所在目录", ""},
    {ID_DELETE_SAVES, u"删除存档", ""},
    {ID_OPEN_LIST_FILE, u"打开列表文件", "Ctrl+L"},
    {ID_NEW_LIST_FILE, u"新建列表文件", "Ctrl+N"},
    {ID_REMOVE_LIST_FILE, u"清除列表文件", ""},
    {ID_CLEAR_LIST_FILES, u"清空所有列表文件", ""},
    {ID_DELETE_LIST_FILE, u"删除列表文件", ""},
    {ID_DELETE_ALL_LIST_FILES, u"删除所有列表文件", ""},
    {ID_COMPRESS_LIST_FILE, u"压缩列表文件", ""},
    {ID_COMPRESS_ALL_LIST_FILES, u"压缩所有列表文件", ""},
    {ID_BROWSE_LIST_FOLDER, u"浏览所在目录", ""},
    {ID_FULL_SCREEN, u"全屏播放", "F10"},
    {ID_ACTUAL_SIZE, u"原始尺寸播放", "F11"},
    {ID_LIST_BAR, u"列表栏", ""},
    {ID_TOP_MOST, u"窗口总在最前", ""},
    {ID_IMAGE_OPTIONS, u"图象选项", ""},
    {ID_BROWSE_IMAGE_FOLDER, u"浏览图象所在目录", ""},
    {ID_SET_WALLPAPER, u"安装墙纸", ""},
    {ID_AUTO_CLOSE, u"使能自动关闭", ""},
    {ID_INSTALL_SCREENSAVER, u"安装屏保", ""},
    {ID_CONFIGURATION, u"配置选项", ""},
    {ID_DELETE_IE_CACHE_FLASH, u"删除IE缓存内Flash文件", ""},
    {ID_LIST_FILE_INFO, u"", "F2"},
    {ID_FTP_CLIENT, u"", "F9"},
    {ID_RUN_UPDATER, u"", ""},
    {ID_PLAY, u"播放", "F5"},
    {ID_PAUSE, u"暂停", "F6"},
    {ID_STOP, u"停止", "F7"},
    {ID_AUTO_PLAY, u"自动播放", ""},
    {ID_LOOP_SINGLE, u"单个文件循环播放", ""},
    {ID_LOOP_LIST, u"列表循环播放", ""},
    {ID_NEXT, u"下一个", "F3"},
    {ID_PREVIOUS, u"上一个", "F4"},
    // Keys a movie never needs: arrows, space and letters stay the movie's.
    {ID_NEXT_FRAME, u"下一帧", "Ctrl+."},
    {ID_PREVIOUS_FRAME, u"上一帧", "Ctrl+,"},
    {ID_SPEED_FIRST, u"0.5×", ""},
    {ID_SPEED_FIRST + 1, u"1×", ""},
    {ID_SPEED_FIRST + 2, u"1.5×", ""},
    {ID_SPEED_FIRST + 3, u"2×", ""},
    {ID_SPEED_FIRST + 4, u"3×", ""},
    {ID_QUALITY_FIRST, u"低", ""},
    {ID_QUALITY_FIRST + 1, u"中", ""},
    {ID_QUALITY_FIRST + 2, u"高", ""},
    {ID_QUALITY_FIRST + 3, u"最佳", ""},
    {ID_MUTE, u"静音", ""},
    {ID_ZOOM_IN, u"放大", ""},
    {ID_ZOOM_OUT, u"缩小", ""},
    {ID_SAVE_MOVIE_AS, u"另存为", ""},
    {ID_SEND_MAIL, u"发送电子邮件", ""},
    {ID_VIEW_FLASH_TOOLS, u"Flash工具", ""},
    {ID_CAPTURE, u"抓图", "F8"},
    {ID_GAME_MODE, u"游戏模式", ""},
    {ID_BACK_COLOUR, u"播放窗口背景颜色", ""},
    {ID_TRAY_OPEN, u"打开", ""},
    {ID_TRAY_EXIT, u"退出", ""},
};

} // namespace

CommandText CommandTextOf(int id) {
    // The play list's speed and quality commands read as the movie in play's.
    const int rowSpeed = id - ID_ROW_SPEED_FIRST, rowQuality = id - ID_ROW_QUALITY_FIRST;
    if ((rowSpeed >= 0 && rowSpeed < kSpeedCount) ||
        (rowQuality >= 0 && rowQuality < kQualityCount)) {
        CommandText text = CommandTextOf(rowQuality >= 0 ? ID_QUALITY_FIRST + rowQuality
                                                         : ID_SPEED_FIRST + rowSpeed);
        text.id = id;
        return text;
    }
    for (const Row &r : kRows)
        if (r.id == id)
            return {r.id, QString::fromUtf16(r.caption), QString::fromLatin1(r.key)};
    return {};
}

int CommandOfKey(const QString &key) {
    if (key.isEmpty())
        return 0;
    for (const Row &r : kRows)
        if (QLatin1String(r.key) == key)
            return r.id;
    return 0;
}

QList<int> AllCommandIds() {
    QList<int> ids;
    for (const Row &r : kRows)
        ids << r.id;
    std::sort(ids.begin(), ids.end());
    return ids;
}

namespace {

QList<int> Run(int first, int count) {
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        ids << first + i;
    return ids;
}

// "播放速度" and "画质" for the commands from `speedFirst` and `qualityFirst`.
QList<MenuSpec> SettingsMenus(int speedFirst, int qualityFirst) {
    return {{QStringLiteral("播放速度"), Run(speedFirst, kSpeedCount), {}},
            {QStringLiteral("画质"), Run(qualityFirst, kQualityCount), {}}};
}

} // namespace

QList<MenuSpec> MainMenu() {
    return {
        {QStringLiteral("文件"),
         {ID_FILE_OPEN, 0, ID_FILE_SAVE_AS, ID_COPY_TO_DIRECTORY, ID_RENAME_FILE,
          ID_REMOVE_FROM_LIST, ID_CLEAR_PLAY_LIST, ID_DELETE_FILE, ID_DELETE_ALL_FILES,
          ID_BROWSE_FOLDER, ID_DELETE_SAVES, SubMenuItem(0), SubMenuItem(1), 0,
          ID_FRAME_FLASH_TOOLS, 0, ID_APP_EXIT},
         SettingsMenus(ID_ROW_SPEED_FIRST, ID_ROW_QUALITY_FIRST)},
        {QStringLiteral("列表"),
         {ID_NEW_LIST_FILE, ID_OPEN_LIST_FILE, ID_SAVE_AS_LIST_FILE, ID_ADD_TO_LIST_FILE,
          ID_ADD_TO_FAVOURITES, ID_FAVOURITE_LIST, ID_LAST_PLAY_LIST, 0, ID_REMOVE_LIST_FILE,
          ID_CLEAR_LIST_FILES, ID_DELETE_LIST_FILE, ID_DELETE_ALL_LIST_FILES, ID_COMPRESS_LIST_FILE,
          ID_COMPRESS_ALL_LIST_FILES, ID_BROWSE_LIST_FOLDER},
         {}},
        {QStringLiteral("播放"),
         {ID_PLAY,
          ID_PAUSE,
          ID_STOP,
          0,
          ID_NEXT,
          ID_PREVIOUS,
          ID_NEXT_FRAME,
          ID_PREVIOUS_FRAME,
          0,
          ID_AUTO_PLAY,
          ID_LOOP_SINGLE,
          ID_LOOP_LIST,
          0,
          ID_MUTE,
          ID_GAME_MODE,
          SubMenuItem(0),
          SubMenuItem(1),
          0,
          ID_ZOOM_IN,
          ID_ZOOM_OUT,
          0,
          ID_FULL_SCREEN,
          ID_ACTUAL_SIZE,
          0,
          ID_SAVE_MOVIE_AS,
          ID_SEND_MAIL,
          ID_VIEW_FLASH_TOOLS,
          ID_CAPTURE,
          ID_BACK_COLOUR},
         SettingsMenus(ID_SPEED_FIRST, ID_QUALITY_FIRST)},
        {QStringLiteral("查看"), {ID_LIST_BAR, ID_NET_SEARCH, ID_TOP_MOST}, {}},
        {QStringLiteral("工具"),
         {ID_SEARCH_DIRECTORY, ID_SEARCH_DISK, ID_SEARCH_IE_CACHE, ID_DELETE_IE_CACHE_FLASH, 0,
          ID_IMAGE_OPTIONS, ID_BROWSE_IMAGE_FOLDER, ID_SET_WALLPAPER, ID_INSTALL_SCREENSAVER, 0,
          ID_AUTO_CLOSE, ID_CONFIGURATION, ID_SET_DEFAULT_PLAYER},
         {}},
        {QStringLiteral("帮助"), {ID_APP_ABOUT}, {}},
    };
}

MenuSpec TrayMenu() {
    return {QStringLiteral("Iconmenu"),
            {ID_PLAY, ID_PAUSE, ID_STOP, ID_NEXT, ID_PREVIOUS, 0, ID_TRAY_OPEN, ID_TRAY_EXIT},
            {}};
}

} // namespace kz
