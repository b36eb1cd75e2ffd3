#include "E2eSupport.h"

#include "formats/swf/SwfWriter.h"

#include "TestSupport.h"
#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "platform/flash/ShockwaveFlash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <set>

namespace kz::test {

QByteArray AnimatedSquare(int frames, QColor colour, int side) {
    SwfWriter w(320, 240, 12);
    w.SetBackgroundColor(QColor(30, 30, 60));
    const double top = (240 - side) / 2.0;
    const std::uint16_t id = w.DefinePolygon(
        {{0, 0}, {qreal(side), 0}, {qreal(side), qreal(side)}, {0, qreal(side)}}, colour);
    w.Place(id, 1, SwfMatrix::Translate(0, top));
    w.ShowFrame();
    for (int i = 1; i < frames; ++i) {
        w.Move(1, SwfMatrix::Translate(i * double(320 - side) / frames, top));
        w.ShowFrame();
    }
    return w.Finish();
}

int DistinctColours(const QImage &img, int step) {
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += step)
        for (int x = 0; x < img.width(); x += step)
            colours.insert(img.pixel(x, y));
    return int(colours.size());
}

QImage ScreenShot(const QString &path) {
    QProcess::execute("import", {"-window", "root", path});
    return QImage(path);
}

int CountNear(const QImage &img, QColor colour, int step) {
    int n = 0;
    for (int y = 0; y < img.height(); y += step)
        for (int x = 0; x < img.width(); x += step) {
            const QColor c = img.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) < 40 &&
                 std::abs(c.green() - colour.green()) < 40 &&
                 std::abs(c.blue() - colour.blue()) < 40;
        }
    return n;
}

QProcessEnvironment PrivateEnvironment(const QString &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CACHE_HOME", home + "/cache");
    env.insert("XDG_RUNTIME_DIR", home + "/run");
    env.insert("TMPDIR", home + "/tmp");
    env.insert("QT_LOGGING_RULES", "kz.shell.info=true");
    QDir().mkpath(home + "/run");
    QDir().mkpath(home + "/tmp");
    QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return env;
}

KeepStateFiles::KeepStateFiles() {
    for (const char *name : {"1list.ini", "2list.ini"}) {
        const QString path = UserDataDir() + QLatin1String(name);
        QFile f(path);
        files.append(
            {path, f.open(QIODevice::ReadOnly) ? std::optional(f.readAll()) : std::nullopt});
    }
}

KeepStateFiles::~KeepStateFiles() {
    for (const auto &[path, bytes] : files) {
        if (bytes)
            WriteFile(path, *bytes);
        else
            QFile::remove(path);
    }
}

} // namespace kz::test
