// The player on a private session bus: a dbus-daemon of the test's own, the service on one
// connection and a client on another, the play controller with a fake control behind it.

#include "FakePlayHost.h"

#include "controls/MacSliderCtrl.h"
#include "platform/Paths.h"
#include "platform/mixer/Mixer.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/SoundCtrlDlg.h"
#include "playback/mpris/MprisService.h"
#include "support/FakeFlashControl.h"
#include "support/SwfFixtures.h"
#include "support/TestSupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

constexpr char kProps[] = "org.freedesktop.DBus.Properties";
constexpr char kPlayer[] = "org.mpris.MediaPlayer2.Player";

QByteArray Movie(int frames, int rate) {
    SwfSpec s;
    s.signature = 'F';
    s.frameCount = std::uint16_t(frames);
    s.rateInteger = std::uint8_t(rate);
    s.xMax = 100 * 20;
    s.yMax = 100 * 20;
    s.tags.push_back({255, QByteArray(64, '\0')});
    return BuildSwf(s) + QByteArray(100, '\0');
}

// A session bus of the test's own, gone with the object.
struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus() {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
};

// Records the PropertiesChanged and Seeked signals the client sees.
class Listener : public QObject {
    Q_OBJECT
public:
    QStringList changed; // the names, in order
    QVariantMap last;
    QList<qlonglong> seeked;
public slots:
    void OnChanged(const QString &, const QVariantMap &props, const QStringList &) {
        for (auto it = props.begin(); it != props.end(); ++it) {
            changed << it.key();
            last.insert(it.key(), it.value());
        }
    }
    void OnSeeked(qlonglong position) { seeked << position; }
};

struct Rig {
    PrivateBus bus;
    QTemporaryDir dir;
    FakePlayHost host;
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    FakeFlashControl *flash;
    CPlayCtrlDlg *ctrl;
    QStringList opened;
    std::unique_ptr<MprisService> service;
    QDBusConnection server = QDBusConnection(QString());
    QDBusConnection client = QDBusConnection(QString());
    Listener listener;
    bool registered = false;

    explicit Rig(FakeEngine engine = FakeEngine::Reports) {
        flash = new FakeFlashControl(parent.get(), engine);
        ctrl = new CPlayCtrlDlg(flash, &host, {}, parent.get());
        ctrl->OnInitDialog();
        for (const char *name : {"one", "two", "three"}) {
            const QString path = dir.filePath(QString(name) + ".swf");
            WriteFile(path, Movie(100, 10));
            host.rows << qMakePair(path, QString(name) + ".swf");
        }
        MprisActions actions;
        actions.raise = [this] { opened << "raise"; };
        actions.quit = [this] { opened << "quit"; };
        actions.openFile = [this](const QString &p) { opened << "file " + p; };
        actions.openUrl = [this](const QString &u) { opened << "url " + u; };
        service = std::make_unique<MprisService>(ctrl, flash, &host, std::move(actions));
        server = QDBusConnection::connectToBus(bus.address, "mpris-server");
        client = QDBusConnection::connectToBus(bus.address, "mpris-client");
        registered = service->Register(server);
        client.connect(kMprisBusName, kMprisObjectPath, kProps, "PropertiesChanged", &listener,
                       SLOT(OnChanged(QString, QVariantMap, QStringList)));
        client.connect(kMprisBusName, kMprisObjectPath, kPlayer, "Seeked", &listener,
                       SLOT(OnSeeked(qlonglong)));
    }
    ~Rig() {
        service.reset();
        QDBusConnection::disconnectFromBus("mpris-server");
        QDBusConnection::disconnectFromBus("mpris-client");
    }
    // A call from the client; the service answers on this thread, so the loop runs meanwhile.
    QDBusMessage Call(const QString &iface, const QString &method, const QVariantList &args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(kMprisBusName, kMprisObjectPath, iface, method);
        m.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(m, 5000);
        PumpUntil([&] { return pending.isFinished(); }, 6000);
        return pending.reply();
    }
    QVariant Get(const QString &iface, const QString &name) {
        const QDBusMessage r = Call(kProps, "Get", {iface, name});
        return r.arguments().isEmpty() ? QVariant()
                                       : r.arguments().first().value<QDBusVariant>().variant();
    }
    QVariantMap Metadata() {
        return qdbus_cast<QVariantMap>(Get(kPlayer, "Metadata").value<QDBusArgument>());
    }
    // Starts the first row and lets the engine report it.
    void StartFirst() {
        ctrl->OnPlay();
        flash->FinishLoad(MovieFacts{100, 100, 10, 100, 8, 0});
    }
    // Lets the service's signals reach the client.
    void Settle() { Pump(200); }
};

} // namespace

class Mpris : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProgramDirOverride(TestProgramDir()); }
};

TEST_F(Mpris, NoBusOrATakenNameLeavesThePlayerAsItWas) {
    {
        Rig r;
        ASSERT_TRUE(r.registered) << r.bus.address.toStdString();
        // A second player on the same bus finds the name taken.
        FakePlayHost host;
        MprisService second(r.ctrl, r.flash, &host, {});
        QDBusConnection other = QDBusConnection::connectToBus(r.bus.address, "mpris-second");
        EXPECT_FALSE(second.Register(other));
        QDBusConnection::disconnectFromBus("mpris-second");
        r.StartFirst();
        EXPECT_EQ(r.Get(kPlayer, "PlaybackStatus").toString(), "Playing") << "the first answers";
    }
    FakePlayHost host;
    QWidget parent;
    auto *flash = new FakeFlashControl(&parent);
    auto *ctrl = new CPlayCtrlDlg(flash, &host, {}, &parent);
    MprisService none(ctrl, flash, &host, {});
    EXPECT_FALSE(none.Register(QDBusConnection(QString())));
    EXPECT_FALSE(none.Registered());
    none.Refresh(); // sends nothing, fails nothing
}

TEST_F(Mpris, RootPropertiesAndMethods) {
    Rig r;
    ASSERT_TRUE(r.registered);
    const QDBusMessage all = r.Call(kProps, "GetAll", {QString("org.mpris.MediaPlayer2")});
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage);
    const QVariantMap root = qdbus_cast<QVariantMap>(all.arguments().first());
    EXPECT_EQ(root.value("Identity").toString(), QString::fromUtf8(kMprisIdentity));
    EXPECT_EQ(root.value("DesktopEntry").toString(), "kzplayer");
    EXPECT_TRUE(root.value("CanQuit").toBool());
    EXPECT_TRUE(root.value("CanRaise").toBool());
    EXPECT_FALSE(root.value("HasTrackList").toBool());
    EXPECT_EQ(qdbus_cast<QStringList>(root.value("SupportedUriSchemes")),
              (QStringList{"file", "http", "https"}));
    EXPECT_TRUE(qdbus_cast<QStringList>(root.value("SupportedMimeTypes"))
                    .contains("application/x-shockwave-flash"));
    r.Call("org.mpris.MediaPlayer2", "Raise");
    r.Call("org.mpris.MediaPlayer2", "Quit");
    EXPECT_EQ(r.opened, (QStringList{"raise", "quit"}));
}

// Each transport method against the controller's state, the title it plays and the signals.
TEST_F(Mpris, TransportFollowsTheController) {
    Rig r;
    ASSERT_TRUE(r.registered);
    EXPECT_EQ(r.Get(kPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_TRUE(r.Metadata().isEmpty());
    struct Case {
        const char *method;
        const char *status;
        int row; // the controller's current row after it
    };
    const Case cases[] = {
        {"Play", "Playing", 0}, {"PlayPause", "Paused", 0}, {"PlayPause", "Playing", 0},
        {"Next", "Playing", 1}, {"Next", "Playing", 2},     {"Previous", "Playing", 1},
        {"Pause", "Paused", 1}, {"Play", "Playing", 1},     {"Play", "Playing", 1},
        {"Stop", "Stopped", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.method);
        r.listener.changed.clear();
        const QString before = r.Get(kPlayer, "PlaybackStatus").toString();
        r.Call(kPlayer, c.method);
        r.Settle();
        EXPECT_EQ(r.Get(kPlayer, "PlaybackStatus").toString(), c.status);
        EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, c.row);
        if (QString(c.method) == "Play" && before == "Playing") {
            EXPECT_TRUE(r.listener.changed.isEmpty()) << "playing already: nothing to say";
            continue;
        }
        EXPECT_TRUE(r.listener.changed.contains("PlaybackStatus") ||
                    r.listener.changed.contains("Metadata"))
            << r.listener.changed.join(",").toStdString();
        if (QString(c.status) == "Stopped") {
            EXPECT_TRUE(r.Metadata().isEmpty());
            continue;
        }
        const QVariantMap m = r.Metadata();
        EXPECT_EQ(m.value("xesam:title").toString(),
                  QFileInfo(r.host.rows[c.row].first).completeBaseName());
        EXPECT_EQ(m.value("xesam:url").toString(),
                  QUrl::fromLocalFile(r.host.rows[c.row].first).toString());
        EXPECT_EQ(m.value("mpris:length").toLongLong(), 10 * 1000000) << "100 frames at 10";
        EXPECT_EQ(m.value("mpris:trackid").value<QDBusObjectPath>(), r.service->TrackId());
        EXPECT_EQ(r.listener.last.value("PlaybackStatus").toString(), c.status);
    }
}

// Seeking: only a movie that reports its frames; a stale track id and a position past the end
// are ignored; every jump is announced.
TEST_F(Mpris, SeekAndSetPosition) {
    for (FakeEngine engine : {FakeEngine::Reports, FakeEngine::Clock}) {
        const bool reports = engine == FakeEngine::Reports;
        SCOPED_TRACE(reports ? "reports" : "clock");
        Rig r(engine);
        ASSERT_TRUE(r.registered);
        r.StartFirst();
        r.Settle();
        EXPECT_EQ(r.Get(kPlayer, "CanSeek").toBool(), reports);
        const QDBusObjectPath track = r.service->TrackId();
        struct Case {
            const char *what;
            QDBusObjectPath track;
            qlonglong position; // for SetPosition; -1: Seek by +1.5 s instead
            int frame;          // the frame then shown, -1 unchanged
        };
        const Case cases[] = {
            {"to 2 s", track, 2000000, 20},
            {"stale track", QDBusObjectPath("/org/kzplayer/movie/999"), 5000000, -1},
            {"past the end", track, 11000000, -1},
            {"negative", track, -5, -1},
            {"seek +1.5 s", track, -1, 35},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            r.listener.seeked.clear();
            const int before = r.flash->CurrentFrame();
            if (c.position >= 0 || QString(c.what) == "negative")
                r.Call(kPlayer, "SetPosition",
                       {QVariant::fromValue(c.track), QVariant::fromValue(c.position)});
            else
                r.Call(kPlayer, "Seek", {QVariant::fromValue(qlonglong(1500000))});
            r.Settle();
            const int expected = reports && c.frame >= 0 ? c.frame : before;
            EXPECT_EQ(r.flash->CurrentFrame(), expected);
            EXPECT_EQ(r.ctrl->Trackbar()->value(), reports ? expected : 0);
            EXPECT_EQ(r.Get(kPlayer, "Position").toLongLong(), qlonglong(expected) * 100000);
            EXPECT_EQ(r.listener.seeked.size(), reports && c.frame >= 0 ? 1 : 0);
        }
        // Past the end of the movie a seek goes on to the next one.
        r.Call(kPlayer, "Seek", {QVariant::fromValue(qlonglong(60000000))});
        EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, reports ? 1 : 0);
    }
}

TEST_F(Mpris, VolumeMovesTheSoundPanelAndOpenUriHandsOver) {
    Rig r;
    ASSERT_TRUE(r.registered);
    r.Call(kProps, "Set",
           {QString(kPlayer), QString("Volume"), QVariant::fromValue(QDBusVariant(0.5))});
    r.Settle();
    EXPECT_EQ(r.ctrl->SoundPanel()->Trackbar()->value(), int(kMixerVolumeMax / 2));
    EXPECT_DOUBLE_EQ(r.Get(kPlayer, "Volume").toDouble(), 0.5);
    EXPECT_TRUE(r.listener.changed.contains("Volume"));

    const QString file = r.host.rows[2].first;
    struct Case {
        QString uri;
        QString opened; // empty: refused with an error
    };
    const Case cases[] = {
        {QUrl::fromLocalFile(file).toString(), "file " + file},
        {file, "file " + file},
        {"https://example.invalid/a.swf", "url https://example.invalid/a.swf"},
        {"ftp://example.invalid/a.swf", {}},
        {QUrl::fromLocalFile(r.dir.filePath("missing.swf")).toString(), {}},
        {"", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.uri.toStdString());
        r.opened.clear();
        const QDBusMessage reply = r.Call(kPlayer, "OpenUri", {c.uri});
        EXPECT_EQ(reply.type(),
                  c.opened.isEmpty() ? QDBusMessage::ErrorMessage : QDBusMessage::ReplyMessage);
        EXPECT_EQ(r.opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
    }
}

#include "MprisServiceTest.moc"
