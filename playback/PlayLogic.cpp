#include "PlayLogic.h"

#include "platform/Paths.h"

#include <cstdlib>

namespace kz {

StepResult NextIndex(int current, int count) {
    if (count <= 0)
        return {};
    if (current + 1 < count && current + 1 >= 0)
        return {current + 1, false};
    return {0, true};
}

int PreviousIndex(int current, int count) {
    if (count <= 0)
        return -1;
    int i = current - 1;
    if (i < 0)
        i = count - 1;
    else if (i > count - 1)
        i = 0;
    return i;
}

FramePollResult FramePoll(const FramePollInput &in, int &lastFrame,
                          const std::function<bool()> &isPlaying) {
    FramePollResult r;
    if (in.urlMode && !in.headerKnown) {
        r.skipped = true;
        return r;
    }
    const int f = in.currentFrame;
    if (f == 0)
        r.playAtZero = true;
    if (f == -1)
        return r;
    r.moveTrackbar = true;
    if (!in.autoPlay || in.playState != kStatePlaying)
        return r;
    const bool forwards = f >= lastFrame;
    if (forwards) {
        lastFrame = f;
        if (isPlaying && isPlaying())
            return r;
    }
    // Standing still before the last frame: the movie stopped itself in the middle.
    if (f < in.totalFrames - 1 && forwards) {
        r.action = EndAction::Resume;
        return r;
    }
    if (in.urlMode && !in.fullyLoaded)
        return r;
    if (in.playingMode == kModeSingleLoop)
        r.action = EndAction::Replay;
    else if (in.playingMode == kModeListLoop)
        r.action = EndAction::Next;
    return r;
}

QString ClockText(int seconds) {
    if (seconds < 0)
        seconds = 0;
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

int StatusFrameRate(int frameRate) {
    return (frameRate > 255 || frameRate < 1) ? 12 : frameRate;
}

QString StatusLine(const SwfHeaderInfo &header, int currentFrame) {
    const int rate = StatusFrameRate(header.frameRate);
    const int frames = header.frameCount;
    const int total = frames / rate;
    QString now = ClockText(0);
    // Multiplied first, in 64 bits: a long movie must not overflow; no frames, no time.
    if (currentFrame != -1 && frames > 0)
        now = ClockText(int(qint64(currentFrame) * total / frames));
    return QStringLiteral("版本：%1   尺寸：%2*%3   时间：%4/%5   帧信息：%6/%7")
        .arg(header.version)
        .arg(std::abs(qint64(header.right) - header.left))
        .arg(std::abs(qint64(header.bottom) - header.top))
        .arg(now, ClockText(total))
        .arg(currentFrame)
        .arg(frames);
}

QString MissingMoviePath(const QString &programDir) {
    return WithTrailingSep(programDir) + QStringLiteral("inflash/nonexist.swf");
}

QString BadFormatMoviePath(const QString &programDir) {
    return WithTrailingSep(programDir) + QStringLiteral("inflash/errorfmat.swf");
}

QString ExtractedEntryPath(const QString &tempFolder, const QString &entryName) {
    if (tempFolder.isEmpty() || entryName.isEmpty())
        return {};
    // An entry name is a plain name inside the list file; one with a separator or a dot-only
    // name would write outside the temporary folder.
    if (entryName.contains(kSep) || entryName.contains(u'\\') || entryName == u"." ||
        entryName == u"..")
        return {};
    return WithTrailingSep(tempFolder) + entryName;
}

} // namespace kz
