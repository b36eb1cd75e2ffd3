#pragma once
// Material for the Flash tools tests: sound and image tags, real movies made by ffmpeg, JPEG
// streams split into shared tables and image data, and checks on output folders.

#include "platform/launcher/DesktopSettings.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace kz::test {

// Sound format nibbles of the flags bytes.
inline constexpr std::uint8_t kMp3Flags = 0x2F;   // MP3, 44 kHz, 16 bit, stereo
inline constexpr std::uint8_t kAdpcmFlags = 0x1F; // ADPCM

SwfTag DefineSoundTag(std::uint16_t id, std::uint8_t flags, const QByteArray &data);
// An MP3 event sound: seek samples, then the frames.
SwfTag Mp3SoundTag(std::uint16_t id, const QByteArray &frames);
SwfTag StreamHeadTag(std::uint8_t streamFlags, std::uint16_t code = 45);
SwfTag StreamBlockTag(const QByteArray &frames);
SwfTag JpegTablesTag(const QByteArray &tables);
SwfTag DefineBitsTag(std::uint16_t id, const QByteArray &image);
SwfTag DefineBitsJpeg2Tag(std::uint16_t id, const QByteArray &data);

// A small real JPEG, and the same split the way movies store it: the tables (SOI, DQT, DHT,
// EOI) and the image without them (SOI, the rest, EOI).
QByteArray MakeJpeg(int width, int height, std::uint32_t seed);
struct SplitJpeg {
    QByteArray tables;
    QByteArray image;
};
SplitJpeg SplitTables(const QByteArray &jpeg);
// True when Qt's reader decodes the bytes as a JPEG image.
bool DecodesAsJpeg(const QByteArray &bytes);

// Runs ffmpeg with the arguments (quiet, overwriting); true when it exits 0.
bool RunFfmpeg(const QStringList &args);
// A movie with an MP3 sound stream (and MJPEG frames when `withFrames`), made by ffmpeg.
bool MakeFfmpegMovie(const QString &path, double seconds, bool withFrames);
// The MP3 frames ffmpeg copies out of a movie, raw, without added tags.
QByteArray FfmpegCopiedMp3(const QString &moviePath);

// File names in a folder, sorted, hidden ones included.
QStringList FilesIn(const QString &folder);
// The byte count of each occurrence of a two-byte marker.
int CountMarker(const QByteArray &bytes, std::uint8_t second);

// The desktop's programs as the launcher sees them: only the `installed` ones are found, the
// `failing` ones are found but do not start; nothing really starts.
class FakeLauncher : public ProgramLauncher {
public:
    QStringList installed;
    QStringList failing;
    QList<LaunchCommand> started;
    QString Find(const QString &program) const override;
    bool Start(const QString &path, const QStringList &args) override;
};

// Puts a launcher in place for a scope.
class LauncherScope {
public:
    explicit LauncherScope(ProgramLauncher *l) { SetProgramLauncher(l); }
    ~LauncherScope() { SetProgramLauncher(nullptr); }
    LauncherScope(const LauncherScope &) = delete;
    LauncherScope &operator=(const LauncherScope &) = delete;
};

} // namespace kz::test
