#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "platform/Paths.h"

namespace kz::test {

QString CorpusDir() {
    const QString dir = qEnvironmentVariable("KZ_CORPUS_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_CORPUS_DIR) : dir;
}

QStringList CorpusFiles() {
    QDir dir(CorpusDir());
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.swf")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

QString BinDir() {
    const QString dir = qEnvironmentVariable("KZ_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_BIN_DIR) : dir;
}

QString SourceDir() {
    const QString dir = qEnvironmentVariable("KZ_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_SOURCE_DIR) : dir;
}

void UsePrivateHome(const QString &home) {
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home + "/run").toUtf8());
    QDir().mkpath(home + "/run");
    QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTemporaryDir &TestHome() {
    static QTemporaryDir *home = [] {
        auto *dir = new QTemporaryDir;
        UsePrivateHome(dir->path());
        QDir().mkpath(dir->filePath(QStringLiteral("program")));
        SetProgramDirOverride(dir->filePath(QStringLiteral("program/")));
        return dir;
    }();
    return *home;
}

QString TestProgramDir() {
    return TestHome().filePath(QStringLiteral("program/"));
}

void ClearProxyEnvironment() {
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
}

bool PumpUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool SleepUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(50);
    }
    return true;
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace kz::test
