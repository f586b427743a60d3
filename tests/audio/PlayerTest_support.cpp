#include "audio/PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>

namespace playertest {

bool EnsureWxApp() {
    static const bool started = [] {
        wxApp::SetInstance(new wxApp);
        static int argc = 1;
        static char arg0[] = "korvane-test";
        static char* argv[] = {arg0, nullptr};
        return wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    }();
    return started;
}

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

void PlayerOwner::OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) {
    // As the owners do: measure what was just heard, then hand the buffer back.
    levels.push_back(CWavePlayOperation::GetPeakLevel(header));
    headers.push_back(header);
    results.push_back(m_player->OnBufferDone(device, header));
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
