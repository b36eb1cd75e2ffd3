#include "MprisService.h"

#include "controls/MacSliderCtrl.h"
#include "platform/flash/FlashControl.h"
#include "platform/http/HttpClient.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/PlayHost.h"
#include "playback/SoundCtrlDlg.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kz {

namespace {

constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr qlonglong kMicro = 1000000;

} // namespace

bool SessionBusAvailable() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

MprisService::MprisService(CPlayCtrlDlg *ctrl, FlashControl *flash, PlayHost *host,
                           MprisActions actions, QObject *parent)
    : QObject(parent), m_ctrl(ctrl), m_flash(flash), m_host(host), m_actions(std::move(actions)),
      m_bus(QString()) {
    new MprisRootAdaptor(this);
    auto *player = new MprisPlayerAdaptor(this);
    connect(this, &MprisService::Seeked, player, &MprisPlayerAdaptor::Seeked);
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kMprisRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &MprisService::Refresh);
    // A load passes through "stopped" on its way to "playing": the panel hears only where the
    // controller ends up.
    auto *coalesce = new QTimer(this);
    coalesce->setSingleShot(true);
    coalesce->setInterval(0);
    connect(coalesce, &QTimer::timeout, this, &MprisService::Refresh);
    connect(m_ctrl, &CPlayCtrlDlg::StateChanged, coalesce, qOverload<>(&QTimer::start));
    connect(m_ctrl, &CPlayCtrlDlg::Jumped, this, [this] {
        if (m_registered)
            emit Seeked(Position());
    });
}

MprisService::~MprisService() {
    if (m_registered) {
        m_bus.unregisterObject(QLatin1String(kMprisObjectPath));
        m_bus.unregisterService(m_name);
    }
}

bool MprisService::Register(QDBusConnection bus, const QString &name) {
    if (m_registered || !bus.isConnected())
        return false;
    if (!bus.registerObject(QLatin1String(kMprisObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(name)) {
        bus.unregisterObject(QLatin1String(kMprisObjectPath));
        return false;
    }
    m_bus = bus;
    m_name = name;
    m_registered = true;
    m_sent = PlayerSnapshot();
    m_refresh->start();
    return true;
}

// --- properties ---------------------------------------------------------------------------

bool MprisService::HasMovie() const {
    return m_ctrl->m_nPlayState != kStateStopped;
}

int MprisService::FrameRate() const {
    return m_ctrl->Header().frameRate;
}

QString MprisService::PlaybackStatus() const {
    switch (m_ctrl->m_nPlayState) {
    case kStatePlaying:
        return QStringLiteral("Playing");
    case kStatePaused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QDBusObjectPath MprisService::TrackId() const {
    return QDBusObjectPath(QLatin1String(kMprisTrackPrefix) +
                           QString::number(m_ctrl->MovieSerial()));
}

qlonglong MprisService::Length() const {
    const SwfHeaderInfo h = m_ctrl->Header();
    if (h.frameCount <= 0 || h.frameRate <= 0)
        return 0;
    return qlonglong(h.frameCount) * kMicro / h.frameRate;
}

QVariantMap MprisService::Metadata() const {
    if (!HasMovie())
        return {};
    const QString movie = m_flash->Movie();
    const QUrl url = m_ctrl->m_bUrlMode ? QUrl(movie) : QUrl::fromLocalFile(movie);
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
    m.insert(QStringLiteral("xesam:title"), QFileInfo(url.path()).completeBaseName());
    m.insert(QStringLiteral("xesam:url"), url.toString());
    if (const qlonglong length = Length(); length > 0)
        m.insert(QStringLiteral("mpris:length"), length);
    return m;
}

qlonglong MprisService::Position() const {
    // The control's frame is exact for a movie that reports it and a clock for any other.
    const int frame = m_flash->CurrentFrame();
    const int rate = FrameRate();
    if (!HasMovie() || frame <= 0 || rate <= 0)
        return 0;
    return qlonglong(frame) * kMicro / rate;
}

double MprisService::Volume() const {
    CSoundCtrlDlg *panel = m_ctrl->SoundPanel();
    if (!panel)
        return 0.0;
    return double(panel->Trackbar()->value() - int(kMixerVolumeMin)) /
           double(kMixerVolumeMax - kMixerVolumeMin);
}

void MprisService::SetVolume(double volume) {
    CSoundCtrlDlg *panel = m_ctrl->SoundPanel();
    if (!panel || !std::isfinite(volume))
        return;
    const double v = std::clamp(volume, 0.0, 1.0);
    const int position =
        int(kMixerVolumeMin) + int(std::lround(v * double(kMixerVolumeMax - kMixerVolumeMin)));
    panel->Trackbar()->setValue(position);
    panel->OnVolumeScroll(position);
    Refresh();
}

bool MprisService::CanGoNext() const {
    if (m_host->NetSearchViewShown())
        return !m_host->NetResultList().isEmpty();
    return m_host->PlayListRowCount() > 0;
}

bool MprisService::CanGoPrevious() const {
    return CanGoNext(); // the list wraps both ways
}

bool MprisService::CanPlay() const {
    return HasMovie() || CanGoNext();
}

bool MprisService::CanPause() const {
    return HasMovie();
}

bool MprisService::CanSeek() const {
    return m_ctrl->CanStepFrames();
}

QVariantMap MprisService::PlayerSnapshot() const {
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), Volume()},
        {QStringLiteral("CanGoNext"), CanGoNext()},
        {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
        {QStringLiteral("CanPlay"), CanPlay()},
        {QStringLiteral("CanPause"), CanPause()},
        {QStringLiteral("CanSeek"), CanSeek()},
    };
}

void MprisService::Refresh() {
    if (!m_registered)
        return;
    const QVariantMap now = PlayerSnapshot();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (it.value() != m_sent.value(it.key()))
            changed.insert(it.key(), it.value());
    m_sent = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kMprisObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal.setArguments({QLatin1String(kPlayerInterface), changed, QStringList()});
    m_bus.send(signal);
}

// --- methods ------------------------------------------------------------------------------

void MprisService::Raise() {
    if (m_actions.raise)
        m_actions.raise();
}

void MprisService::Quit() {
    if (m_actions.quit)
        m_actions.quit();
}

void MprisService::Play() {
    // The controller's Play starts the current item over when it already plays.
    if (m_ctrl->m_nPlayState != kStatePlaying)
        m_ctrl->OnPlay();
}

void MprisService::Pause() {
    if (m_ctrl->m_nPlayState == kStatePlaying)
        m_ctrl->OnPause();
}

void MprisService::PlayPause() {
    if (m_ctrl->m_nPlayState == kStatePlaying)
        m_ctrl->OnPause();
    else
        m_ctrl->OnPlay();
}

void MprisService::Stop() {
    m_ctrl->OnStop();
}

void MprisService::Next() {
    m_ctrl->OnNext();
}

void MprisService::Previous() {
    m_ctrl->OnPrevious();
}

int MprisService::FrameAt(qlonglong position) const {
    const int rate = FrameRate();
    if (rate <= 0)
        return 0;
    // Rounded down, in 64 bits: a position inside a frame shows that frame.
    return int(std::min<qlonglong>(position / kMicro * rate + position % kMicro * rate / kMicro,
                                   std::numeric_limits<int>::max()));
}

void MprisService::Seek(qlonglong offset) {
    if (!CanSeek())
        return;
    const qlonglong now = Position();
    // Clamped so that no offset overflows the sum.
    const qlonglong limit = std::numeric_limits<qlonglong>::max() / 2;
    const qlonglong target = std::max<qlonglong>(0, now + std::clamp(offset, -limit, limit));
    const int frame = FrameAt(target);
    if (frame >= m_flash->TotalFrames()) {
        Next(); // past the end: as the next command
        return;
    }
    m_ctrl->GoToFrame(frame);
}

void MprisService::SetPosition(const QDBusObjectPath &track, qlonglong position) {
    if (!CanSeek() || track != TrackId() || position < 0)
        return;
    const qlonglong length = Length();
    if (length > 0 && position > length)
        return;
    m_ctrl->GoToFrame(std::min(FrameAt(position), m_flash->TotalFrames() - 1));
}

bool MprisService::OpenUri(const QString &uri) {
    if (IsValidWebUrl(uri)) {
        if (!m_actions.openUrl)
            return false;
        m_actions.openUrl(QUrl(uri).toString());
        return true;
    }
    const QUrl url(uri);
    const QString scheme = url.scheme().toLower();
    QString path;
    if (scheme == u"file" && url.isValid())
        path = url.toLocalFile();
    else if (scheme.isEmpty() && QFileInfo(uri).isAbsolute())
        path = uri;
    if (path.isEmpty() || !QFileInfo(path).isFile() || !m_actions.openFile)
        return false;
    m_actions.openFile(path);
    return true;
}

// --- adaptors -----------------------------------------------------------------------------

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

QStringList MprisRootAdaptor::SupportedUriSchemes() const {
    return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")};
}

QStringList MprisRootAdaptor::SupportedMimeTypes() const {
    return {QStringLiteral("application/x-shockwave-flash"),
            QStringLiteral("application/vnd.adobe.flash.movie"),
            QStringLiteral("application/x-kzplayer-tpl")};
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service) {
    // The Seeked signal is relayed by hand; property changes are sent by the service.
    setAutoRelaySignals(false);
}

void MprisPlayerAdaptor::OpenUri(const QString &uri, const QDBusMessage &message) {
    if (m_service->OpenUri(uri))
        return;
    message.setDelayedReply(true);
    m_service->Bus().send(message.createErrorReply(QDBusError::InvalidArgs,
                                                   QStringLiteral("cannot open %1").arg(uri)));
}

} // namespace kz
