#include "MixerControls.h"

#include <algorithm>

namespace kz {

bool mutecontrol::Open() {
    Close();
    if (!m_mixer)
        return false;
    const std::optional<SpeakerLine> line = m_mixer->Line();
    if (!line || !line->hasMute)
        return false;
    m_controlId = kMixerMuteControl;
    m_line = line->name;
    return true;
}

int mutecontrol::GetMute() const {
    if (!m_controlId)
        return -1;
    const std::optional<SpeakerLine> line = m_mixer->Line();
    if (!line || !line->hasMute || line->name != m_line)
        return -1;
    return line->muted ? 1 : 0;
}

void mutecontrol::SetMute(int value, bool wait) {
    if (m_controlId)
        m_mixer->SetMute(value != 0, m_line, wait);
}

void mutecontrol::SetMuteOf(const QString &output, int value, bool wait) {
    if (m_mixer && !output.isEmpty())
        m_mixer->SetMute(value != 0, output, wait);
}

void mutecontrol::Close() {
    m_controlId = 0;
    m_line.clear();
}

bool volumcontrol::Open() {
    Close();
    if (!m_mixer)
        return false;
    const std::optional<SpeakerLine> line = m_mixer->Line();
    if (!line || line->channels.empty())
        return false;
    m_controlId = kMixerVolumeControl;
    m_name = line->name;
    m_channels = int(line->channels.size());
    m_min = int(kMixerVolumeMin);
    m_max = int(kMixerVolumeMax);
    return true;
}

int volumcontrol::GetVolume() const {
    if (!m_controlId)
        return -1;
    const std::optional<SpeakerLine> line = m_mixer->Line();
    if (!line || line->name != m_name || int(line->channels.size()) != m_channels)
        return -1;
    // Mono: its value; stereo: (left + right) / 2; more channels: their mean. Amplification
    // beyond full volume shows as full volume.
    std::uint64_t sum = 0;
    for (std::uint32_t v : line->channels)
        sum += std::min<std::uint32_t>(v, std::uint32_t(m_max));
    return std::clamp(int(sum / line->channels.size()), m_min, m_max);
}

void volumcontrol::SetVolume(int value) {
    if (m_controlId)
        m_mixer->SetVolume(std::uint32_t(std::clamp(value, m_min, m_max)));
}

void volumcontrol::Close() {
    m_controlId = 0;
    m_name.clear();
    m_channels = 0;
    m_min = m_max = 0;
}

} // namespace kz
