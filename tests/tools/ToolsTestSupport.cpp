#include "ToolsTestSupport.h"

#include "platform/Paths.h"

#include "formats/swf/SwfBits.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

namespace kz::test {

SwfTag DefineSoundTag(std::uint16_t id, std::uint8_t flags, const QByteArray &data) {
    QByteArray body;
    PutLe(body, id, 2);
    body.append(char(flags));
    PutLe(body, 1152, 4);
    return {14, body + data, false};
}

SwfTag Mp3SoundTag(std::uint16_t id, const QByteArray &frames) {
    return DefineSoundTag(id, kMp3Flags, QByteArray("\x00\x00", 2) + frames);
}

SwfTag StreamHeadTag(std::uint8_t streamFlags, std::uint16_t code) {
    QByteArray body;
    body.append(char(0x0F)).append(char(streamFlags));
    PutLe(body, 576, 2);
    return {code, body, false};
}

SwfTag StreamBlockTag(const QByteArray &frames) {
    QByteArray body;
    PutLe(body, 576, 2);
    PutLe(body, 0, 2);
    return {19, body + frames, false};
}

SwfTag JpegTablesTag(const QByteArray &tables) {
    return {8, tables, false};
}

SwfTag DefineBitsTag(std::uint16_t id, const QByteArray &image) {
    QByteArray body;
    PutLe(body, id, 2);
    return {6, body + image, false};
}

SwfTag DefineBitsJpeg2Tag(std::uint16_t id, const QByteArray &data) {
    QByteArray body;
    PutLe(body, id, 2);
    return {21, body + data, false};
}

QByteArray MakeJpeg(int width, int height, std::uint32_t seed) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y,
                         qRgb((x * 7 + seed) & 0xFF, (y * 5 + seed * 3) & 0xFF, (x ^ y) & 0xFF));
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 80);
    return out;
}

SplitJpeg SplitTables(const QByteArray &jpeg) {
    // Segments between SOI and SOS: DQT (DB) and DHT (C4) go to the tables, the rest stays.
    SplitJpeg s;
    s.tables = QByteArray("\xFF\xD8", 2);
    s.image = QByteArray("\xFF\xD8", 2);
    qsizetype p = 2;
    while (p + 4 <= jpeg.size() && std::uint8_t(jpeg[p]) == 0xFF) {
        const std::uint8_t marker = std::uint8_t(jpeg[p + 1]);
        if (marker == 0xDA) // SOS: the entropy-coded data and the EOI follow
            break;
        const int len = (std::uint8_t(jpeg[p + 2]) << 8) | std::uint8_t(jpeg[p + 3]);
        const QByteArray segment = jpeg.mid(p, 2 + len);
        (marker == 0xDB || marker == 0xC4 ? s.tables : s.image) += segment;
        p += 2 + len;
    }
    s.tables += QByteArray("\xFF\xD9", 2);
    s.image += jpeg.mid(p);
    return s;
}

bool DecodesAsJpeg(const QByteArray &bytes) {
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, "jpg");
    const QImage img = reader.read();
    return !img.isNull();
}

bool RunFfmpeg(const QStringList &args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringList{"-hide_banner", "-nostdin", "-loglevel", "error", "-y"} + args);
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool MakeFfmpegMovie(const QString &path, double seconds, bool withFrames) {
    const QString d = QString::number(seconds);
    QStringList args{"-f", "lavfi", "-i", "sine=frequency=440:duration=" + d};
    if (withFrames)
        args << QStringList{"-f",   "lavfi", "-i", "testsrc=size=160x120:rate=12:duration=" + d,
                            "-c:v", "mjpeg"};
    args << QStringList{"-c:a", "libmp3lame", "-f", "swf", path};
    return RunFfmpeg(args);
}

QByteArray FfmpegCopiedMp3(const QString &moviePath) {
    QTemporaryDir tmp;
    const QString out = tmp.filePath("copied.mp3");
    if (!RunFfmpeg({"-i", moviePath, "-vn", "-c:a", "copy", "-f", "mp3", "-write_xing", "0",
                    "-id3v2_version", "0", "-write_id3v1", "0", out}))
        return {};
    return ReadFile(out);
}

QStringList FilesIn(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

int CountMarker(const QByteArray &bytes, std::uint8_t second) {
    int n = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i)
        if (std::uint8_t(bytes[i]) == 0xFF && std::uint8_t(bytes[i + 1]) == second)
            ++n;
    return n;
}

QString FakeLauncher::Find(const QString &program) const {
    return installed.contains(program) ? "/fake/bin/" + program : QString();
}

bool FakeLauncher::Start(const QString &path, const QStringList &args) {
    if (failing.contains(FileNameOf(path)))
        return false;
    started.append({path, args});
    return true;
}

} // namespace kz::test
