// The playback keys on a real main window, playing on the virtual sound card.

#include <map>
#include <memory>
#include <vector>

#include <wx/stattext.h>

#include "EditorWindowFixture.h"
#include "app/ControlIds.h"
#include "audio/LevelMeter.h"
#include "audio/WaveFileWriter.h"
#include "platform/CodePage.h"
#include "platform/Mixer.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

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

class PlaybackKeys : public EditorWindow {
protected:
    // A 16 kHz PCM project through the menu, then one section of three phrases of two
    // seconds each, cut from one recording of a quiet saw in the project folder.
    void SetUp() override {
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        FakeMixer::volume = 32760;
        SetMixerFactory([] { return std::make_unique<FakeMixer>(); });
        EditorWindow::SetUp();
        NewProject(0, root / "book");
        ASSERT_EQ(view->m_nAudioKind, 1);
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(CString((root / "book" / "A000001.wav").string()), MakePcmMono16Format(16000), file), 0);
        std::vector<int16_t> samples(3 * 32000);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i % 200) * 50);
        file->Write(samples.data(), static_cast<int64_t>(samples.size() * 2));
        ASSERT_EQ(writer.Close(file), 0);
        CSectionInformation* section = view->m_lstSection.GetAt(0);
        for (uint32_t p = 0; p < 3; ++p) {
            auto* phrase = section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
            phrase->m_nStart = p * 64000;
            phrase->m_nLength = 64000;
            phrase->m_strFileName = "A000001.wav";
            phrase->m_nBytesPerSec = 32000;
        }
        section->m_nPhraseCount = 3;
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(0);
        view->m_bSuppressPlay = 0;
        Focus(view->m_listPhrase);
    }
    void TearDown() override {
        EditorWindow::TearDown();
        SetMixerFactory(nullptr);
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
    }
    bool Playing() const { return view->GetActiveDeviceState() == kAudioDeviceOpen && card.OpenDevices() == 1; }
    CString Label(wxStaticText* label) const { return FromWx(label->GetLabel()); }

    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
    std::map<wxWindow*, int> paints;  // by window, once counted
};

TEST_F(PlaybackKeys, SpaceAndTheLetterKeysPlayAndStopAndOtherKeysStop) {
    Press(WXK_SPACE);
    ASSERT_TRUE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 1);
    card.Complete(3);
    reports.Pump();
    EXPECT_EQ(card.Played().size(), 3u * 3200u);
    Press(WXK_SPACE);
    EXPECT_FALSE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 0);
    EXPECT_EQ(card.QueuedCount(), 0u);
    card.ClearPlayed();
    Press(WXK_SPACE);  // and again from the phrase that is still selected
    card.Complete(1);
    reports.Pump();
    EXPECT_EQ(card.Played().size(), 3200u);

    Press('H');  // the stop command
    EXPECT_FALSE(Playing());
    Press('D');  // the play command
    ASSERT_TRUE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 1);
    Press(WXK_DOWN);  // stops before it goes on to the list
    EXPECT_FALSE(Playing());
    Press('D');
    ASSERT_TRUE(Playing());
    Press(WXK_TAB);  // stops too, though it leaves the focus where it is
    EXPECT_FALSE(Playing());
    EXPECT_EQ(view->m_bContinuousPlay, 0);
}

TEST_F(PlaybackKeys, SpeedAndVolumeKeysChangeTheirLabelsAndKeepPlaying) {
    EXPECT_EQ(Label(view->m_staticSpeed), "x1.00");
    EXPECT_EQ(Label(view->m_staticVolume), "10");
    Press(WXK_SPACE);
    Press(WXK_F10);
    EXPECT_EQ(Label(view->m_staticSpeed), "x1.25");
    EXPECT_EQ(view->m_wavePlayer.GetSpeed(), 3);
    for (int i = 0; i < 9; ++i) Press(WXK_F9);
    EXPECT_EQ(Label(view->m_staticSpeed), "x0.75");
    Press(WXK_F4);
    EXPECT_EQ(Label(view->m_staticVolume), "11");
    EXPECT_EQ(FakeMixer::volume, 32760u + 3276u);
    Press(WXK_F3);
    Press(WXK_F3);
    EXPECT_EQ(Label(view->m_staticVolume), " 9");
    EXPECT_TRUE(Playing());

    SetMixerFactory([] { return std::unique_ptr<IMixer>(); });  // without a mixer the label stays
    Press(WXK_F4);
    EXPECT_EQ(Label(view->m_staticVolume), " 9");
}

// The meter is drawn when a buffer's level changes it; at rest nothing is drawn again,
// however often the toolkit is asked to bring the window up to date.
TEST_F(PlaybackKeys, TheMeterIsDrawnWhilePlayingAndNothingAtRest) {
    for (wxWindow* w : {static_cast<wxWindow*>(view), static_cast<wxWindow*>(view->m_staticLevelScale),
                        static_cast<wxWindow*>(view->m_staticLevelMeter)})
        w->Bind(wxEVT_PAINT, [this, w](wxPaintEvent& event) {
            ++paints[w];
            event.Skip();
        });
    ASSERT_TRUE(WaitUntilPainted(*view));
    paints.clear();
    for (int pass = 0; pass < 5; ++pass) frame->Update();
    EXPECT_TRUE(paints.empty()) << paints.size() << " windows drawn again, the meter "
                                << paints[view->m_staticLevelMeter] << " times";

    Press(WXK_SPACE);
    card.Complete(1);
    reports.Pump();
    EXPECT_EQ(view->m_staticLevelMeter->GetState().CurrentSegment(), 24);
    EXPECT_TRUE(WaitUntil([&] { return paints[view->m_staticLevelMeter] > 0; }));
    // The rest of the first phrase, a buffer at a time: then the next one's row and number.
    for (int buffer = 0; buffer < 40 && view->m_listPhrase->GetNextItem(-1, LVNI_SELECTED) == 0; ++buffer) {
        card.Complete(1);
        reports.Pump();
    }
    EXPECT_EQ(view->m_listPhrase->GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_EQ(Label(view->m_staticPhraseNo), "2");
}

}  // namespace
