#pragma once
// The user's XDG base folders and the player's own data folder in them. An XDG variable counts
// only when it holds an absolute path; otherwise the usual folder under the home is used.

#include <QString>

namespace kz {

// $XDG_CONFIG_HOME, else ~/.config (no trailing separator).
QString ConfigHome();
// $XDG_DATA_HOME, else ~/.local/share (no trailing separator).
QString DataHome();
// $XDG_CACHE_HOME, else ~/.cache (no trailing separator).
QString CacheHome();

// The files the player writes for its user (play-list state, favourites, captures):
// DataHome() + "/KZPlayer/", with a trailing separator. Not created here.
QString UserDataDir();

} // namespace kz
