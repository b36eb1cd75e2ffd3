#pragma once
// Writes a movie's MP3 sounds out as playable files: one stream file for its streamed sound
// (with an ID3v1 trailer) and one file per MP3 event sound.

#include <QString>
#include <QStringList>

namespace kz {

// The 128-byte trailer of a stream file: "TAG" and 125 zero bytes.
inline constexpr int kId3v1TrailerBytes = 128;

// Extracts into outputPrefix + base name + "_stream.mp3" and "_event<n>.mp3". The prefix is
// used as given (a folder with its trailing separator). True when at least one MP3 file was
// produced; the files written are appended to `written` in the order they were finished.
bool ExtractMp3(const QString &moviePath, const QString &outputPrefix,
                QStringList *written = nullptr);
// The same with the output names built on `outputBase` instead of the movie's base name.
bool ExtractMp3Named(const QString &moviePath, const QString &outputBase,
                     const QString &outputPrefix, QStringList *written = nullptr);

// The first name of the form `stem` + n + `suffix`, n counting up from `counter`, that names
// no existing file; `counter` moves past it. Existing outputs are never overwritten.
QString NextFreeName(const QString &stem, const QString &suffix, int &counter);

} // namespace kz
