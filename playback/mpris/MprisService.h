#pragma once
// The desktop's media integration (media keys, the media panel): the player on the session bus
// as an MPRIS 2 player. Every request goes through the play controller's own commands, and what
// it reports is read back from the controller, the control and the play list.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QTimer;

namespace kz {

class CPlayCtrlDlg;
class FlashControl;
class PlayHost;

inline constexpr char kMprisBusName[] = "org.mpris.MediaPlayer2.kzplayer";
inline constexpr char kMprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMprisIdentity[] = "Vobi Flash播放器";
// Where the track ids live (not under /org/mpris, which the media panels reserve).
inline constexpr char kMprisTrackPrefix[] = "/org/kzplayer/movie/";
// How often what has no signal of its own (the play list, the loading) is compared.
inline constexpr int kMprisRefreshMs = 500;

// Whether a session bus is there to connect to: its address is set, or the user's runtime
// folder has its socket. Without either the bus library would start a bus of its own.
bool SessionBusAvailable();

// What the window does for the bus: raise it, close it, and take a file or an address as a
// hand-over from another program would.
struct MprisActions {
    std::function<void()> raise;
    std::function<void()> quit;
    std::function<void(const QString &path)> openFile;
    std::function<void(const QString &url)> openUrl;
};

class MprisService : public QObject {
    Q_OBJECT
public:
    MprisService(CPlayCtrlDlg *ctrl, FlashControl *flash, PlayHost *host, MprisActions actions,
                 QObject *parent = nullptr);
    ~MprisService() override;

    // Owns the name on `bus` and exports the player; false, with nothing left on the bus, when
    // the bus is not there or another program holds the name.
    bool Register(QDBusConnection bus, const QString &name = QLatin1String(kMprisBusName));
    bool Registered() const { return m_registered; }
    QDBusConnection Bus() const { return m_bus; }

    // The properties as the bus reads them.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qlonglong Position() const;
    double Volume() const;
    void SetVolume(double volume);
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    QDBusObjectPath TrackId() const;
    // µs; 0 when the header does not give both the frames and the rate.
    qlonglong Length() const;

    // The methods.
    void Raise();
    void Quit();
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath &track, qlonglong position);
    // False for an address the player cannot open.
    bool OpenUri(const QString &uri);

    // Sends PropertiesChanged for what changed since the last call.
    void Refresh();

signals:
    void Seeked(qlonglong position);

private:
    QVariantMap PlayerSnapshot() const;
    int FrameRate() const;
    bool HasMovie() const;
    // The frame a position (µs) falls on, from 0.
    int FrameAt(qlonglong position) const;

    CPlayCtrlDlg *m_ctrl;
    FlashControl *m_flash;
    PlayHost *m_host;
    MprisActions m_actions;
    QDBusConnection m_bus;
    QString m_name;
    bool m_registered = false;
    QVariantMap m_sent;
    QTimer *m_refresh = nullptr;
};

// org.mpris.MediaPlayer2
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService *service);
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QString::fromUtf8(kMprisIdentity); }
    QString DesktopEntry() const { return QStringLiteral("kzplayer"); }
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;
public slots:
    void Raise() { m_service->Raise(); }
    void Quit() { m_service->Quit(); }

private:
    MprisService *m_service;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(MprisService *service);
    QString PlaybackStatus() const { return m_service->PlaybackStatus(); }
    double Rate() const { return 1.0; }
    void SetRate(double) {} // movies play at their own rate only
    QVariantMap Metadata() const { return m_service->Metadata(); }
    double Volume() const { return m_service->Volume(); }
    void SetVolume(double v) { m_service->SetVolume(v); }
    qlonglong Position() const { return m_service->Position(); }
    bool CanGoNext() const { return m_service->CanGoNext(); }
    bool CanGoPrevious() const { return m_service->CanGoPrevious(); }
    bool CanPlay() const { return m_service->CanPlay(); }
    bool CanPause() const { return m_service->CanPause(); }
    bool CanSeek() const { return m_service->CanSeek(); }
    bool CanControl() const { return true; }
public slots:
    void Next() { m_service->Next(); }
    void Previous() { m_service->Previous(); }
    void Pause() { m_service->Pause(); }
    void PlayPause() { m_service->PlayPause(); }
    void Stop() { m_service->Stop(); }
    void Play() { m_service->Play(); }
    void Seek(qlonglong offset) { m_service->Seek(offset); }
    void SetPosition(const QDBusObjectPath &track, qlonglong position) {
        m_service->SetPosition(track, position);
    }
    // A file or web address the player cannot open is answered with an error.
    void OpenUri(const QString &uri, const QDBusMessage &message);
signals:
    void Seeked(qlonglong Position);

private:
    MprisService *m_service;
};

} // namespace kz
