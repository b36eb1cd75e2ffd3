#include "MovieInstrument.h"

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfBits.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfTagCodes.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>

namespace kz {

namespace {

constexpr qsizetype kHeaderBytes = qsizetype(kSwfHeaderBytes);
// The first version whose ExternalInterface callbacks the engine exposes on the page.
constexpr int kCallbackVersion = 8;
constexpr std::uint8_t kAs3Flag = 0x08;
// How much more of a compressed body is inflated at a time, at least.
constexpr qsizetype kInflateStep = qsizetype(256) << 10;

const std::uint8_t *Bytes(const QByteArray &b, qsizetype at) {
    return reinterpret_cast<const std::uint8_t *>(b.constData()) + at;
}

// The body after the 8-byte header. An uncompressed one is read where it lies in the file; a
// compressed one is inflated into a buffer of its declared size (never beyond the cap), only as
// far as the walk has read: the tags past where instrumenting stops are never inflated.
class MovieBody {
public:
    MovieBody() = default;
    MovieBody(const MovieBody &) = delete;
    MovieBody &operator=(const MovieBody &) = delete;
    ~MovieBody() {
        if (m_zlib)
            inflateEnd(&m_z);
    }

    bool Open(const QByteArray &file, QString &reason);
    // Makes the first `end` bytes present; false when the body holds fewer.
    bool Ensure(qint64 end);
    const std::uint8_t *Data() const { return m_data; }
    qsizetype Size() const { return m_size; }
    // Its declared size (uncompressed: the file's), what the output is sized for.
    qsizetype Capacity() const { return m_capacity; }
    bool Damaged() const { return m_damaged; }

private:
    const std::uint8_t *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    std::unique_ptr<std::uint8_t[]> m_inflated;
    z_stream m_z{};
    bool m_zlib = false;
    bool m_finished = true;
    bool m_damaged = false;
};

bool MovieBody::Open(const QByteArray &file, QString &reason) {
    if (file.size() < kHeaderBytes) {
        reason = QStringLiteral("too short");
        return false;
    }
    const QByteArray sig = file.left(3);
    if (sig == "FWS") {
        if (file.size() - kHeaderBytes > kMaxInstrumentedBytes) {
            reason = QStringLiteral("too large");
            return false;
        }
        m_data = Bytes(file, kHeaderBytes);
        m_size = m_capacity = file.size() - kHeaderBytes;
        return true;
    }
    if (sig != "CWS") {
        reason = QStringLiteral("not zlib or uncompressed");
        return false;
    }
    const std::uint32_t declared = Le32(Bytes(file, 4));
    if (declared < kHeaderBytes || declared - kHeaderBytes > kMaxInstrumentedBytes) {
        reason = QStringLiteral("declared length out of range");
        return false;
    }
    m_capacity = qsizetype(declared - kHeaderBytes);
    // Left uninitialised: only the pages inflated into are ever touched.
    m_inflated.reset(new (std::nothrow)
                         std::uint8_t[std::size_t(std::max<qsizetype>(m_capacity, 1))]);
    if (!m_inflated || inflateInit(&m_z) != Z_OK) {
        reason = QStringLiteral("zlib");
        return false;
    }
    m_zlib = true;
    m_finished = false;
    m_data = m_inflated.get();
    m_z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(file.constData() + kHeaderBytes));
    m_z.avail_in = uInt(std::min<qint64>(file.size() - kHeaderBytes, UINT32_MAX));
    return true;
}

bool MovieBody::Ensure(qint64 end) {
    if (end <= m_size)
        return true;
    if (end > m_capacity)
        return false;
    while (!m_finished && m_size < end) {
        const qsizetype step =
            std::min(std::max<qsizetype>(end - m_size, kInflateStep), m_capacity - m_size);
        m_z.next_out = m_inflated.get() + m_size;
        m_z.avail_out = uInt(step);
        const int rc = inflate(&m_z, Z_NO_FLUSH);
        m_size = qsizetype(m_z.total_out);
        // A stream cut short still plays as far as it goes; what did inflate is the movie.
        if (rc == Z_STREAM_END || rc == Z_BUF_ERROR || m_size == m_capacity) {
            m_finished = true;
        } else if (rc != Z_OK) {
            m_finished = m_damaged = true;
        }
    }
    return end <= m_size;
}

struct Tag {
    std::uint16_t code = 0;
    qsizetype end = 0; // past the body
    qsizetype bodyStart = 0;
};

// The next tag at `pos`; false when its header or body runs past the data.
bool ReadTag(MovieBody &body, qsizetype pos, Tag &tag) {
    if (!body.Ensure(qint64(pos) + 2))
        return false;
    const std::uint32_t head = Le16(body.Data() + pos);
    tag.code = std::uint16_t(head >> 6);
    std::uint32_t length = head & kTagShortLengthMax;
    pos += 2;
    if (length == kTagShortLengthMax) {
        if (!body.Ensure(qint64(pos) + 4))
            return false;
        length = Le32(body.Data() + pos);
        pos += 4;
    }
    if (!body.Ensure(qint64(pos) + length))
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
            .GetPath("flash.external.ExternalInterface")
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
    MovieBody body;
    if (!body.Open(file, out.reason))
        return out;
    out.version = std::uint8_t(file[3]);
    // RECT, frame rate (8.8) and frame count.
    body.Ensure(std::min(qint64(kRectMaxBytes) + 4, qint64(body.Capacity())));
    const std::uint8_t *data = body.Data();
    const auto noHeader = [&] {
        out.reason =
            body.Damaged() ? QStringLiteral("damaged zlib stream") : QStringLiteral("no header");
        return out;
    };
    if (body.Size() == 0)
        return noHeader();
    const qsizetype rectBytes = qsizetype(RectByteCount(data[0]));
    const qsizetype tagsAt = rectBytes + 4;
    const std::optional<SwfRect> stage =
        ParseRect({data, std::size_t(std::min(body.Size(), rectBytes))});
    if (body.Size() < tagsAt || !stage)
        return noHeader();
    out.width = int((std::int64_t(stage->xMax) - stage->xMin) / 20);
    out.height = int((std::int64_t(stage->yMax) - stage->yMin) / 20);
    out.frameRate = Le16(data + rectBytes) / 256.0;
    out.frameCount = int(Le16(data + rectBytes + 2));

    // One pass that writes as it walks. The movie's own tags are copied a run at a time, up to
    // each tag of ours; the output never passes the cap, and the End tag always fits after it.
    const bool driven = out.version < kCallbackVersion;
    constexpr qsizetype kEndTagBytes = 2;
    QByteArray movie;
    movie.reserve(
        qsizetype(std::min(qint64(kHeaderBytes + body.Capacity()) + 4096, kMaxInstrumentedBytes)));
    movie.append("FWS").append(char(out.version)).append(4, '\0');
    movie.append(reinterpret_cast<const char *>(data), tagsAt);
    qsizetype copied = tagsAt; // the movie's bytes before this are in `movie`
    qsizetype pos = tagsAt;
    const auto fits = [&](qsizetype more) {
        return movie.size() + (pos - copied) + more + kEndTagBytes <= kMaxInstrumentedBytes;
    };
    const auto insert = [&](const QByteArray &ours) {
        movie.append(reinterpret_cast<const char *>(data) + copied, pos - copied);
        copied = pos;
        movie += ours;
    };
    const auto none = [&](const QString &reason) {
        out.reason = reason;
        return out;
    };
    int frame = 0;
    bool callbacksPlaced = false, ended = false;
    Tag t;
    while (ReadTag(body, pos, t)) { // a cut tail is dropped, as the engine drops it
        if (t.code == kTagEnd) {
            ended = true;
            break;
        }
        if (t.code == kTagFileAttributes && t.end > t.bodyStart && (data[t.bodyStart] & kAs3Flag))
            return none(QStringLiteral("ActionScript 3"));
        if (t.code == kTagSetBackgroundColor && t.end - t.bodyStart >= 3)
            out.backgroundColor = int(data[t.bodyStart]) << 16 | int(data[t.bodyStart + 1]) << 8 |
                                  data[t.bodyStart + 2];
        // Before the movie's own first actions: they may halt or leave the frame.
        const bool frameCode = t.code == kTagShowFrame || t.code == kTagDoAction;
        if (!callbacksPlaced && frame == 0 && frameCode) {
            QByteArray callbacks;
            if (driven) {
                ActionWriter load; // loadMovieNum(driver, level)
                load.GetUrl(driverUrl, kDriverLevel);
                callbacks = DoActionTag(load);
            } else {
                callbacks = SwfTag(kTagDoAction, CallbackActions({}) + '\0');
            }
            if (!fits(callbacks.size()))
                return none(QStringLiteral("too large"));
            insert(callbacks);
            callbacksPlaced = true;
        }
        if (t.code == kTagShowFrame) {
            // More frames than a header counts: mostly empty ones, a few zlib bytes a million,
            // whose reports would cost far more than the movie.
            if (frame == kMaxInstrumentedFrames)
                return none(QStringLiteral("more than %1 frames").arg(kMaxInstrumentedFrames));
            const QByteArray report = FrameReport(++frame);
            if (!fits(report.size()))
                return none(QStringLiteral("too large"));
            insert(report);
        }
        pos = t.end;
        if (!fits(0))
            return none(QStringLiteral("too large"));
    }
    if (body.Damaged() && !ended)
        return none(QStringLiteral("damaged zlib stream"));
    insert(SwfTag(kTagEnd, {}));
    const std::uint32_t length = std::uint32_t(movie.size());
    for (int i = 0; i < 4; ++i)
        movie[4 + i] = char(length >> (8 * i));
    out.movie = std::move(movie);
    if (driven) {
        out.driver = DriverMovie(QByteArray(reinterpret_cast<const char *>(data) + rectBytes, 2));
        out.kind = InstrumentedMovie::Kind::Driven;
    } else {
        out.kind = InstrumentedMovie::Kind::Direct;
    }
    return out;
}

} // namespace kz
