#include "SingleInstance.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace kz {

SingleInstance::SingleInstance(QString folder, QString name, QObject *parent)
    : QObject(parent), m_folder(std::move(folder)), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultFolder() {
    // The session's runtime folder when it is a private one of ours; else the private
    // temporary folder (never a shared name in /tmp another user could take first); empty when
    // neither can be had.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) &&
        ::lstat(QFile::encodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid() && (st.st_mode & 0077) == 0)
        return runtime;
    return TempFolder();
}

QString SingleInstance::LockPath() const {
    return QDir(m_folder).filePath(m_name + ".lock");
}
QString SingleInstance::ServerPath() const {
    return QDir(m_folder).filePath(m_name + ".socket");
}

bool SingleInstance::TryBecomeFirst() {
    if (m_lock)
        return true;
    // Without a private folder there is no safe meeting place: this start runs on its own.
    if (m_folder.isEmpty())
        return true;
    QDir().mkpath(m_folder);
    auto lock = std::make_unique<QLockFile>(LockPath());
    // Only a live holder counts: a lock left by a crashed player is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    return true;
}

bool SingleInstance::Listen() {
    if (m_server)
        return m_server->isListening();
    if (m_folder.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(ServerPath()); // left over from a crash; we hold the lock
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    return m_server->listen(ServerPath());
}

bool SingleInstance::Listening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        auto reader = std::make_shared<HandOverReader>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
            reader->Append(socket->readAll());
            while (auto record = reader->Next())
                emit RecordReceived(record->dataWord, record->data);
            if (reader->Failed())
                socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

bool SingleInstance::SendToFirst(const HandOverRecord &record, int attempts, int pauseMs) const {
    if (m_folder.isEmpty())
        return false;
    for (int i = 0; i < attempts; ++i) {
        if (i > 0)
            QThread::msleep(pauseMs);
        QLocalSocket socket;
        socket.connectToServer(ServerPath());
        if (!socket.waitForConnected(500))
            continue;
        socket.write(EncodeRecord(record));
        const bool written = socket.waitForBytesWritten(2000) || socket.bytesToWrite() == 0;
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(1000);
        return written;
    }
    return false;
}

} // namespace kz
