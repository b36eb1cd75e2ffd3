#pragma once
// The engine has no frame calls, so an ActionScript 1/2 movie is handed over with a little code
// of ours: before every main-timeline frame is shown it reports the frame
// (fscommand "kzframe", "<n>"), and at its first frame it registers kzGoto(n), kzPlay() and
// kzStop() through ExternalInterface. The movie's own tags, actions and frame count stay as
// they are. The engine exposes such callbacks only for SWF 8 and later; an older movie keeps
// its version and is loaded into level 1 by a small SWF 8 host of ours (its stage, rate and
// background) whose callbacks drive _level1. ActionScript 3 movies (the engine ignores
// DoAction there), damaged and oversized movies are left alone.

#include <QByteArray>
#include <QString>

namespace kz {

// An inflated movie larger than this is played as it is: its copy would cost too much memory.
inline constexpr qint64 kMaxInstrumentedBytes = qint64(64) << 20;

inline constexpr char kFrameCommand[] = "kzframe";

struct InstrumentedMovie {
    enum class Kind {
        None,   // played as it is; `reason` says why
        Direct, // `movie` holds the reports and the callbacks
        Hosted, // `movie` holds the reports, `host` loads it into level 1 and holds the callbacks
    };
    Kind kind = Kind::None;
    QByteArray movie; // uncompressed ("FWS")
    QByteArray host;
    QString reason;
    // From the original's header.
    int version = 0;
    int frameCount = 0;
    double frameRate = 0;
    int width = 0, height = 0; // pixels
    int backgroundColor = -1;  // 0xRRGGBB, -1 when the movie sets none
};

// `file` is the movie as stored (FWS or CWS); `movieUrl` is where the host finds the
// instrumented movie (only used for a hosted one).
InstrumentedMovie InstrumentMovie(const QByteArray &file, const QByteArray &movieUrl);

// The ExternalInterface callbacks' code; `target` empty acts on the timeline that runs it,
// otherwise on that path ("_level1").
QByteArray CallbackActions(const QByteArray &target);

} // namespace kz
