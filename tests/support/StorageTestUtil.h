#pragma once
// Running the independent readers and writers of compound files, and byte patterns.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace kz::test {

struct ProcResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProcResult RunProgram(const QString &program, const QStringList &args,
                      const QStringList &extraEnv = {});
// Debian's python3 (the one that carries olefile) running a script.
ProcResult RunPython(const QString &script, const QStringList &args = {});
// node with the test fixtures' packages on its module path.
ProcResult RunNode(const QString &script, const QStringList &args = {});

// Every stream of a compound file as olefile reads it: path ("a/b") -> SHA-1 in hex.
QJsonObject OleStreams(const QString &path);
QString Sha1(const QByteArray &bytes);

// Deterministic bytes that differ by seed and position.
QByteArray PatternBytes(qsizetype n, quint32 seed);

} // namespace kz::test
