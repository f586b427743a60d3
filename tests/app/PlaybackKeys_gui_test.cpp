// The playback keys on a real main window, playing on the virtual sound card: each key
// goes through the window's key hook, the view's key filter and the accelerators.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/stattext.h>

#include "WxTestApp.h"
#include "app/CommandIds.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"
#include "platform/Mixer.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace fs = std::filesystem;

namespace {

// A mixer that keeps the volume it is given.
struct FakeMixer : IMixer {
    static inline uint32_t volume = 0;
    bool Open() override { return true; }
    void Close() override {}
    bool GetVolume(uint32_t& value) override { value = volume; return true; }
    bool SetVolume(uint32_t value) override { volume = value; return true; }
    bool Unmute() override { return true; }
};

// A canonical 16 kHz mono WAV file of `seconds` seconds of a quiet saw.
void WriteRecording(const fs::path& path, int seconds) {
    const uint32_t bytes = 32000u * static_cast<uint32_t>(seconds);
    std::vector<char> file(44 + bytes);
    auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i)); };
    auto put16 = [&](size_t at, uint16_t v) { for (int i = 0; i < 2; ++i) file[at + i] = static_cast<char>(v >> (8 * i)); };
    std::memcpy(&file[0], "RIFF", 4);
    put32(4, 36 + bytes);
    std::memcpy(&file[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 16000);
    put32(28, 32000);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(&file[36], "data", 4);
    put32(40, bytes);
    for (uint32_t i = 0; i < bytes / 2; ++i) put16(44 + 2 * i, static_cast<uint16_t>((i % 200) * 50));
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

class PlaybackKeys : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        root = fs::temp_directory_path() / ("korvane-keys-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        FakeMixer::volume = 32760;
        SetMixerFactory([] { return std::make_unique<FakeMixer>(); });

        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Show(true);
        PumpEvents(10);
        NewProject();
    }
    void TearDown() override {
        if (frame) {
            frame->Close(true);
            PumpEvents(10);
        }
        SetMixerFactory(nullptr);
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A 16 kHz PCM project through the menu, then one section of three phrases of two
    // seconds each, cut from one recording in the project folder.
    void NewProject() {
        const fs::path folder = root / "book";
        {
            CUiScript script;
            script.AnswerDialog([](wxDialog& dlg) {
                if (auto* list = wxDynamicCast(dlg.FindWindow(1042), wxChoice)) list->SetSelection(0);
                CUiScript::ClickButton(dlg, wxID_OK);
                return IDOK;
            });
            script.AnswerFile({CString(folder.string())});
            frame->RunMenuCommand(ID_PROJECT_NEW);
            PumpEvents(5);
        }
        ASSERT_EQ(view->m_nAudioKind, 1);
        WriteRecording(folder / "A000001.wav", 6);
        CSectionInformation* section = view->m_lstSection.GetAt(0);
        ASSERT_NE(section, nullptr);
        for (uint32_t p = 0; p < 3; ++p) {
            auto phrase = std::make_unique<CPhraseInformation>();
            phrase->m_nStart = p * 64000;
            phrase->m_nLength = 64000;
            phrase->m_strFileName = "A000001.wav";
            phrase->m_nBytesPerSec = 32000;
            section->m_lstPhrase.Add(std::move(phrase));
        }
        section->m_nPhraseCount = 3;
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(0);
        view->m_bSuppressPlay = 0;
        view->m_listPhrase->SetFocus();
        PumpEvents(3);
        view->m_hFocusList = view->m_listPhrase;  // a display without a window manager may not report the focus
    }

    // A key as the window's key hook receives it.
    void Press(int keyCode) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = keyCode;
        event.SetEventObject(frame);
        frame->ProcessWindowEvent(event);
        PumpEvents(2);
    }

    bool Playing() const { return view->GetActiveDeviceState() == kAudioDeviceOpen && card.OpenDevices() == 1; }

    CString Label(wxStaticText* label) const { return FromWx(label->GetLabel()); }

    fs::path root;
    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(PlaybackKeys, SpaceStartsAndStopsPlayback) {
    ASSERT_FALSE(Playing());
    Press(WXK_SPACE);
    ASSERT_TRUE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 1);
    card.Complete(3);
    reports.Pump();
    EXPECT_EQ(card.Played().size(), 3u * 3200u);
    EXPECT_TRUE(Playing());
    Press(WXK_SPACE);
    EXPECT_FALSE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 0);
    EXPECT_EQ(card.QueuedCount(), 0u);
    // And again from the phrase that is still selected.
    card.ClearPlayed();
    Press(WXK_SPACE);
    EXPECT_TRUE(Playing());
    card.Complete(1);
    reports.Pump();
    EXPECT_EQ(card.Played().size(), 3200u);
    Press(WXK_SPACE);
    EXPECT_FALSE(Playing());
}

TEST_F(PlaybackKeys, SpeedKeysChangeTheLabelAndKeepPlaying) {
    EXPECT_EQ(Label(view->m_staticSpeed), "x1.00");
    Press(WXK_SPACE);
    Press(WXK_F10);
    EXPECT_EQ(Label(view->m_staticSpeed), "x1.25");
    EXPECT_EQ(view->GetControlText(IDC_STATIC_SPEED), "x1.25");
    EXPECT_TRUE(Playing());
    EXPECT_EQ(view->m_wavePlayer.GetSpeed(), 3);
    for (int i = 0; i < 8; ++i) Press(WXK_F10);
    EXPECT_EQ(Label(view->m_staticSpeed), "x3.00");
    for (int i = 0; i < 7; ++i) Press(WXK_F9);
    EXPECT_EQ(Label(view->m_staticSpeed), "x0.75");
    Press(WXK_F9);
    EXPECT_EQ(Label(view->m_staticSpeed), "x0.75");
    EXPECT_TRUE(Playing());
    EXPECT_EQ(view->m_nPlaySpeed, 1);
}

TEST_F(PlaybackKeys, VolumeKeysChangeTheLabelWithAMixer) {
    EXPECT_EQ(Label(view->m_staticVolume), "10");
    Press(WXK_SPACE);
    Press(WXK_F4);
    EXPECT_EQ(Label(view->m_staticVolume), "11");
    EXPECT_EQ(FakeMixer::volume, 32760u + 3276u);
    Press(WXK_F3);
    Press(WXK_F3);
    EXPECT_EQ(Label(view->m_staticVolume), " 9");
    EXPECT_TRUE(Playing());
}

TEST_F(PlaybackKeys, VolumeKeysLeaveTheLabelWithoutAMixer) {
    const CString before = Label(view->m_staticVolume);
    SetMixerFactory([] { return std::unique_ptr<IMixer>(); });
    Press(WXK_F4);
    Press(WXK_F3);
    Press(WXK_F3);
    EXPECT_EQ(Label(view->m_staticVolume), before);
}

TEST_F(PlaybackKeys, LetterKeysPlayAndStopAndOtherKeysStop) {
    Press('D');  // the play command
    ASSERT_TRUE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 1);
    Press('H');  // the stop command
    EXPECT_FALSE(Playing());
    Press('D');
    ASSERT_TRUE(Playing());
    Press(WXK_DOWN);  // stops before it goes on to the list
    EXPECT_FALSE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 0);
}

}  // namespace
