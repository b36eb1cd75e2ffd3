#include "ShowInFolder.h"

#include "platform/Paths.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

namespace kz {

bool ShowItemInFolder(const QString &path) {
    if (path.isEmpty())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    const QString folder = FolderWithoutSep(path);
    return QDesktopServices::openUrl(
        QUrl::fromLocalFile(folder.isEmpty() ? QStringLiteral("/") : folder));
}

} // namespace kz
