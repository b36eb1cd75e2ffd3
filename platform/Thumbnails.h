#pragma once
// Thumbnails of movies as the freedesktop Thumbnail Managing Standard keeps them, so file
// managers show a movie file's picture: $XDG_CACHE_HOME/thumbnails/normal/MD5(URI).png, 128
// pixels on the longer side, with the PNG text keys Thumb::URI and Thumb::MTime, written under
// a temporary name and renamed, readable by the user alone. A movie without a file of its own
// (a list file's entry, a web movie) keeps its picture in the player's own cache folder, keyed
// the same way by its identity.

#include <QImage>
#include <QString>

namespace kz {

inline constexpr int kThumbnailSize = 128;

struct ThumbnailKey {
    QString uri;       // the file's URI, or the movie's identity
    qint64 mtime = -1; // the file's modification time (seconds), -1 for none
    QString path;      // where the thumbnail lies
};

// The key of a movie file (empty when the file does not exist).
ThumbnailKey FileThumbnail(const QString &moviePath);
// The key of a movie known by an identity only ("LIST|ENTRY", a web address).
ThumbnailKey IdentityThumbnail(const QString &identity);
// The key of a play-list row: a movie file, or an entry of a list file.
ThumbnailKey RowThumbnail(const QString &column0, const QString &column1);

// True when a thumbnail for the key exists and names the same URI and time.
bool ThumbnailUpToDate(const ThumbnailKey &key);
// Writes the picture as the key's thumbnail unless one up to date is there or the picture is
// blank (one colour); true when a thumbnail was written.
bool WriteThumbnail(const ThumbnailKey &key, const QImage &picture);

} // namespace kz
