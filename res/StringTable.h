#pragma once
// The string table: message and status texts by their resource id.

#include <QString>

namespace kz {

inline constexpr int IDS_OLE_INIT_FAILED = 100;
inline constexpr int IDS_DEFAULT_PLAYER_DONE = 101;
inline constexpr int IDS_CONFIRM_DELETE = 102;
inline constexpr int IDS_FILES_COPIED = 103;
inline constexpr int IDS_COLUMN_FOLDER = 104;
inline constexpr int IDS_COLUMN_MOVIES = 105;
inline constexpr int IDS_COLUMN_LIST_FILES = 106;
inline constexpr int IDS_TITLE = 107;
inline constexpr int IDS_FLASH_FOUND = 108;
inline constexpr int IDS_READY = 110;
inline constexpr int IDS_SAVED = 111;
inline constexpr int IDS_COMPRESSED = 112;
inline constexpr int IDS_SEARCHING = 113;
inline constexpr int IDS_NO_FLASH_FOUND = 114;
inline constexpr int IDS_CANNOT_CREATE_FAVOURITES = 115;

// The text of a string resource; empty for an id the table does not hold.
QString LoadString(int id);

} // namespace kz
