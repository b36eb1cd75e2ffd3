#pragma once
// Command ids, their captions and keys, and the menus built from them (main menu 128, the
// notification-area menu 137). A caption's text after a tab names its key.

#include <QList>
#include <QString>

namespace kz {

// Application
inline constexpr int ID_SET_DEFAULT_PLAYER = 32790;
inline constexpr int ID_APP_ABOUT = 57664;
// Frame
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_NET_SEARCH = 32922;
inline constexpr int ID_SEARCH_DIRECTORY = 32771;
inline constexpr int ID_SEARCH_DISK = 32909;
inline constexpr int ID_SEARCH_IE_CACHE = 32789;
inline constexpr int ID_LAST_PLAY_LIST = 32846;
inline constexpr int ID_FAVOURITE_LIST = 32845;
inline constexpr int ID_SAVE_AS_LIST_FILE = 32826;
inline constexpr int ID_ADD_TO_LIST_FILE = 32787;
inline constexpr int ID_ADD_TO_FAVOURITES = 32847;
inline constexpr int ID_REMOVE_FROM_LIST = 32779;
inline constexpr int ID_CLEAR_PLAY_LIST = 32780;
inline constexpr int ID_DELETE_FILE = 32781;
inline constexpr int ID_DELETE_ALL_FILES = 32782;
inline constexpr int ID_FILE_SAVE_AS = 32783;
inline constexpr int ID_COPY_TO_DIRECTORY = 32784;
inline constexpr int ID_RENAME_FILE = 32785;
inline constexpr int ID_FRAME_FLASH_TOOLS = 32794;
inline constexpr int ID_BROWSE_FOLDER = 32915;
inline constexpr int ID_DELETE_SAVES = 32926;
inline constexpr int ID_OPEN_LIST_FILE = 32773;
inline constexpr int ID_NEW_LIST_FILE = 32772;
inline constexpr int ID_REMOVE_LIST_FILE = 32775;
inline constexpr int ID_CLEAR_LIST_FILES = 32776;
inline constexpr int ID_DELETE_LIST_FILE = 32777;
inline constexpr int ID_DELETE_ALL_LIST_FILES = 32778;
inline constexpr int ID_COMPRESS_LIST_FILE = 32857;
inline constexpr int ID_COMPRESS_ALL_LIST_FILES = 32858;
inline constexpr int ID_BROWSE_LIST_FOLDER = 32917;
inline constexpr int ID_FULL_SCREEN = 32815;
inline constexpr int ID_ACTUAL_SIZE = 32896;
inline constexpr int ID_LIST_BAR = 32791;
inline constexpr int ID_TOP_MOST = 32907;
inline constexpr int ID_IMAGE_OPTIONS = 32798;
inline constexpr int ID_BROWSE_IMAGE_FOLDER = 32913;
inline constexpr int ID_SET_WALLPAPER = 32800;
inline constexpr int ID_AUTO_CLOSE = 32842;
inline constexpr int ID_INSTALL_SCREENSAVER = 32905;
inline constexpr int ID_CONFIGURATION = 32793;
inline constexpr int ID_DELETE_IE_CACHE_FLASH = 32792;
inline constexpr int ID_LIST_FILE_INFO = 32872;
inline constexpr int ID_FTP_CLIENT = 32873;
inline constexpr int ID_RUN_UPDATER = 32868;
// View
inline constexpr int ID_PLAY = 32801;
inline constexpr int ID_PAUSE = 32802;
inline constexpr int ID_STOP = 32803;
inline constexpr int ID_AUTO_PLAY = 32804;
inline constexpr int ID_LOOP_SINGLE = 32806;
inline constexpr int ID_LOOP_LIST = 32807;
inline constexpr int ID_NEXT = 32808;
inline constexpr int ID_PREVIOUS = 32809;
inline constexpr int ID_NEXT_FRAME = 32930;
inline constexpr int ID_PREVIOUS_FRAME = 32931;
// The movie in play's speed and quality (menu 播放), and the selected rows' (the play list's).
inline constexpr int ID_SPEED_FIRST = 32932;   // 0.5x, 1x, 1.5x, 2x, 3x in turn
inline constexpr int ID_QUALITY_FIRST = 32937; // 低, 中, 高, 最佳 in turn
inline constexpr int ID_ROW_SPEED_FIRST = 32941;
inline constexpr int ID_ROW_QUALITY_FIRST = 32946;
inline constexpr int kSpeedCount = 5;
inline constexpr int kQualityCount = 4;
inline constexpr int ID_MUTE = 32810;
inline constexpr int ID_ZOOM_IN = 32813;
inline constexpr int ID_ZOOM_OUT = 32814;
inline constexpr int ID_SAVE_MOVIE_AS = 32817;
inline constexpr int ID_SEND_MAIL = 32816;
inline constexpr int ID_VIEW_FLASH_TOOLS = 32818;
inline constexpr int ID_CAPTURE = 32799;
inline constexpr int ID_GAME_MODE = 32911;
inline constexpr int ID_BACK_COLOUR = 32919;
inline constexpr int ID_TRAY_OPEN = 32823;
inline constexpr int ID_TRAY_EXIT = 32824;

inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_ICONMENU = 137;

struct CommandText {
    int id = 0;
    QString caption; // without the key
    QString key;     // "F5", "Ctrl+O"; empty for none
};

// The caption and key of a command as the main menu shows it; for commands without a menu
// item (keys only) the caption is empty. Unknown ids give an empty record with id 0.
CommandText CommandTextOf(int id);
// Every command id with a text, in id order.
QList<int> AllCommandIds();
// The command the accelerator table gives a key ("F5", "Ctrl+O"); 0 for none.
int CommandOfKey(const QString &key);

// A menu: items are command ids, 0 a separator, SubMenuItem(i) the sub-menu subMenus[i] (a
// choice of one of its items).
struct MenuSpec {
    QString caption;
    QList<int> items;
    QList<MenuSpec> subMenus;
};
constexpr int SubMenuItem(int index) {
    return -1 - index;
}
constexpr int SubMenuIndex(int item) {
    return item < 0 ? -1 - item : -1;
}
// Menu 128's sub-menus in order ("文件", "列表", "播放", …) and menu 137's one sub-menu.
QList<MenuSpec> MainMenu();
MenuSpec TrayMenu();

} // namespace kz
