#pragma once
// The Flash tools' commands of the frame and the view: "Flash工具" with the selected play-list
// rows (32794) or with the current movie (32818), and "安装屏保" (32905).

#include <QStringList>

#include <optional>

namespace kz {

class CMainFrame;

void RouteToolsCommands(CMainFrame &frame);

// What the view's command hands the tools dialog: nothing while stopped, the movie's cache
// file for a web movie (none at all when the cache has no file for it: the command ends), else
// the current play-list row as a movie reference.
std::optional<QStringList> CurrentMovieForTools(CMainFrame &frame);

} // namespace kz
