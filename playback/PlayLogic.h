#pragma once
// The play controller's decisions that need no window: stepping through a list, the end of a
// movie from the frame poll, the status line, and which file a local item loads.

#include "playback/PlayState.h"
#include "playback/SwfHeader.h"

#include <QString>

#include <functional>

namespace kz {

// Next: one row on, wrapping to 0 past the end (`wrapped` then says so). Previous: one row
// back, to the last row below 0, to row 0 above the last. An empty list gives -1.
struct StepResult {
    int index = -1;
    bool wrapped = false;
};
StepResult NextIndex(int current, int count);
int PreviousIndex(int current, int count);

// What one tick of the frame poll asks of the controller.
enum class EndAction { None, Resume, Replay, Next };
struct FramePollInput {
    bool urlMode = false;
    bool headerKnown = true;
    bool fullyLoaded = true;
    bool autoPlay = false;
    int playState = kStateStopped;
    int playingMode = kModeListLoop;
    int currentFrame = -1;
    int totalFrames = 0;
};
struct FramePollResult {
    bool skipped = false;    // the tick did nothing at all
    bool playAtZero = false; // a movie on frame 0 is started
    bool moveTrackbar = false;
    EndAction action = EndAction::None;
};
// `lastFrame` is the highest frame seen, updated as the poll does; `isPlaying` is asked only
// when the frame did not go backwards.
FramePollResult FramePoll(const FramePollInput &in, int &lastFrame,
                          const std::function<bool()> &isPlaying);

// "%02d:%02d:%02d" of whole seconds.
QString ClockText(int seconds);
// The frame rate the status line uses: 12 when the header's is outside 1..255.
int StatusFrameRate(int frameRate);
// The information line while a movie plays; currentFrame -1 when the control cannot say.
QString StatusLine(const SwfHeaderInfo &header, int currentFrame);

// The two shipped fallback movies, under the program directory.
QString MissingMoviePath(const QString &programDir);
QString BadFormatMoviePath(const QString &programDir);

// Where a list entry is copied to play it: the temporary folder and the entry's name. Empty
// when the temporary folder is unusable or the name would leave it.
QString ExtractedEntryPath(const QString &tempFolder, const QString &entryName);

} // namespace kz
