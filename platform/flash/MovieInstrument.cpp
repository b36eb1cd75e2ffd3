#include "MovieInstrument.h"

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfBits.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfTagCodes.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <functional>

namespace kz {

namespace {

constexpr qsizetype kHeaderBytes = qsizetype(kSwfHeaderBytes);
// The first version whose ExternalInterface callbacks the engine exposes on the page.
constexpr int kCallbackVersion = 8;
constexpr std::uint8_t kAs3Flag = 0x08;

const std::uint8_t *Bytes(const QByteArray &b, qsizetype at) {
    return reinterpret_cast<const std::uint8_t *>(b.constData()) + at;
}

// The body after the 8-byte header, inflated when compressed. Empty on any failure; never
// larger than the cap, whatever the header declares.
bool MovieBody(const QByteArray &file, QByteArray &body, QString &reason) {
    if (file.size() < kHeaderBytes) {
        reason = QStringLiteral("too short");
        return false;
    }
    const QByteArray sig = file.left(3);
    const std::uint32_t declared = Le32(Bytes(file, 4));
    if (sig == "FWS") {
        if (file.size() - kHeaderBytes > kMaxInstrumentedBytes) {
            reason = QStringLiteral("too large");
            return false;
        }
        body = file.mid(kHeaderBytes);
        return true;
    }
    if (sig != "CWS") {
        reason = QStringLiteral("not zlib or uncompressed");
        return false;
    }
    if (declared < kHeaderBytes || declared - kHeaderBytes > kMaxInstrumentedBytes) {
        reason = QStringLiteral("declared length out of range");
        return false;
    }
    body.resize(qsizetype(declared - kHeaderBytes));
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        reason = QStringLiteral("zlib");
        return false;
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(file.constData() + kHeaderBytes));
    z.avail_in = uInt(file.size() - kHeaderBytes);
    z.next_out = reinterpret_cast<Bytef *>(body.data());
    z.avail_out = uInt(body.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = z.total_out;
    inflateEnd(&z);
    // A stream cut short still plays as far as it goes; what did inflate is the movie.
    if (rc != Z_STREAM_END && rc != Z_BUF_ERROR && rc != Z_OK) {
        reason = QStringLiteral("damaged zlib stream");
        return false;
    }
    body.truncate(qsizetype(produced));
    return true;
}

struct Tag {
    std::uint16_t code = 0;
    qsizetype start = 0; // of the tag header
    qsizetype end = 0;   // past the body
    qsizetype bodyStart = 0;
};

// The next tag at `pos`; false when its header or body runs past the data.
bool ReadTag(const QByteArray &body, qsizetype pos, Tag &tag) {
    if (pos + 2 > body.size())
        return false;
    const std::uint32_t head = Le16(Bytes(body, pos));
    tag.code = std::uint16_t(head >> 6);
    tag.start = pos;
    std::uint32_t length = head & kTagShortLengthMax;
    pos += 2;
    if (length == kTagShortLengthMax) {
        if (pos + 4 > body.size())
            return false;
        length = Le32(Bytes(body, pos));
        pos += 4;
    }
    if (qint64(length) > body.size() - pos)
        return false;
    tag.bodyStart = pos;
    tag.end = pos + qsizetype(length);
    return true;
}

QByteArray FrameReport(int frame) {
    ActionWriter a;
    a.GetUrl(QByteArray("FSCommand:") + kFrameCommand, QByteArray::number(frame));
    return DoActionTag(a);
}

// The driver of an old movie: SWF 8, one frame, nothing to show; its callbacks act on _level0.
QByteArray DriverMovie(const QByteArray &rate) {
    ActionWriter stop;
    stop.Stop();
    const QByteArray doAction = CallbackActions("_level0") + stop.Bytes() + '\0';
    const QByteArray tags =
        SwfTag(kTagDoAction, doAction) + SwfTag(kTagShowFrame, {}) + SwfTag(kTagEnd, {});
    // A 1 x 1 pixel stage, the movie's rate, one frame.
    const QByteArray body =
        RectBytes(SwfRect{0, 20, 0, 20}) + rate + QByteArray::fromHex("0100") + tags;
    return MovieBytes('F', std::uint8_t(kCallbackVersion),
                      std::uint32_t(kHeaderBytes + body.size()), body);
}

} // namespace

QByteArray CallbackActions(const QByteArray &target) {
    auto onTarget = [&](ActionWriter &body, const std::function<void(ActionWriter &)> &inner) {
        if (!target.isEmpty())
            body.SetTarget(target);
        inner(body);
        if (!target.isEmpty())
            body.SetTarget({});
    };
    ActionWriter gotoBody, playBody, stopBody;
    onTarget(gotoBody, [](ActionWriter &w) { w.PushString("n").GetVariable().GotoFrame2(false); });
    onTarget(playBody, [](ActionWriter &w) { w.Play(); });
    onTarget(stopBody, [](ActionWriter &w) { w.Stop(); });

    ActionWriter a;
    auto add = [&](const char *name, const QByteArrayList &params, const ActionWriter &body) {
        // flash.external.ExternalInterface.addCallback(name, null, function)
        a.DefineFunction(params, body)
            .PushNull()
            .PushString(name)
            .PushInt(3)
            .PushString("flash")
            .GetVariable()
            .PushString("external")
            .GetMember()
            .PushString("ExternalInterface")
            .GetMember()
            .PushString("addCallback")
            .CallMethod()
            .Pop();
    };
    add("kzGoto", {"n"}, gotoBody);
    add("kzPlay", {}, playBody);
    add("kzStop", {}, stopBody);
    return a.Bytes();
}

InstrumentedMovie InstrumentMovie(const QByteArray &file, const QByteArray &driverUrl) {
    InstrumentedMovie out;
    QByteArray body;
    if (!MovieBody(file, body, out.reason))
        return out;
    out.version = std::uint8_t(file[3]);
    // RECT, frame rate (8.8) and frame count.
    if (body.isEmpty()) {
        out.reason = QStringLiteral("no header");
        return out;
    }
    const qsizetype rectBytes = qsizetype(RectByteCount(std::uint8_t(body[0])));
    const qsizetype tagsAt = rectBytes + 4;
    const std::optional<SwfRect> stage =
        ParseRect({Bytes(body, 0), std::size_t(std::min(body.size(), rectBytes))});
    if (body.size() < tagsAt || !stage) {
        out.reason = QStringLiteral("no header");
        return out;
    }
    out.width = int((std::int64_t(stage->xMax) - stage->xMin) / 20);
    out.height = int((std::int64_t(stage->yMax) - stage->yMin) / 20);
    out.frameRate = Le16(Bytes(body, rectBytes)) / 256.0;
    out.frameCount = int(Le16(Bytes(body, rectBytes + 2)));

    // One pass to learn the movie; the second writes it.
    QList<Tag> tags;
    qsizetype pos = tagsAt;
    bool ended = false;
    while (pos < body.size()) {
        Tag t;
        if (!ReadTag(body, pos, t))
            break; // a cut tail is dropped, as the engine drops it
        if (t.code == 0) {
            ended = true;
            break;
        }
        if (t.code == kTagFileAttributes && t.end > t.bodyStart &&
            (std::uint8_t(body[t.bodyStart]) & kAs3Flag)) {
            out.reason = QStringLiteral("ActionScript 3");
            return out;
        }
        if (t.code == kTagSetBackgroundColor && t.end - t.bodyStart >= 3)
            out.backgroundColor = int(std::uint8_t(body[t.bodyStart])) << 16 |
                                  int(std::uint8_t(body[t.bodyStart + 1])) << 8 |
                                  std::uint8_t(body[t.bodyStart + 2]);
        tags << t;
        pos = t.end;
    }
    Q_UNUSED(ended);

    const bool driven = out.version < kCallbackVersion;
    QByteArray rewritten = body.left(tagsAt);
    rewritten.reserve(body.size() + tags.size() * 32 + 512);
    int frame = 0;
    bool callbacksPlaced = false;
    for (const Tag &t : tags) {
        // Before the movie's own first actions: they may halt or leave the frame.
        const bool frameCode = t.code == kTagShowFrame || t.code == kTagDoAction;
        if (!callbacksPlaced && frame == 0 && frameCode) {
            if (driven) {
                ActionWriter load; // loadMovieNum(driver, level)
                load.GetUrl(driverUrl, kDriverLevel);
                rewritten += DoActionTag(load);
            } else {
                rewritten += SwfTag(kTagDoAction, CallbackActions({}) + '\0');
            }
            callbacksPlaced = true;
        }
        if (t.code == kTagShowFrame)
            rewritten += FrameReport(++frame);
        rewritten.append(body.constData() + t.start, t.end - t.start);
    }
    rewritten += SwfTag(kTagEnd, {});
    if (rewritten.size() + kHeaderBytes > kMaxInstrumentedBytes) {
        out.reason = QStringLiteral("too large");
        return out;
    }
    out.movie = MovieBytes('F', std::uint8_t(out.version),
                           std::uint32_t(kHeaderBytes + rewritten.size()), rewritten);
    if (driven) {
        out.driver = DriverMovie(body.mid(rectBytes, 2));
        out.kind = InstrumentedMovie::Kind::Driven;
    } else {
        out.kind = InstrumentedMovie::Kind::Direct;
    }
    return out;
}

} // namespace kz
