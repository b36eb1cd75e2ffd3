#include "TestHttpServer.h"

#include "support/TestSupport.h"

#include <QCoreApplication>

#include <memory>

namespace kz::test {

TestHttpServer::TestHttpServer() : TestHttpServer(QStringLiteral("http_test_server.py"), {}) {}

TestHttpServer::TestHttpServer(const QString &script, const QStringList &args) {
    const QString path = SourceDir() + QStringLiteral("/tests/support/") + script;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{path} + args);
    if (!m_process.waitForStarted(10000))
        return;
    QByteArray line;
    while (!line.contains('\n') && m_process.waitForReadyRead(10000))
        line += m_process.readAllStandardOutput();
    m_port = line.trimmed().toInt();
}

TestHttpServer::~TestHttpServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QUrl TestHttpServer::Url(const QString &pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery));
}

QString TestHttpServer::Base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

namespace {
std::unique_ptr<TestHttpServer> g_server;
}

void StopSharedServer() {
    g_server.reset();
}

TestHttpServer &SharedServer() {
    if (!g_server) {
        g_server = std::make_unique<TestHttpServer>();
        // Stopped while the application object still exists.
        qAddPostRoutine(StopSharedServer);
    }
    return *g_server;
}

QByteArray PatternBytes(std::int64_t start, std::int64_t count) {
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    for (std::int64_t i = 0; i < count; ++i)
        bytes[qsizetype(i)] = char(((start + i) * 31 + 7) % 251);
    return bytes;
}

} // namespace kz::test
