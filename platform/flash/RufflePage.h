#pragma once
// The page the Flash control shows: a stage holding one Ruffle player, and the script side of
// the bridge. The page and everything it loads (the runtime, the movie) come through the
// player's own URL scheme, so the page needs no access to local files and a movie never
// travels as text.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace kz {

// The whole page; `webChannelScript` is the text of qwebchannel.js, inlined. The page reports
// it has started with `pageToken`, so that a report of a page already replaced is told apart.
QString RuffleHostPage(const QString &webChannelScript, int pageToken);

// How the page shows the movie for the control's Scale and BackgroundColor values (applied to
// the running movie, never by reloading it).
QJsonObject RuffleLook(const QString &scale, int backgroundRgb);

// The Ruffle scale mode for one of Flash's Scale texts (case-insensitive; unknown = showAll).
QString RuffleScaleMode(const QString &flashScale);

// "#rrggbb" for 0xRRGGBB; empty for a negative value.
QString CssColor(int rgb);

// Script calls, with every argument encoded as a JSON literal.
// Loads the movie at `url`; `withReports` when it was instrumented (frame reports, callbacks).
// `webOrigin` ("http://host:port") is a web movie's site, whose addresses the page reaches
// through the player.
// `options` are the engine's own load options (RuffleLoadOptions).
QString ScriptLoad(int seq, const QString &url, bool withReports, const QJsonObject &look,
                   const QString &webOrigin = {}, const QJsonObject &options = {});
// The engine's load options for a movie played at `frameRate` frames a second (0: its own
// rate) and at `quality` (empty: the engine's default; only the engine's four names count).
QJsonObject RuffleLoadOptions(double frameRate, const QString &quality);
QString ScriptCall(const char *function, const QJsonValue &argument = QJsonValue::Undefined);

} // namespace kz
