#pragma once
// A private PulseAudio server for the tests that drive a real mixer: a daemon of its own with
// null sinks and the native protocol on a private socket, nothing taken from a user session.
// The daemon goes with this object (and with the test program, should that die first).

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QProcess;

namespace kz::test {

class PulseServer {
public:
    // A null sink "kz_null" with `channels` channels is the default sink.
    explicit PulseServer(int channels = 2);
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Starts the daemon and waits until it answers; false when it cannot be started.
    bool Start();
    // Ends the daemon at once (SIGKILL: a server that goes away).
    void Kill();
    bool Running() const;
    // "unix:<socket>", for PULSE_SERVER.
    QString ServerString() const;
    // The environment a client of this server needs (PULSE_SERVER and private folders).
    QStringList Environment() const;
    // Points this process at the server until the object goes.
    void UseInThisProcess();

    // pactl against the server; its output, or empty on failure.
    std::optional<QString> Pactl(const QStringList &args) const;
    std::vector<std::uint32_t> SinkVolume(const QString &sink = QStringLiteral("kz_null")) const;
    std::optional<bool> SinkMuted(const QString &sink = QStringLiteral("kz_null")) const;
    bool Run(const QStringList &pactlArgs) const { return Pactl(pactlArgs).has_value(); }
    // `ms` of what the sink plays, from its monitor: mono signed 16-bit samples at 22050 Hz.
    std::vector<std::int16_t> RecordMonitor(int ms) const;
    // The largest absolute sample.
    static int Peak(const std::vector<std::int16_t> &samples);

    static constexpr const char *kSink = "kz_null";

private:
    QTemporaryDir m_dir;
    int m_channels;
    std::unique_ptr<QProcess> m_daemon;
    std::optional<QByteArray> m_oldServer;
    bool m_usedHere = false;
};

} // namespace kz::test
