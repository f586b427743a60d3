#include "audio/PlayerTestSupport.h"

#include <gtest/gtest.h>

namespace playertest {

VirtualAudio::VirtualAudio() {
    SetWaveOutBackend(&card);
    SetWaveOutDispatcher(&ui);
    m_previousReporter = CUiScript::SetFaultReporter([](const std::string& fault) { ADD_FAILURE() << fault; });
    script = std::make_unique<CUiScript>();
}

VirtualAudio::~VirtualAudio() {
    script.reset();
    CUiScript::SetFaultReporter(m_previousReporter);
    SetWaveOutDispatcher(nullptr);
    SetWaveOutBackend(nullptr);
}

std::vector<CString> VirtualAudio::TakeBoxTexts() {
    std::vector<CString> texts = script->BoxTexts();
    std::vector<CString> fresh(texts.begin() + static_cast<std::ptrdiff_t>(m_seenBoxes), texts.end());
    m_seenBoxes = texts.size();
    return fresh;
}

size_t PlayOut(VirtualAudio& audio, size_t limit) {
    size_t played = 0;
    while (played < limit && audio.card.Complete(1) == 1) {
        ++played;
        audio.ui.Pump();
    }
    audio.ui.Pump();
    return played;
}

}  // namespace playertest
