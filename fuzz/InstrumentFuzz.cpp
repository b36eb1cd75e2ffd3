// Instrumenting a movie for exact frames: any bytes either play as they are (Kind::None, with
// a reason) or give a movie that our own readers read back whole: the header reader sees the
// original's version, stage, rate and frame count, the tag walker reaches the End tag at the
// last byte, every frame has its report right before it, and an old movie's driver reads too.

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/TagWalker.h"
#include "platform/flash/MovieInstrument.h"
#include "playback/SwfHeader.h"

#include <cstdlib>
#include <span>
#include <vector>

namespace {

std::span<const std::uint8_t> Span(const QByteArray &b) {
    return {reinterpret_cast<const std::uint8_t *>(b.constData()), std::size_t(b.size())};
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

struct Walked {
    int frames = 0;
    int reports = 0;   // frames with their report right before them
    bool ours = false; // the callbacks, or the driver's load, before frame 1
};

// Walks a whole uncompressed movie with the tag walker; aborts unless it ends with the End tag
// at its last byte and its header keeps `frameCount`. `first` is the actions of ours that come
// before frame 1.
Walked Walk(const QByteArray &movie, int frameCount, const QByteArray &first) {
    Check(movie.size() >= qsizetype(kz::kSwfHeaderBytes) && movie.startsWith("FWS"));
    const auto bytes = Span(movie);
    Check(kz::Le32(bytes.data() + 4) == std::uint32_t(movie.size()));
    kz::MemorySource source(bytes.subspan(kz::kSwfHeaderBytes));
    kz::MovieBodyHeader head;
    Check(kz::ReadMovieBodyHeader(source, head) && head.frameCount == frameCount);

    Walked w;
    bool lastWasReport = false;
    std::vector<std::uint8_t> body;
    const auto reportOf = [](int frame) {
        kz::ActionWriter a;
        a.GetUrl(QByteArray("FSCommand:") + kz::kFrameCommand, QByteArray::number(frame));
        return a.Finished();
    };
    kz::TagWalker walker;
    walker.On(kz::kTagDoAction, [&](kz::TagBody &tag) {
        Check(tag.ReadRest(body));
        const QByteArray actions(reinterpret_cast<const char *>(body.data()),
                                 qsizetype(body.size()));
        lastWasReport = actions == reportOf(w.frames + 1);
        w.ours |= w.frames == 0 && actions == first;
        return kz::TagStep::Next;
    });
    for (std::uint16_t code = 1; code < 100; ++code) {
        if (code == kz::kTagDoAction)
            continue;
        walker.On(code, [&](kz::TagBody &tag) {
            if (tag.Code() == kz::kTagShowFrame) {
                ++w.frames;
                w.reports += lastWasReport;
            }
            lastWasReport = false;
            return kz::TagStep::Next;
        });
    }
    Check(walker.Walk(source) == kz::WalkEnd::EndTag && source.Remaining() == 0);
    return w;
}

// The header reader's view of a movie's first bytes, as a probe would fetch them.
kz::SwfHeaderInfo Header(std::span<const std::uint8_t> bytes, bool *read) {
    kz::SwfHeaderInfo info;
    *read = true;
    if (bytes.size() >= 3 && bytes[0] == 'C')
        *read = kz::ParseCompressedSwfBuffer(bytes.data(), bytes.size(), info);
    else
        kz::ParseUncompressedSwfBuffer(bytes.data(), bytes.size(), info);
    return info;
}

bool SameHeader(const kz::SwfHeaderInfo &a, const kz::SwfHeaderInfo &b) {
    return a.version == b.version && a.frameCount == b.frameCount && a.frameRate == b.frameRate &&
           a.left == b.left && a.right == b.right && a.top == b.top && a.bottom == b.bottom;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray driverUrl = "kzmovie://app/driver/1/1";
    const kz::InstrumentedMovie im = kz::InstrumentMovie(file, driverUrl);
    using Kind = kz::InstrumentedMovie::Kind;
    if (im.kind == Kind::None) {
        Check(!im.reason.isEmpty() && im.movie.isEmpty() && im.driver.isEmpty());
        return 0;
    }
    Check(im.movie.size() <= kz::kMaxInstrumentedBytes);
    Check(im.version == std::uint8_t(file[3]) && std::uint8_t(im.movie[3]) == im.version);

    // The header reader: the copy's header is the original's.
    bool inputRead = false, outputRead = false;
    const kz::SwfHeaderInfo before = Header(std::span(data, size), &inputRead);
    const kz::SwfHeaderInfo after = Header(Span(im.movie), &outputRead);
    Check(outputRead && after.isFlash && after.frameCount == im.frameCount);
    Check(!inputRead || SameHeader(before, after));

    // The tag walker: every frame reported, the callbacks or the driver's load before frame 1.
    const bool driven = im.kind == Kind::Driven;
    kz::ActionWriter load;
    load.GetUrl(driverUrl, kz::kDriverLevel);
    const Walked w =
        Walk(im.movie, im.frameCount, driven ? load.Finished() : kz::CallbackActions({}) + '\0');
    Check(w.reports == w.frames && w.frames <= kz::kMaxInstrumentedFrames);
    Check(w.frames == 0 || w.ours);
    if (driven) {
        kz::ActionWriter stop;
        stop.Stop();
        const Walked d = Walk(im.driver, 1, kz::CallbackActions("_level0") + stop.Bytes() + '\0');
        Check(d.frames == 1 && d.ours);
        bool read = false;
        const kz::SwfHeaderInfo driver = Header(Span(im.driver), &read);
        Check(driver.version == 8 && driver.frameCount == 1);
    } else {
        Check(im.driver.isEmpty());
    }
    return 0;
}
