#include "StorageTestUtil.h"

#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace kz::test {

ProcResult RunProgram(const QString &program, const QStringList &args,
                      const QStringList &extraEnv) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : extraEnv)
        env.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProcResult r;
    if (!p.waitForStarted(30000))
        return r;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

ProcResult RunPython(const QString &script, const QStringList &args) {
    return RunProgram(QStringLiteral("/usr/bin/python3"), QStringList{"-c", script} + args);
}

ProcResult RunNode(const QString &script, const QStringList &args) {
    return RunProgram(
        QStringLiteral("node"), QStringList{"-e", script, "--"} + args,
        {QStringLiteral("NODE_PATH=") + SourceDir() + "/tests/fixtures/node_modules"});
}

QByteArray PatternBytes(qsizetype n, quint32 seed) {
    QByteArray out(n, '\0');
    quint32 x = seed * 2654435761u + 12345u;
    for (qsizetype i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x & 0xFF);
    }
    return out;
}

QJsonObject OleStreams(const QString &path) {
    const ProcResult r = RunPython(
        "import hashlib, json, sys, olefile\n"
        "o = olefile.OleFileIO(sys.argv[1])\n"
        "print(json.dumps({'/'.join(p): hashlib.sha1(o.openstream(p).read()).hexdigest()\n"
        "                  for p in o.listdir(streams=True, storages=False)}))\n",
        {path});
    if (r.exitCode != 0) {
        qWarning("olefile failed on %s: %s", qPrintable(path), r.err.constData());
        return {};
    }
    return QJsonDocument::fromJson(r.out).object();
}

QString Sha1(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

} // namespace kz::test
