#pragma once
// The loopback HTTP server of the network tests (a python3 script beside this file), started
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

// One server for a whole test program, started on first use on the main thread, stopped by
// StopSharedServer before the application object goes.
TestHttpServer &SharedServer();
void StopSharedServer();

// The bytes the server's pattern paths send, from offset start.
QByteArray PatternBytes(std::int64_t start, std::int64_t count);

// Removes proxy settings from the environment so loopback requests go direct.
void ClearProxyEnvironment();

} // namespace kz::test
