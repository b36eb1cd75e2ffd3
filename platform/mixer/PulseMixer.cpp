// The speaker line on PulseAudio. A threaded main loop talks to the server: it follows the
// default sink through a subscription to sink and server events and keeps the last answer;
// the user-interface thread reads that copy and hears of changes through queued calls, so it
// never waits for the server (only for its first answer, and for the last write at close,
// both bounded).

#include "Mixer.h"

#include <pulse/pulseaudio.h>

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kz {

namespace {

constexpr pa_usec_t kReconnectUsec = 1000 * PA_USEC_PER_MSEC;
constexpr int kCloseWaitMs = 100;
const char *const kDefaultSink = "@DEFAULT_SINK@";

class PulseMixer final : public Mixer {
public:
    explicit PulseMixer(int firstAnswerMs);
    ~PulseMixer() override;

    std::optional<SpeakerLine> Line() override;
    bool SetVolume(std::uint32_t value) override;
    bool SetMute(bool on, const QString &output, bool wait) override;

private:
    // On the main loop's thread, with its lock held.
    void Connect();
    void DropContext();
    void Query();
    void Publish(std::optional<SpeakerLine> line);
    void ScheduleReconnect();
    static void OnContextState(pa_context *c, void *self);
    static void OnEvent(pa_context *c, pa_subscription_event_type_t t, std::uint32_t index,
                        void *self);
    static void OnSinkInfo(pa_context *c, const pa_sink_info *info, int eol, void *self);
    static void OnRetry(pa_mainloop_api *api, pa_time_event *e, const struct timeval *tv,
                        void *self);
    // On the user-interface thread.
    void Deliver();
    bool Ready() const { return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY; }

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_time_event *m_retry = nullptr;
    std::optional<SpeakerLine> m_gathering;

    std::mutex m_mutex; // guards m_line and m_answered
    std::condition_variable m_firstAnswer;
    std::optional<SpeakerLine> m_line;
    bool m_answered = false;

    std::optional<SpeakerLine> m_delivered; // what the user-interface thread has seen
};

PulseMixer::PulseMixer(int firstAnswerMs) {
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    Connect();
    pa_threaded_mainloop_unlock(m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_lock(m_loop);
        DropContext();
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        return;
    }
    std::unique_lock lock(m_mutex);
    m_firstAnswer.wait_for(lock, std::chrono::milliseconds(std::max(0, firstAnswerMs)),
                           [this] { return m_answered; });
    m_delivered = m_line;
}

PulseMixer::~PulseMixer() {
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    if (m_retry) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_retry);
        m_retry = nullptr;
    }
    DropContext();
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulseMixer::Connect() {
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "KZPlayer");
    if (!m_context) {
        Publish(std::nullopt);
        ScheduleReconnect();
        return;
    }
    pa_context_set_state_callback(m_context, &PulseMixer::OnContextState, this);
    // Never start a server of our own: the mixer is the one the session runs.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        Publish(std::nullopt);
        ScheduleReconnect();
    }
}

void PulseMixer::DropContext() {
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseMixer::ScheduleReconnect() {
    if (m_retry)
        return;
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    struct timeval tv;
    pa_timeval_add(pa_gettimeofday(&tv), kReconnectUsec);
    m_retry = api->time_new(api, &tv, &PulseMixer::OnRetry, this);
}

void PulseMixer::OnRetry(pa_mainloop_api *api, pa_time_event *e, const struct timeval *, void *p) {
    auto *self = static_cast<PulseMixer *>(p);
    api->time_free(e);
    self->m_retry = nullptr;
    self->DropContext();
    self->Connect();
}

void PulseMixer::OnContextState(pa_context *c, void *p) {
    auto *self = static_cast<PulseMixer *>(p);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: {
        pa_context_set_subscribe_callback(c, &PulseMixer::OnEvent, self);
        const auto mask =
            pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation *op = pa_context_subscribe(c, mask, nullptr, nullptr))
            pa_operation_unref(op);
        self->Query();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // The server is gone (or never was): inert until it answers again.
        self->Publish(std::nullopt);
        self->ScheduleReconnect();
        break;
    default:
        break;
    }
}

void PulseMixer::OnEvent(pa_context *, pa_subscription_event_type_t t, std::uint32_t, void *p) {
    // Any sink or server change may concern the default sink (or make another one the
    // default); asking again is cheap and keeps one way of knowing.
    const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER)
        static_cast<PulseMixer *>(p)->Query();
}

void PulseMixer::Query() {
    if (!m_context)
        return;
    if (pa_operation *op = pa_context_get_sink_info_by_name(m_context, kDefaultSink,
                                                            &PulseMixer::OnSinkInfo, this))
        pa_operation_unref(op);
}

void PulseMixer::OnSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *p) {
    auto *self = static_cast<PulseMixer *>(p);
    if (info && eol == 0) {
        SpeakerLine line;
        line.name = QString::fromUtf8(info->name ? info->name : "");
        const unsigned n = std::min<unsigned>(info->volume.channels, PA_CHANNELS_MAX);
        line.channels.assign(info->volume.values, info->volume.values + n);
        line.hasMute = true;
        line.muted = info->mute != 0;
        self->m_gathering = std::move(line);
        return;
    }
    // The end of the answer; an error (no default sink) leaves no line.
    self->Publish(eol > 0 ? std::exchange(self->m_gathering, std::nullopt) : std::nullopt);
    self->m_gathering.reset();
}

void PulseMixer::Publish(std::optional<SpeakerLine> line) {
    {
        std::lock_guard lock(m_mutex);
        const bool same = m_answered && m_line == line;
        m_line = std::move(line);
        m_answered = true;
        m_firstAnswer.notify_all();
        if (same)
            return;
    }
    QMetaObject::invokeMethod(
        this, [this] { Deliver(); }, Qt::QueuedConnection);
}

void PulseMixer::Deliver() {
    std::optional<SpeakerLine> now;
    {
        std::lock_guard lock(m_mutex);
        now = m_line;
    }
    const std::optional<SpeakerLine> seen = std::exchange(m_delivered, now);
    if (seen == now)
        return;
    if (!seen || !now || seen->name != now->name || seen->channels.size() != now->channels.size() ||
        seen->hasMute != now->hasMute) {
        emit LineChanged();
        return;
    }
    if (seen->channels != now->channels)
        emit ControlChange(kMixerVolumeControl);
    if (seen->muted != now->muted)
        emit ControlChange(kMixerMuteControl);
}

std::optional<SpeakerLine> PulseMixer::Line() {
    std::lock_guard lock(m_mutex);
    m_delivered = m_line;
    return m_line;
}

bool PulseMixer::SetVolume(std::uint32_t value) {
    if (!m_loop)
        return false;
    value = std::min(value, kMixerVolumeMax);
    QByteArray name;
    unsigned count = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_line || m_line->channels.empty())
            return false;
        name = m_line->name.toUtf8();
        count = unsigned(m_line->channels.size());
        // Taken as written at once; the server's answer follows if it differs.
        std::fill(m_line->channels.begin(), m_line->channels.end(), value);
        m_delivered = m_line;
    }
    pa_cvolume volume;
    pa_cvolume_set(&volume, count, pa_volume_t(value));
    pa_threaded_mainloop_lock(m_loop);
    pa_operation *op = nullptr;
    if (Ready())
        op = pa_context_set_sink_volume_by_name(m_context, name.constData(), &volume, nullptr,
                                                nullptr);
    if (op)
        pa_operation_unref(op);
    pa_threaded_mainloop_unlock(m_loop);
    return op != nullptr;
}

bool PulseMixer::SetMute(bool on, const QString &output, bool wait) {
    if (!m_loop)
        return false;
    QByteArray name = output.toUtf8();
    {
        std::lock_guard lock(m_mutex);
        if (name.isEmpty()) {
            if (!m_line || !m_line->hasMute)
                return false;
            name = m_line->name.toUtf8();
        }
        if (m_line && m_line->name.toUtf8() == name) {
            m_line->muted = on;
            m_delivered = m_line;
        }
    }
    pa_threaded_mainloop_lock(m_loop);
    pa_operation *op = nullptr;
    if (Ready())
        op = pa_context_set_sink_mute_by_name(m_context, name.constData(), on ? 1 : 0, nullptr,
                                              nullptr);
    pa_threaded_mainloop_unlock(m_loop);
    if (!op)
        return false;
    bool done = !wait;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        pa_threaded_mainloop_lock(m_loop);
        done = pa_operation_get_state(op) != PA_OPERATION_RUNNING;
        pa_threaded_mainloop_unlock(m_loop);
        if (!done)
            QThread::msleep(1);
    }
    pa_threaded_mainloop_lock(m_loop);
    pa_operation_unref(op);
    pa_threaded_mainloop_unlock(m_loop);
    return true;
}

} // namespace

std::unique_ptr<Mixer> CreatePulseMixer(int firstAnswerMs) {
    return std::make_unique<PulseMixer>(firstAnswerMs);
}

} // namespace kz
