#pragma once
// The play controller's states and loop modes: the controller keeps them, the view reads them
// for its layout and its commands' update rules.

namespace kz {

inline constexpr int kStatePlaying = 0;
inline constexpr int kStatePaused = 1;
inline constexpr int kStateStopped = 2;
inline constexpr int kModeSingleLoop = 0;
inline constexpr int kModeListLoop = 1;

} // namespace kz
