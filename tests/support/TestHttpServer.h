#pragma once
// The loopback HTTP server of the network tests (http_test_server.py beside this file), started
// on a free port for the life of the object.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <cstdint>

namespace kz::test {

class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();
    bool Running() const { return m_port > 0; }
    QUrl Url(const QString &pathAndQuery) const;

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
