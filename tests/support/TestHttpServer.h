#pragma once
// The loopback HTTP server of the network tests (http_test_server.py beside this file), started
// on a free port for the life of the object.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>

namespace kz::test {

class TestHttpServer {
public:
    TestHttpServer();
    // Another server script of this folder, with its arguments.
    TestHttpServer(const QString &script, const QStringList &args);
    ~TestHttpServer();
    bool Running() const { return m_port > 0; }
    QUrl Url(const QString &pathAndQuery) const;
    // "http://127.0.0.1:PORT"
    QString Base() const;

private:
    QProcess m_process;
    int m_port = 0;
};

// One server for a whole test program, started on first use on the main thread and stopped
// when the application object goes.
TestHttpServer &SharedServer();

// The bytes the server's pattern paths send, from offset start.
QByteArray PatternBytes(std::int64_t start, std::int64_t count);

} // namespace kz::test
