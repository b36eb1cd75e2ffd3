#include "RufflePage.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kz {

namespace {

// The page's script. `bridge` is the C++ side (see RuffleBridge); every report carries the
// load's sequence number so that reports of an earlier movie are dropped there.
constexpr char kPageScript[] = R"JS(
"use strict";
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  publicPath: "./", autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
  contextMenu: "off", letterbox: "off", warnOnUnsupportedContent: false,
  showSwfDownload: false, openUrlMode: "deny", logLevel: "error"
};
let bridge = null, player = null, data = null, options = {}, seq = 0;
const stage = document.getElementById("stage");
function report(name, ...args) { if (bridge) bridge[name](...args); }
function dropPlayer() { if (player) { player.remove(); player = null; } }
function startPlayer() {
  dropPlayer();
  const mine = seq;
  player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  stage.appendChild(player);
  player.addEventListener("loadedmetadata", () => {
    if (mine !== seq) return;
    const m = player.ruffle().metadata;
    report("Metadata", mine, {
      width: m.width, height: m.height, frameRate: m.frameRate, numFrames: m.numFrames,
      swfVersion: m.swfVersion, backgroundColor: m.backgroundColor || ""
    }, player.ruffle().isPlaying);
  });
  player.ruffle().load(Object.assign({ data: data }, options))
    .catch((e) => { if (mine === seq) report("LoadFailed", mine, String(e)); });
}
window.kzLoad = (s, b64, opts) => {
  seq = s;
  const bin = atob(b64);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; ++i) bytes[i] = bin.charCodeAt(i);
  data = bytes; options = opts;
  startPlayer();
};
window.kzClear = (s) => { seq = s; data = null; dropPlayer(); };
// Scale and colour are load options in the engine: a loaded movie starts again with them.
window.kzOptions = (opts) => {
  const changed = JSON.stringify(opts) !== JSON.stringify(options);
  options = opts;
  if (changed && data) startPlayer();
};
window.kzRestart = () => { if (data) startPlayer(); };
window.kzPlay = () => { if (player) player.ruffle().resume(); };
// A paused movie shows its last frame, without the engine's play-button overlay.
window.kzPause = () => {
  if (!player) return;
  player.ruffle().suspend();
  const button = player.shadowRoot && player.shadowRoot.getElementById("play-button");
  if (button) button.style.display = "none";
};
window.kzZoom = (f) => { stage.style.transform = "scale(" + f + ")"; };
window.kzBackground = (css) => { document.body.style.background = css || "#000"; };
new QWebChannel(qt.webChannelTransport, (channel) => {
  bridge = channel.objects.bridge;
  bridge.PageReady();
});
)JS";

constexpr char kPageHead[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #000; }
#stage { width: 100%; height: 100%; transform-origin: 50% 50%; }
#stage ruffle-player { display: block; width: 100%; height: 100%; }
</style></head><body><div id="stage"></div>
<script src="ruffle.js"></script>
<script>
)HTML";

QString Json(const QJsonValue &v) {
    if (v.isUndefined())
        return QString();
    // A one-element array keeps any value (also a bare string) valid JSON; cut the brackets.
    const QByteArray text = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}

} // namespace

QString RuffleHostPage(const QString &webChannelScript) {
    return QString::fromUtf8(kPageHead) + webChannelScript + QStringLiteral("\n") +
           QString::fromUtf8(kPageScript) + QStringLiteral("</script></body></html>\n");
}

QString RuffleScaleMode(const QString &flashScale) {
    const QString s = flashScale.toLower();
    if (s == u"noscale")
        return QStringLiteral("noScale");
    if (s == u"exactfit")
        return QStringLiteral("exactFit");
    if (s == u"noborder")
        return QStringLiteral("noBorder");
    return QStringLiteral("showAll");
}

QString CssColor(int rgb) {
    if (rgb < 0)
        return QString();
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

QJsonObject RuffleLoadOptions(const QString &scale, int backgroundRgb) {
    QJsonObject o;
    o.insert(QStringLiteral("scale"), RuffleScaleMode(scale));
    o.insert(QStringLiteral("forceScale"), true);
    if (backgroundRgb >= 0)
        o.insert(QStringLiteral("backgroundColor"), CssColor(backgroundRgb));
    else
        o.insert(QStringLiteral("backgroundColor"), QJsonValue::Null);
    return o;
}

QString ScriptLoad(int seq, const QByteArray &movie, const QJsonObject &options) {
    return QStringLiteral("kzLoad(%1,\"%2\",%3)")
        .arg(seq)
        .arg(QString::fromLatin1(movie.toBase64()))
        .arg(Json(options));
}

QString ScriptCall(const char *function, const QJsonValue &argument) {
    return QString::fromLatin1(function) + u'(' + Json(argument) + u')';
}

} // namespace kz
