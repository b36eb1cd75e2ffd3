// The desktop's media integration of the real player: KZPlayer under dbus-run-session with a
// play list of three movies, driven by playerctl and watched by dbus-monitor.

#include "formats/swf/SwfWriter.h"
#include "playback/mpris/MprisService.h"
#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

using namespace kz;

namespace {

using namespace kz::test;

// A square of `colour` crossing the stage over `frames` frames at 12 a second.
QByteArray Animated(int frames, QColor colour) {
    return AnimatedSquare(frames, colour, 80);
}

// The real player and everything the test runs against it, on one private session bus.
struct BusPlayer {
    QTemporaryDir home;
    QProcessEnvironment env = PrivateEnvironment(home.path());
    QProcess session; // dbus-run-session with the player inside
    QProcess monitor;
    QString address;
    int shots = 0;
    qsizetype seen = 0; // of the signals' file

    QString Player() const { return QDir(BinDir()).filePath("KZPlayer"); }
    // Starts the player on `movie` inside dbus-run-session; the bus's address comes back
    // through a file.
    bool Start(const QString &movie) {
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        session.setProcessEnvironment(env);
        const QString file = home.filePath("bus-address");
        session.start("dbus-run-session",
                      {"--", "sh", "-c",
                       "echo \"$DBUS_SESSION_BUS_ADDRESS\" > \"$0\"; exec \"$1\" \"$2\"", file,
                       Player(), movie});
        if (!session.waitForStarted(10000))
            return false;
        if (!SleepUntil([&] { return !ReadFile(file).trimmed().isEmpty(); }, 20000))
            return false;
        address = QString::fromUtf8(ReadFile(file).trimmed());
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        monitor.setProcessEnvironment(env);
        // Line-buffered into a file: the test reads the signals as they come.
        monitor.setStandardOutputFile(home.filePath("signals.log"));
        monitor.start("stdbuf", {"-oL", "dbus-monitor", "--session",
                                 "type='signal',interface='org.freedesktop.DBus.Properties'",
                                 "type='signal',member='Seeked'"});
        return monitor.waitForStarted(10000) &&
               SleepUntil([&] { return Ctl({"-l"}).contains("kzplayer"); }, 60000);
    }
    // A second start of the player hands its movie to the first.
    bool HandOver(const QString &movie) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(Player(), {movie});
        return second.waitForFinished(60000);
    }
    QString Ctl(const QStringList &args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("playerctl", QStringList{"-p", "kzplayer"} + args);
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QString Title() { return Ctl({"metadata", "xesam:title"}); }
    // Every property of the player interface, as gdbus prints them.
    QString All() {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("gdbus", {"call", "--session", "--dest", kMprisBusName, "--object-path",
                          kMprisObjectPath, "--method", "org.freedesktop.DBus.Properties.GetAll",
                          "org.mpris.MediaPlayer2.Player"});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QImage Shot() { return ScreenShot(home.filePath(QString("shot%1.png").arg(shots++))); }
    // Waits until the screen shows `colour` (the movie of that colour plays).
    bool Shows(QColor colour) {
        return SleepUntil([&] { return CountNear(Shot(), colour) > 100; }, 60000);
    }
    // The signals seen since the last call.
    QString Signals() {
        QThread::msleep(500);
        const QByteArray all = ReadFile(home.filePath("signals.log"));
        const QString fresh = QString::fromUtf8(all.mid(seen));
        seen = all.size();
        return fresh;
    }
    ~BusPlayer() {
        Ctl({"stop"});
        QProcess quit;
        quit.setProcessEnvironment(env);
        quit.start("dbus-send", {"--session", "--print-reply", "--dest=" + QString(kMprisBusName),
                                 kMprisObjectPath, "org.mpris.MediaPlayer2.Quit"});
        quit.waitForFinished(10000);
        if (!session.waitForFinished(20000))
            session.kill();
        monitor.kill();
        monitor.waitForFinished(5000);
    }
};

} // namespace

TEST(MprisE2e, PlayerctlDrivesAPlayListOfThree) {
    KeepStateFiles keep;
    BusPlayer p;
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
    QStringList movies;
    for (int i = 0; i < 3; ++i) {
        movies << p.home.filePath(QString("clip%1.swf").arg(i));
        ASSERT_TRUE(WriteFile(movies.last(), Animated(240, colours[i])));
    }
    ASSERT_TRUE(p.Start(movies[0])) << "the player is not on the bus";
    ASSERT_TRUE(p.HandOver(movies[1]));
    ASSERT_TRUE(p.HandOver(movies[2]));
    // A movie handed over plays; one handed over while the first waits only joins the list.
    int current = -1;
    ASSERT_TRUE(SleepUntil(
        [&] {
            current = int(movies.indexOf(QUrl(p.Ctl({"metadata", "xesam:url"})).toLocalFile()));
            return current >= 1;
        },
        60000));
    ASSERT_TRUE(p.Shows(colours[current]));
    EXPECT_EQ(p.Ctl({"status"}), "Playing");
    EXPECT_EQ(p.Ctl({"metadata", "mpris:length"}), "20000000") << "240 frames at 12: 20 s";
    EXPECT_EQ(p.Title(), QString("clip%1").arg(current));
    p.Signals();

    // The engine reports the frames of a movie a moment after it starts; then it can seek.
    ASSERT_TRUE(SleepUntil([&] { return p.All().contains("'CanSeek': <true>"); }, 30000))
        << p.All().toStdString();
    // Pause: the picture stands still.
    p.Ctl({"play-pause"});
    EXPECT_EQ(p.Ctl({"status"}), "Paused");
    EXPECT_TRUE(p.Signals().contains("Paused"));
    QThread::msleep(300);
    const QImage a = p.Shot();
    QThread::msleep(700);
    EXPECT_EQ(a, p.Shot()) << "a paused movie moves";
    p.Ctl({"position", "2"});
    const double position = p.Ctl({"position"}).toDouble();
    EXPECT_NEAR(position, 2.0, 0.1) << "frame 24 of 12 a second";
    EXPECT_TRUE(p.Signals().contains("Seeked"));
    EXPECT_EQ(p.Ctl({"status"}), "Paused") << "a seek keeps the state";
    Pump(500);
    EXPECT_NE(a, p.Shot()) << "the frame reached is not on the screen";

    p.Ctl({"play-pause"});
    EXPECT_EQ(p.Ctl({"status"}), "Playing");
    EXPECT_TRUE(p.Signals().contains("Playing"));

    // Next, round past the last row, and previous: the title and the picture follow.
    struct Step {
        const char *command;
        int by;
    };
    for (const Step s : {Step{"next", 1}, Step{"next", 1}, Step{"previous", -1}}) {
        current = (current + s.by + 3) % 3;
        SCOPED_TRACE(QString("%1 to %2").arg(s.command).arg(current).toStdString());
        p.Ctl({s.command});
        EXPECT_TRUE(p.Shows(colours[current]));
        EXPECT_EQ(p.Title(), QString("clip%1").arg(current));
        EXPECT_TRUE(p.Signals().contains("PropertiesChanged")) << "no PropertiesChanged";
    }

    p.Shot().save(QDir::temp().filePath("kz-mpris-playing.png"));
}
