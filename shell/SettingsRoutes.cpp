// The commands of the sub-menus "播放速度" and "画质": the movie in play's (menu 播放) and the
// selected play-list rows' (the play list's menu).

#include "playback/PlayCtrlDlg.h"
#include "shell/CommandTable.h"
#include "shell/KZPlayerView.h"

namespace kz {

void RouteMovieSettings(CommandTable &t, int speedFirst, int qualityFirst,
                        std::function<CPlayCtrlDlg *()> ctrl,
                        std::function<QStringList()> identities) {
    // Each command changes one of the settings of every movie it is for; its check mark
    // follows the first of them.
    auto route = [&](int id, std::function<void(MovieSettings &)> change,
                     std::function<bool(const MovieSettings &)> chosen) {
        t.Route(
            id,
            [ctrl, identities, change] {
                CPlayCtrlDlg *c = ctrl();
                if (!c)
                    return;
                for (const QString &identity : identities()) {
                    MovieSettings s = c->SettingsOf(identity);
                    change(s);
                    c->ChangeSettings(identity, s);
                }
            },
            [ctrl, identities, chosen] {
                CPlayCtrlDlg *c = ctrl();
                const QStringList ids = c ? identities() : QStringList();
                if (ids.isEmpty())
                    return CommandState{false, false};
                return CommandState{true, chosen(c->SettingsOf(ids.first()))};
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
