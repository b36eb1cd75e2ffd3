#include "RufflePage.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace kz {

namespace {

// The page's script. `bridge` is the C++ side (see RuffleBridge); every report carries the
// load's sequence number so that reports of an earlier movie are dropped there.
constexpr char kPageScript[] = R"JS(
"use strict";
// The engine fetches its WebAssembly and every movie; the browser's fetch does not know the
// player's own scheme, a request does.
const nativeFetch = window.fetch.bind(window);
function schemeFetch(url) {
  return new Promise((resolve, reject) => {
    const x = new XMLHttpRequest();
    x.open("GET", url);
    x.responseType = "blob";
    x.onload = () => {
      if (x.status !== 200) { reject(new TypeError("not found: " + url)); return; }
      const type = x.response.type || "application/octet-stream";
      const response = new Response(x.response, { status: 200, headers: { "Content-Type": type } });
      // The engine takes the movie's address (for its saves and loads) from the answer.
      Object.defineProperty(response, "url", { value: url });
      resolve(response);
    };
    x.onerror = () => reject(new TypeError("failed: " + url));
    x.send();
  });
}
// A web movie's own site is reached through the player (its cache, no cross-origin rules),
// as the movie's folder would be; other addresses go to the network as a browser sends them.
let webOrigin = null;
window.fetch = (input, init) => {
  const url = new URL(input instanceof Request ? input.url : String(input), location.href);
  const method = ((init && init.method) || (input instanceof Request ? input.method : "GET"));
  if (url.protocol === location.protocol) return schemeFetch(url.href);
  if (webOrigin && url.origin === webOrigin && method.toUpperCase() === "GET")
    return schemeFetch(location.origin + url.pathname + url.search);
  return nativeFetch(input, init);
};
// A movie's links (getURL, navigateToURL) go to the player, which opens them on the desktop.
window.open = (address) => { report("OpenLink", seq, String(address)); return null; };
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  publicPath: "./", autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
  contextMenu: "off", letterbox: "off", warnOnUnsupportedContent: false,
  showSwfDownload: false, openUrlMode: "allow", logLevel: "error"
};
let bridge = null, player = null, url = null, instrumented = false, seq = 0, loadOptions = {};
// Every go-to, play and pause opens an epoch; reports sent before it are stale.
let epoch = 0, paused = false;
let scale = "showAll", background = "", stageSize = null, movieColour = "";
const stage = document.getElementById("stage");
function report(name, ...args) { if (bridge) bridge[name](...args); }
function dropPlayer() { if (player) { player.remove(); player = null; } }
// Scale and colour apply to the running movie: the engine draws a transparent stage into an
// element sized for the scale mode, whose own colour is the stage colour.
function applyLook() {
  // Around the stage (a zoomed-out or unscaled movie) the movie's colour goes on.
  document.body.style.background = background || movieColour || "#000";
  if (!player) return;
  player.style.background = background || movieColour || "#fff";
  if (scale === "noScale" && stageSize) {
    player.style.width = stageSize.width + "px";
    player.style.height = stageSize.height + "px";
  } else {
    player.style.width = "100%";
    player.style.height = "100%";
  }
}
function call(name, ...args) {
  if (!player || !instrumented || typeof player[name] !== "function") return false;
  try { player[name](...args); return true; } catch (e) { return false; }
}
function startPlayer() {
  dropPlayer();
  const mine = seq;
  stageSize = null; movieColour = "";
  player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  stage.appendChild(player);
  applyLook();
  if (instrumented) {
    player.onFSCommand = (command, args) => {
      if (mine === seq && command === "kzframe") report("Frame", mine, Number(args), epoch);
      return true;
    };
  }
  player.addEventListener("loadedmetadata", () => {
    if (mine !== seq) return;
    const m = player.ruffle().metadata;
    stageSize = { width: m.width, height: m.height };
    movieColour = m.backgroundColor || "";
    applyLook();
    report("Metadata", mine, {
      width: m.width, height: m.height, frameRate: m.frameRate, numFrames: m.numFrames,
      swfVersion: m.swfVersion, backgroundColor: m.backgroundColor || ""
    }, player.ruffle().isPlaying);
  });
  // Relative addresses resolve against the movie's own folder, as Flash resolved them.
  player.ruffle().load(Object.assign({}, loadOptions, {
      url: url, base: new URL(".", url).href, scale: "showAll", forceScale: true,
      wmode: "transparent", allowScriptAccess: instrumented }))
    .catch((e) => { if (mine === seq) report("LoadFailed", mine, String(e)); });
}
window.kzLoad = (s, address, withReports, look, site, options) => {
  seq = s; url = address; instrumented = withReports; paused = false;
  loadOptions = options || {};
  webOrigin = site || null;
  scale = look.scale; background = look.background;
  startPlayer();
};
window.kzClear = (s) => { seq = s; url = null; dropPlayer(); };
window.kzOptions = (look) => { scale = look.scale; background = look.background; applyLook(); };
window.kzRestart = () => { if (url) startPlayer(); };
window.kzPlay = (e) => {
  epoch = e; paused = false;
  if (!player) return;
  player.ruffle().resume();
  call("kzPlay");
};
// A paused movie shows its last frame, without the engine's play-button overlay.
function suspend() {
  player.ruffle().suspend();
  const button = player.shadowRoot && player.shadowRoot.getElementById("play-button");
  if (button) button.style.display = "none";
}
window.kzPause = (e) => {
  epoch = e; paused = true;
  if (!player) return;
  call("kzStop");
  suspend();
};
// Frames counted from 1; the timeline stands there, and plays on when asked. A paused engine
// runs a moment so the frame is drawn and reported.
window.kzGoto = (e, frame, play) => {
  epoch = e;
  if (!call("kzGoto", frame)) return;
  if (play) {
    paused = false;
    player.ruffle().resume();
    call("kzPlay");
  } else if (paused) {
    const mine = player;
    player.ruffle().resume();
    setTimeout(() => { if (paused && player === mine) suspend(); }, 250);
  }
};
// A new page takes up the control's epoch, so its reports are not taken for stale ones.
window.kzEpoch = (e) => { epoch = e; };
window.kzZoom = (f) => { stage.style.transform = "scale(" + f + ")"; };
window.kzBackground = (css) => { background = css; applyLook(); };
new QWebChannel(qt.webChannelTransport, (channel) => {
  bridge = channel.objects.bridge;
  bridge.PageReady(pageToken);
});
)JS";

constexpr char kPageHead[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #000; }
#stage { width: 100%; height: 100%; transform-origin: 50% 50%; display: flex;
         align-items: center; justify-content: center; overflow: hidden; }
#stage ruffle-player { display: block; width: 100%; height: 100%; flex: none; }
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

QString RuffleHostPage(const QString &webChannelScript, int pageToken) {
    return QString::fromUtf8(kPageHead) + webChannelScript +
           QStringLiteral("\nconst pageToken = %1;\n").arg(pageToken) +
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

QJsonObject RuffleLook(const QString &scale, int backgroundRgb) {
    QJsonObject o;
    o.insert(QStringLiteral("scale"), RuffleScaleMode(scale));
    o.insert(QStringLiteral("background"), CssColor(backgroundRgb));
    return o;
}

QString ScriptLoad(int seq, const QString &url, bool withReports, const QJsonObject &look,
                   const QString &webOrigin, const QJsonObject &options) {
    return QStringLiteral("kzLoad(%1,%2,%3,%4,%5,%6)")
        .arg(seq)
        .arg(Json(url), withReports ? QStringLiteral("true") : QStringLiteral("false"), Json(look),
             webOrigin.isEmpty() ? QStringLiteral("null") : Json(webOrigin), Json(options));
}

QJsonObject RuffleLoadOptions(double frameRate, const QString &quality) {
    QJsonObject o;
    if (std::isfinite(frameRate) && frameRate > 0)
        o.insert(QStringLiteral("frameRate"), frameRate);
    static const QStringList kQualities = {QStringLiteral("low"), QStringLiteral("medium"),
                                           QStringLiteral("high"), QStringLiteral("best")};
    if (kQualities.contains(quality))
        o.insert(QStringLiteral("quality"), quality);
    return o;
}

QString ScriptCall(const char *function, const QJsonValue &argument) {
    return QString::fromLatin1(function) + u'(' + Json(argument) + u')';
}

} // namespace kz
