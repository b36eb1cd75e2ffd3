// The commands of the sub-menus "播放速度" and "画质": the movie in play's (menu 播放) and the
// selected play-list rows' (the play list's menu).

#include "playback/PlayCtrlDlg.h"
#include "shell/CommandTable.h"
#include "shell/KZPlayerView.h"

#include <memory>
#include <optional>

namespace kz {

void RouteMovieSettings(CommandTable &t, int speedFirst, int qualityFirst,
                        std::function<CPlayCtrlDlg *()> ctrl,
                        std::function<QStringList()> identities) {
    // Each command changes one of the settings of every movie it is for; its check mark
    // follows the first of them. The rules run on the idle timer: the first movie's settings
    // are read once, not by every rule on every tick.
    auto first = std::make_shared<std::optional<LibraryRow>>();
    auto firstSettings = [first](CPlayCtrlDlg *c, const QString &identity) {
        if (!*first || (*first)->identity != identity)
            *first = LibraryRow{identity, c->SettingsOf(identity)};
        return (*first)->settings;
    };
    auto route = [&](int id, std::function<void(MovieSettings &)> change,
                     std::function<bool(const MovieSettings &)> chosen) {
        t.Route(
            id,
            [ctrl, identities, change, first] {
                CPlayCtrlDlg *c = ctrl();
                if (!c)
                    return;
                first->reset();
                for (const QString &identity : identities()) {
                    MovieSettings s = c->SettingsOf(identity);
                    change(s);
                    c->ChangeSettings(identity, s);
                }
            },
            [ctrl, identities, chosen, firstSettings] {
                CPlayCtrlDlg *c = ctrl();
                const QStringList ids = c ? identities() : QStringList();
                if (ids.isEmpty())
                    return CommandState{false, false};
                return CommandState{true, chosen(firstSettings(c, ids.first()))};
            },
            true);
    };
    for (int i = 0; i < kSpeedCount; ++i) {
        const double speed = kMovieSpeeds[i];
        route(
            speedFirst + i, [speed](MovieSettings &s) { s.speed = speed; },
            [speed](const MovieSettings &s) { return s.speed == speed; });
    }
    for (int i = 0; i < kQualityCount; ++i) {
        const auto quality = MovieQuality(i);
        route(
            qualityFirst + i, [quality](MovieSettings &s) { s.quality = quality; },
            [quality](const MovieSettings &s) { return s.quality == quality; });
    }
}

} // namespace kz
