#include "Thumbnails.h"

#include "platform/MovieIdentity.h"
#include "platform/UserDirs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QUrl>

namespace kz {

namespace {

QString Md5Name(const QString &uri) {
    return QString::fromLatin1(
               QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

bool Blank(const QImage &image) {
    if (image.isNull())
        return true;
    const QRgb first = image.pixel(0, 0);
    const int stepX = std::max(1, image.width() / 64), stepY = std::max(1, image.height() / 64);
    for (int y = 0; y < image.height(); y += stepY)
        for (int x = 0; x < image.width(); x += stepX)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

} // namespace

ThumbnailKey FileThumbnail(const QString &moviePath) {
    const QFileInfo info(moviePath);
    if (!info.isFile())
        return {};
    ThumbnailKey key;
    key.uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    key.mtime = info.lastModified().toSecsSinceEpoch();
    key.path = CacheHome() + QStringLiteral("/thumbnails/normal/") + Md5Name(key.uri);
    return key;
}

ThumbnailKey IdentityThumbnail(const QString &identity) {
    if (identity.isEmpty())
        return {};
    ThumbnailKey key;
    key.uri = identity;
    key.path = CacheHome() + QStringLiteral("/KZPlayer/thumbnails/") + Md5Name(identity);
    return key;
}

ThumbnailKey RowThumbnail(const QString &column0, const QString &column1) {
    if (IsListEntryRow(column0, column1)) {
        ThumbnailKey key = IdentityThumbnail(ListEntryIdentity(column0, column1));
        key.mtime = QFileInfo(column0).lastModified().toSecsSinceEpoch();
        return key;
    }
    return FileThumbnail(column0);
}

bool ThumbnailUpToDate(const ThumbnailKey &key) {
    if (key.path.isEmpty())
        return false;
    // A thumbnail is small: read whole, its texts wherever the writer put them.
    QImageReader reader(key.path, "png");
    reader.setAllocationLimit(16);
    const QImage thumb = reader.read();
    if (thumb.isNull() || thumb.text(QStringLiteral("Thumb::URI")) != key.uri)
        return false;
    return key.mtime < 0 ||
           thumb.text(QStringLiteral("Thumb::MTime")) == QString::number(key.mtime);
}

bool WriteThumbnail(const ThumbnailKey &key, const QImage &picture) {
    if (key.path.isEmpty() || Blank(picture) || ThumbnailUpToDate(key))
        return false;
    QImage thumb = picture.width() > kThumbnailSize || picture.height() > kThumbnailSize
                       ? picture.scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation)
                       : picture;
    thumb = thumb.convertToFormat(QImage::Format_ARGB32);
    thumb.setText(QStringLiteral("Thumb::URI"), key.uri);
    if (key.mtime >= 0)
        thumb.setText(QStringLiteral("Thumb::MTime"), QString::number(key.mtime));
    thumb.setText(QStringLiteral("Software"), QStringLiteral("KZPlayer"));
    // The cache's folders are the user's alone.
    const QString folder = QFileInfo(key.path).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    for (const QString &f : {folder, QFileInfo(folder).absolutePath()})
        QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ExeOwner);
    // Written beside and renamed, so a reader never sees half a picture.
    QSaveFile file(key.path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QImageWriter writer(&file, "png");
    if (!writer.write(thumb)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace kz
