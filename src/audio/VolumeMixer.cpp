#include "audio/VolumeMixer.h"

#include <memory>

#include "platform/Mixer.h"

namespace {
// The mixer of the default card, the only one there is.
constexpr uint32_t kDefaultMixerId = 0;

// The common opening step of the operations: nothing found by Open, or the mixer has
// gone since, is a failure.
std::unique_ptr<IMixer> OpenMixer(uint32_t id) {
    if (id == CVolumeMixer::kNoMixer) return nullptr;
    std::unique_ptr<IMixer> mixer = CreateMixer();
    if (!mixer || !mixer->Open()) return nullptr;
    return mixer;
}
}  // namespace

int CVolumeMixer::Open() {
    std::unique_ptr<IMixer> mixer = CreateMixer();
    if (!mixer || !mixer->Open()) return 0;
    mixer->Close();
    m_nMixerId = kDefaultMixerId;
    return 1;
}

int CVolumeMixer::Unmute() {
    std::unique_ptr<IMixer> mixer = OpenMixer(m_nMixerId);
    if (!mixer) return 0;
    const int result = mixer->Unmute() ? 1 : 0;
    mixer->Close();
    return result;
}

int CVolumeMixer::SetVolume(uint32_t value) {
    std::unique_ptr<IMixer> mixer = OpenMixer(m_nMixerId);
    if (!mixer) return 0;
    const int result = mixer->SetVolume(value) ? 1 : 0;
    mixer->Close();
    return result;
}

int CVolumeMixer::GetVolume(uint32_t* value) {
    if (!value) return 0;
    std::unique_ptr<IMixer> mixer = OpenMixer(m_nMixerId);
    if (!mixer) return 0;
    uint32_t read = 0;
    const int result = mixer->GetVolume(read) ? 1 : 0;
    if (result) *value = read;
    mixer->Close();
    return result;
}
