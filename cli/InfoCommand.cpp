#include "Commands.h"

#include "playback/SwfHeader.h"

namespace kz::cli {

QString JsonString(const QString &text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("\\\""); break;
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

namespace {

QString Json(const QString &path, const SwfHeaderInfo &h) {
    auto b = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    return QStringLiteral("{\"path\":%1,\"isFlash\":%2,\"version\":%3,\"fileLength\":%4,"
                          "\"frameRate\":%5,\"frameCount\":%6,\"left\":%7,\"right\":%8,"
                          "\"top\":%9,\"bottom\":%10,\"backgroundColor\":%11,\"playable\":%12}")
        .arg(JsonString(path), b(h.isFlash != 0))
        .arg(h.version)
        .arg(h.fileLength)
        .arg(h.frameRate)
        .arg(h.frameCount)
        .arg(h.left)
        .arg(h.right)
        .arg(h.top)
        .arg(h.bottom)
        .arg(h.backgroundColor)
        .arg(b(IsPlayableMovie(h)));
}

QString Text(const QString &path, const SwfHeaderInfo &h) {
    if (!h.isFlash)
        return QStringLiteral("%1: not a Flash movie").arg(path);
    return QStringLiteral("%1: Flash %2, %3 bytes, %4 fps, %5 frames, stage %6,%7-%8,%9 "
                          "(%10 x %11), background #%12, %13")
        .arg(path)
        .arg(h.version)
        .arg(h.fileLength)
        .arg(h.frameRate)
        .arg(h.frameCount)
        .arg(h.left)
        .arg(h.top)
        .arg(h.right)
        .arg(h.bottom)
        .arg(h.right - h.left)
        .arg(h.bottom - h.top)
        .arg(h.backgroundColor, 6, 16, QChar(u'0'))
        .arg(IsPlayableMovie(h) ? QStringLiteral("playable") : QStringLiteral("not playable"));
}

} // namespace

int RunInfo(const QStringList &args, Io &io) {
    bool json = false;
    QStringList files;
    for (const QString &a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (a.startsWith(u'-') && a.size() > 1)
            return kExitUsage;
        else
            files << a;
    }
    if (files.isEmpty())
        return kExitUsage;
    for (const QString &path : files) {
        SwfHeaderInfo h;
        ReadSwfHeader(path, h);
        io.out << (json ? Json(path, h) : Text(path, h)) << '\n';
    }
    return kExitOk;
}

static const CommandRegistrar kInfo{
    {"info",
     "info [--json] FILE...\n"
     "    Reads each movie's header. With --json, one JSON object per line with the keys\n"
     "    path, isFlash, version, fileLength, frameRate, frameCount, left, right, top,\n"
     "    bottom, backgroundColor (0xRRGGBB as an integer) and playable.\n"
     "    A file that is not a movie is a normal result.",
     &RunInfo}};

} // namespace kz::cli
