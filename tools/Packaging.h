#pragma once
// Packaging a whole movie: stub bytes, the movie unchanged, and an 8-byte trailer (magic, then
// the movie's length) by which the stub, or the reverse tool, finds the movie again.

#include <QString>

#include <cstdint>

namespace kz {

inline constexpr std::uint32_t kProjectorMagic = 0xFA123456;
inline constexpr int kProjectorTrailerBytes = 8;
// The stubs shipped in the program directory.
inline constexpr char kProjectorStubName[] = "Vantrel.dat";
inline constexpr char kScreenSaverStubName[] = "VSaver.data";
// Copy buffers: projector conversions and screensavers.
inline constexpr int kProjectorBlock = 1024;
inline constexpr int kScreenSaverChunk = 10240;

// Movie to program: outputPrefix + base name + ".exe". An existing file is replaced.
bool MakeProjector(const QString &moviePath, const QString &outputPrefix,
                   QString *written = nullptr);
// Program to movie: outputPrefix + base name + ".swf". False, with no output, when the file
// has no trailer or its trailer does not fit the file.
bool ExtractMovieFromProjector(const QString &programPath, const QString &outputPrefix,
                               QString *written = nullptr);

// Where screensavers go (~/.local/share/KZPlayer/screensavers/, after XDG_DATA_HOME), created
// when missing, with a trailing separator. Empty when it cannot be made.
QString ScreenSaverFolder();
// Movie to screensaver: ScreenSaverFolder() + base name + ".scr".
bool MakeScreenSaver(const QString &moviePath, QString *written = nullptr);
// The three above with the output name built on `outputBase` instead of the input's base name.
bool MakeProjectorNamed(const QString &moviePath, const QString &outputBase,
                        const QString &outputPrefix, QString *written = nullptr);
bool ExtractMovieFromProjectorNamed(const QString &programPath, const QString &outputBase,
                                    const QString &outputPrefix, QString *written = nullptr);
bool MakeScreenSaverNamed(const QString &moviePath, const QString &outputBase,
                          QString *written = nullptr);
// Opens the desktop's screensaver settings so the user can pick the new one.
void InstallScreenSaver();

} // namespace kz
