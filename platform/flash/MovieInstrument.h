#pragma once
// The engine has no frame calls, so an ActionScript 1/2 movie is handed over with a little code
// of ours: before every main-timeline frame is shown it reports the frame
// (fscommand "kzframe", "<n>"), and at its first frame it registers kzGoto(n), kzPlay() and
// kzStop() through ExternalInterface. The movie's own tags, actions and frame count stay as
// they are. The engine exposes such callbacks only from SWF 8 movies; an older movie keeps its
// version and stays _level0, and its first frame loads a tiny SWF 8 driver of ours into a far
// level whose callbacks act on _level0. ActionScript 3 movies (the engine ignores DoAction
// there), damaged and oversized movies are left alone. Instrumenting is one walk that writes
// as it goes and stops at the limits below, so its cost follows the frames it instruments.

#include <QByteArray>
#include <QString>

namespace kz {

// A movie whose inflated body, or whose instrumented copy, is larger than this is played as it
// is: the copy would cost too much memory.
inline constexpr qint64 kMaxInstrumentedBytes = qint64(64) << 20;
// So is a movie of more frames than a header can count: a report each would cost more than the
// movie (a few bytes of zlib hold millions of empty frames).
inline constexpr int kMaxInstrumentedFrames = 65535;

inline constexpr char kFrameCommand[] = "kzframe";
// Where the driver of an old movie lives; far above any level a movie would use.
inline constexpr char kDriverLevel[] = "_level16000";

struct InstrumentedMovie {
    enum class Kind {
        None,   // played as it is; `reason` says why
        Direct, // `movie` holds the reports and the callbacks
        Driven, // `movie` holds the reports and loads `driver`, which holds the callbacks
    };
    Kind kind = Kind::None;
    QByteArray movie; // uncompressed ("FWS")
    QByteArray driver;
    QString reason;
    // From the original's header.
    int version = 0;
    int frameCount = 0;
    double frameRate = 0;
    int width = 0, height = 0; // pixels
    int backgroundColor = -1;  // 0xRRGGBB, -1 when the movie sets none
};

// `file` is the movie as stored (FWS or CWS); `driverUrl` is where an old movie finds its
// driver.
InstrumentedMovie InstrumentMovie(const QByteArray &file, const QByteArray &driverUrl);

// The ExternalInterface callbacks' code; `target` empty acts on the timeline that runs it,
// otherwise on that path ("_level0").
QByteArray CallbackActions(const QByteArray &target);

} // namespace kz
