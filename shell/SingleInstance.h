#pragma once
// One running player per user: the first start holds a lock file in the per-user runtime
// folder and, once its view is ready, listens on a local socket beside it; a later start finds
// the lock taken, hands its record to that socket and quits.

#include "shell/HandOver.h"

#include <QObject>
#include <QString>

#include <memory>

class QLockFile;
class QLocalServer;

namespace kz {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` is where the lock and the socket live (default: the per-user runtime folder).
    // An empty folder (no private place to be had): every start is a first one, alone.
    explicit SingleInstance(QString folder = DefaultFolder(),
                            QString name = QStringLiteral("KZPlayer"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR when it is a private folder of this user, else the private temporary
    // folder (TempFolder); empty when neither is to be had.
    static QString DefaultFolder();
    QString LockPath() const;
    QString ServerPath() const;

    // True when this process is the first instance (it then holds the lock for its life).
    bool TryBecomeFirst();
    // Opens the server; records arrive through RecordReceived from then on.
    bool Listen();
    bool Listening() const;

    // A later start: connects (at most `attempts` tries, pausing `pauseMs` between them) and
    // sends the record. False when the first instance never answered.
    bool SendToFirst(const HandOverRecord &record, int attempts = 99, int pauseMs = 100) const;

signals:
    void RecordReceived(quint32 dataWord, const QByteArray &data);

private:
    void OnNewConnection();

    QString m_folder;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace kz
