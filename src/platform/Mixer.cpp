#include "platform/Mixer.h"

#include <cmath>
#include <mutex>

#include <alsa/asoundlib.h>

struct CAlsaMixer::Alsa {
    snd_mixer_t* mixer = nullptr;
    snd_mixer_elem_t* element = nullptr;
    long min = 0;
    long max = 0;
};

namespace {
constexpr const char* kElementNames[] = {"Master", "PCM"};

snd_mixer_elem_t* FindVolumeElement(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id = nullptr;
    if (snd_mixer_selem_id_malloc(&id) < 0) return nullptr;
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id);
    snd_mixer_selem_id_free(id);
    return element && snd_mixer_selem_has_playback_volume(element) ? element : nullptr;
}

std::mutex g_factoryMutex;
std::function<std::unique_ptr<IMixer>()> g_factory;
}  // namespace

CAlsaMixer::CAlsaMixer() = default;
CAlsaMixer::~CAlsaMixer() { Close(); }

bool CAlsaMixer::Open() {
    Close();
    auto alsa = std::make_unique<Alsa>();
    if (snd_mixer_open(&alsa->mixer, 0) < 0) return false;
    if (snd_mixer_attach(alsa->mixer, "default") < 0 || snd_mixer_selem_register(alsa->mixer, nullptr, nullptr) < 0 ||
        snd_mixer_load(alsa->mixer) < 0) {
        snd_mixer_close(alsa->mixer);
        return false;
    }
    for (const char* name : kElementNames) {
        alsa->element = FindVolumeElement(alsa->mixer, name);
        if (alsa->element) break;
    }
    if (!alsa->element || snd_mixer_selem_get_playback_volume_range(alsa->element, &alsa->min, &alsa->max) < 0 ||
        alsa->max <= alsa->min) {
        snd_mixer_close(alsa->mixer);
        return false;
    }
    m_alsa = std::move(alsa);
    return true;
}

void CAlsaMixer::Close() {
    if (!m_alsa) return;
    snd_mixer_close(m_alsa->mixer);
    m_alsa.reset();
}

bool CAlsaMixer::GetVolume(uint32_t& value) {
    if (!m_alsa) return false;
    // Another program may have changed it since we opened.
    snd_mixer_handle_events(m_alsa->mixer);
    long raw = 0;
    if (snd_mixer_selem_get_playback_volume(m_alsa->element, SND_MIXER_SCHN_FRONT_LEFT, &raw) < 0) return false;
    const double span = static_cast<double>(m_alsa->max - m_alsa->min);
    const long scaled = std::lround(static_cast<double>(raw - m_alsa->min) * 65535.0 / span);
    value = static_cast<uint32_t>(scaled < 0 ? 0 : scaled > 65535 ? 65535 : scaled);
    return true;
}

bool CAlsaMixer::SetVolume(uint32_t value) {
    if (!m_alsa) return false;
    if (value > 65535) value = 65535;
    const double span = static_cast<double>(m_alsa->max - m_alsa->min);
    const long raw = m_alsa->min + std::lround(value * span / 65535.0);
    if (snd_mixer_selem_set_playback_volume_all(m_alsa->element, raw) < 0) return false;
    if (snd_mixer_selem_has_playback_switch(m_alsa->element) &&
        snd_mixer_selem_set_playback_switch_all(m_alsa->element, 1) < 0)
        return false;
    return true;
}

bool CAlsaMixer::Unmute() {
    if (!m_alsa || !snd_mixer_selem_has_playback_switch(m_alsa->element)) return false;
    return snd_mixer_selem_set_playback_switch_all(m_alsa->element, 1) >= 0;
}

std::unique_ptr<IMixer> CreateMixer() {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    if (g_factory) return g_factory();
    return std::make_unique<CAlsaMixer>();
}

void SetMixerFactory(std::function<std::unique_ptr<IMixer>()> factory) {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_factory = std::move(factory);
}
