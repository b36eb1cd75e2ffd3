// Thumbnails where file managers look for them, read back by an independent reader
// (ImageMagick's identify): the standard's name, size and text keys; blank pictures and
// thumbnails already up to date are not written.

#include "platform/Thumbnails.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace kz;

namespace {

QImage Picture(int w, int h, bool blank) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    if (!blank) {
        QPainter p(&img);
        p.fillRect(w / 4, h / 4, w / 2, h / 2, Qt::red);
    }
    return img;
}

// The size and the two keys as identify reads them.
QString Identify(const QString &png) {
    QProcess p;
    p.start("identify", {"-format", "%w %h|%[Thumb::URI]|%[Thumb::MTime]", png});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(Thumbnails, TheStandardsNameSizeAndKeysReadBackIndependently) {
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    const QString movie = home.filePath("电影 a.swf");
    QFile::copy(QDir(test::CorpusDir()).filePath("acid_acid-gradient.swf"), movie);

    const ThumbnailKey key = FileThumbnail(movie);
    const QString uri = QUrl::fromLocalFile(movie).toString(QUrl::FullyEncoded);
    EXPECT_EQ(key.uri, uri);
    const QString md5 = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex();
    EXPECT_EQ(key.path, home.filePath("cache/thumbnails/normal/" + md5 + ".png"));

    EXPECT_FALSE(WriteThumbnail(key, Picture(550, 400, true))) << "a blank picture";
    EXPECT_FALSE(QFile::exists(key.path));
    ASSERT_TRUE(WriteThumbnail(key, Picture(550, 400, false)));
    const qint64 mtime = QFileInfo(movie).lastModified().toSecsSinceEpoch();
    EXPECT_EQ(Identify(key.path), QString("128 93|%1|%2").arg(uri).arg(mtime));
    // No group or other bits.
    EXPECT_EQ(QFileInfo(key.path).permissions() & 0x00FF, 0);
    EXPECT_EQ(QFileInfo(home.filePath("cache/thumbnails")).permissions() & 0x00FF, 0);

    // Up to date: not written again; the movie changed: written again.
    EXPECT_TRUE(ThumbnailUpToDate(key));
    EXPECT_FALSE(WriteThumbnail(key, Picture(550, 400, false)));
    QFile f(movie);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    f.close();
    const ThumbnailKey changed = FileThumbnail(movie);
    EXPECT_FALSE(ThumbnailUpToDate(changed));
    EXPECT_TRUE(WriteThumbnail(changed, Picture(60, 100, false)));
    EXPECT_EQ(Identify(changed.path).section('|', 0, 0), "60 100") << "small pictures stay";

    // A list file's entry and a web movie: the player's own cache, keyed by identity.
    const ThumbnailKey entry = RowThumbnail(home.filePath("a.TPL"), "b.swf");
    EXPECT_TRUE(entry.path.startsWith(home.filePath("cache/KZPlayer/thumbnails/")));
    EXPECT_EQ(entry.uri, home.filePath("a.TPL") + "|b.swf");
    const ThumbnailKey web = IdentityThumbnail("http://example.com/a.swf");
    ASSERT_TRUE(WriteThumbnail(web, Picture(200, 200, false)));
    EXPECT_EQ(Identify(web.path), "128 128|http://example.com/a.swf|");
    EXPECT_TRUE(FileThumbnail(home.filePath("missing.swf")).path.isEmpty());
}
