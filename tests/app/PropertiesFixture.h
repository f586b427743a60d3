#pragma once
// The sample book of the editing tests in a real project folder, with its three audio
// files and a virtual sound card, for the dialogs that play and the commands that save.

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "EditBookFixture.h"
#include "WxTestApp.h"
#include "app/AppProfile.h"
#include "audio/WaveFileWriter.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

class PropertiesBook : public EditBook {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
    void SetUp() override {
        EditBook::SetUp();
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        dir = std::filesystem::temp_directory_path() /
              ("korvane-props-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        view.m_strProjectFolder = CString(dir.string());
        view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
        view.SetProjectFormat(0);
        view.m_bProjectOpen = 1;
        view.m_wavePlayer.Initialize();
        // Each file holds a ramp, so that what plays shows where it came from.
        for (const char* name : {"A000001.wav", "A000002.WAV", "A000003.wav"}) WriteRamp(name, 8 * 32000);
        BuildSampleBook();
    }
    void TearDown() override {
        view.StopWavePlay();
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void WriteRamp(const char* name, uint32_t bytes) {
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(CString((dir / name).string()), MakePcmMono16Format(16000), file), 0);
        std::vector<int16_t> samples(bytes / 2);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i % 30000);
        file->Write(samples.data(), static_cast<int64_t>(samples.size() * 2));
        ASSERT_EQ(writer.Close(file), 0);
    }
    // The project saved and read back into an empty book.
    void SaveAndReload() {
        ASSERT_EQ(view.SaveProject(), 0);
        view.m_lstSection.RemoveAll();
        TheAppProfile().SetProfileFile(view.m_strProjectFile);
        view.LoadProject();
    }
    static void Press(wxWindow& dlg, int keyCode) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = keyCode;
        event.SetEventObject(&dlg);
        dlg.ProcessWindowEvent(event);
    }

    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
    std::filesystem::path dir;
};
