#include "PulseServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>

namespace kz::test {

namespace {
constexpr int kStartWaitMs = 20000;
constexpr int kPactlWaitMs = 10000;
} // namespace

PulseServer::PulseServer(int channels) : m_channels(channels) {
    Start();
}

PulseServer::~PulseServer() {
    Kill();
    if (m_usedHere) {
        if (m_oldServer)
            qputenv("PULSE_SERVER", *m_oldServer);
        else
            qunsetenv("PULSE_SERVER");
    }
}

QString PulseServer::ServerString() const {
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

QStringList PulseServer::Environment() const {
    const QString home = m_dir.filePath(QStringLiteral("home"));
    return {QStringLiteral("PULSE_SERVER=") + ServerString(),
            QStringLiteral("PULSE_RUNTIME_PATH=") + m_dir.filePath(QStringLiteral("runtime")),
            QStringLiteral("PULSE_STATE_PATH=") + m_dir.filePath(QStringLiteral("state")),
            QStringLiteral("HOME=") + home,
            QStringLiteral("XDG_CONFIG_HOME=") + home + "/.config",
            QStringLiteral("XDG_RUNTIME_DIR=") + m_dir.filePath(QStringLiteral("runtime"))};
}

void PulseServer::UseInThisProcess() {
    if (!m_usedHere) {
        m_oldServer = qEnvironmentVariableIsSet("PULSE_SERVER")
                          ? std::optional<QByteArray>(qgetenv("PULSE_SERVER"))
                          : std::nullopt;
        m_usedHere = true;
    }
    qputenv("PULSE_SERVER", ServerString().toUtf8());
}

bool PulseServer::Running() const {
    return m_daemon && m_daemon->state() == QProcess::Running;
}

bool PulseServer::Start() {
    if (Running())
        return true;
    if (!m_dir.isValid())
        return false;
    for (const char *sub : {"home", "runtime", "state"})
        QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
    const QString script = m_dir.filePath(QStringLiteral("server.pa"));
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(QStringLiteral("load-module module-null-sink sink_name=%1 channels=%2\n"
                           "load-module module-native-protocol-unix socket=%3 auth-anonymous=1\n"
                           "set-default-sink %1\n")
                .arg(QString::fromLatin1(kSink))
                .arg(m_channels)
                .arg(m_dir.filePath(QStringLiteral("native")))
                .toUtf8());
    f.close();

    m_daemon = std::make_unique<QProcess>();
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString &v) {
        return v.startsWith(u"PULSE_") || v.startsWith(u"XDG_RUNTIME_DIR=") ||
               v.startsWith(u"HOME=") || v.startsWith(u"DBUS_SESSION_BUS_ADDRESS=");
    });
    env << Environment();
    m_daemon->setEnvironment(env);
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon->setStandardOutputFile(QProcess::nullDevice());
    // The daemon does not outlive the test program.
    m_daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // -n: no default script; the system-wide mode is off, so it runs as root too.
    m_daemon->start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                     QStringLiteral("--system=false"), QStringLiteral("--exit-idle-time=-1"),
                     QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-level=error"),
                     QStringLiteral("-F"), script});
    if (!m_daemon->waitForStarted(kStartWaitMs))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kStartWaitMs && Running()) {
        if (QFile::exists(m_dir.filePath(QStringLiteral("native"))) &&
            Pactl({QStringLiteral("info")}))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void PulseServer::Kill() {
    if (!m_daemon)
        return;
    if (m_daemon->state() != QProcess::NotRunning) {
        m_daemon->kill();
        m_daemon->waitForFinished(kStartWaitMs);
    }
    m_daemon.reset();
}

std::optional<QString> PulseServer::Pactl(const QStringList &args) const {
    QProcess p;
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString &v) { return v.startsWith(u"PULSE_"); });
    env << Environment();
    p.setEnvironment(env);
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForFinished(kPactlWaitMs) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

std::vector<std::int16_t> PulseServer::RecordMonitor(int ms) const {
    constexpr int kRate = 22050;
    const qint64 want = qint64(kRate) * ms / 1000 * 2;
    QProcess p;
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString &v) { return v.startsWith(u"PULSE_"); });
    env << Environment();
    p.setEnvironment(env);
    p.start(QStringLiteral("parec"),
            {QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
             QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(kRate),
             QStringLiteral("--latency-msec=20"),
             QStringLiteral("--device=%1.monitor").arg(QString::fromLatin1(kSink))});
    QByteArray bytes;
    QElapsedTimer t;
    t.start();
    while (bytes.size() < want && t.elapsed() < ms + kPactlWaitMs &&
           p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(50);
        bytes += p.readAllStandardOutput();
    }
    p.kill();
    p.waitForFinished();
    std::vector<std::int16_t> samples(std::size_t(std::min(bytes.size(), want) / 2));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

int PulseServer::Peak(const std::vector<std::int16_t> &samples) {
    int peak = 0;
    for (std::int16_t s : samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}

std::vector<std::uint32_t> PulseServer::SinkVolume(const QString &sink) const {
    std::vector<std::uint32_t> values;
    const std::optional<QString> out = Pactl({QStringLiteral("get-sink-volume"), sink});
    if (!out)
        return values;
    // "Volume: front-left: 32768 /  50% / -18.06 dB,   front-right: …"
    static const QRegularExpression channel(QStringLiteral(":\\s*(\\d+)\\s*/"));
    for (auto it = channel.globalMatch(out->section(u'\n', 0, 0)); it.hasNext();)
        values.push_back(it.next().captured(1).toUInt());
    return values;
}

std::optional<bool> PulseServer::SinkMuted(const QString &sink) const {
    const std::optional<QString> out = Pactl({QStringLiteral("get-sink-mute"), sink});
    if (!out)
        return std::nullopt;
    if (out->contains(u"yes"))
        return true;
    if (out->contains(u"no"))
        return false;
    return std::nullopt;
}

} // namespace kz::test
