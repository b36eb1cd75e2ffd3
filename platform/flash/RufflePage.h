#pragma once
// The page the Flash control shows: a stage holding one Ruffle player, and the script side of
// the bridge. The page lies in the program directory's "ruffle/" folder (its base address), so
// Ruffle finds its WebAssembly files there. Movies reach the page as data, never by address,
// because the engine cannot fetch local files.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace kz {

// The whole page; `webChannelScript` is the text of qwebchannel.js, inlined.
QString RuffleHostPage(const QString &webChannelScript);

// Ruffle's per-load options for the control's Scale and BackgroundColor values.
QJsonObject RuffleLoadOptions(const QString &scale, int backgroundRgb);

// The Ruffle scale mode for one of Flash's Scale texts (case-insensitive; unknown = showAll).
QString RuffleScaleMode(const QString &flashScale);

// "#rrggbb" for 0xRRGGBB; empty for a negative value.
QString CssColor(int rgb);

// Script calls, with every argument encoded as a JSON literal.
QString ScriptLoad(int seq, const QByteArray &movie, const QJsonObject &options);
QString ScriptCall(const char *function, const QJsonValue &argument = QJsonValue::Undefined);

} // namespace kz
