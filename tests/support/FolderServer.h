#pragma once
// A loopback HTTP server over a folder (the end-to-end trickle server), on a free port, for
// the life of the object. Missing files answer 404.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include "TestSupport.h"

namespace kz::test {

class FolderServer {
public:
    explicit FolderServer(const QString &folder, int pieces = 1) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return;
        m_port = probe.serverPort();
        probe.close();
        m_process.setWorkingDirectory(folder);
        m_process.start("/usr/bin/python3",
                        {QDir(SourceDir()).filePath("tests/support/trickle_http.py"),
                         QString::number(m_port), QString::number(pieces)});
        m_process.waitForStarted();
        // Ready once it accepts a connection.
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (s.waitForConnected(100))
                break;
            QThread::msleep(50);
        }
    }
    ~FolderServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString Url(const QString &name) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(name);
    }

private:
    QProcess m_process;
    int m_port = 0;
};

} // namespace kz::test
