// Playback in the view, on the virtual sound card: a view without a window, fake lists,
// and recordings written into a scratch project folder. What the card "played" must be
// exactly the phrases' bytes, in the order the view is meant to play them.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../app/FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "audio/PlayerTestSupport.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;
using playertest::PlayOut;

namespace {

constexpr uint32_t kRate = 16000;
constexpr uint32_t kBuffer = kRate * 2 / 10;  // bytes of one 100 ms buffer

// A view that keeps the last buffer the card handed back, so that a test can hand it back again late.
class RecordingView : public CKorvaneView {
public:
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        lastDevice = device;
        lastHeader = header;
        CKorvaneView::OnWaveOutDone(device, header);
    }
    HWAVEOUT lastDevice = nullptr;
    WAVEHDR* lastHeader = nullptr;
};

struct PhrasePlace {
    const char* file;
    uint32_t start, length;
};

class ViewPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        files["A000001.wav"] = SamplesToBytes(Noise16(3 * kRate, 1));
        files["A000002.wav"] = SamplesToBytes(Noise16(2 * kRate, 2));
        for (const auto& [name, bytes] : files) WriteWav(folder.Path(name), kRate, 1, BytesToSamples(bytes));
        view.AttachLists(&sections, &phrases);
        view.m_wavePlayer.Initialize();
        view.m_strProjectFolder = std::filesystem::path(folder.Path("x")).parent_path().string();
        view.m_nAudioKind = 1;
        view.m_nSamplePerSec = static_cast<int>(kRate);
        view.m_nPlaySpeed = 2;
        view.m_bProjectOpen = 1;
        // Section 0: three phrases of the first recording, with a gap before the third (the
        // skipped bytes must not be heard). Section 1: two phrases of the second recording.
        // Lengths are no multiples of a buffer.
        AddSection({{"A000001.wav", 0, 7000}, {"A000001.wav", 7000, 9000}, {"A000001.wav", 20000, 5002}});
        AddSection({{"A000002.wav", 1000, 6400}, {"A000002.wav", 30000, 3000}});
        Show(0);
    }

    void AddSection(const std::vector<PhrasePlace>& places) {
        auto section = std::make_unique<CSectionInformation>();
        for (const PhrasePlace& place : places) {
            auto phrase = std::make_unique<CPhraseInformation>();
            phrase->m_strFileName = place.file;
            phrase->m_nStart = place.start;
            phrase->m_nLength = place.length;
            phrase->m_nBytesPerSec = kRate * 2;
            section->m_nSectionTime += place.length;
            section->m_lstPhrase.Add(std::move(phrase));
        }
        section->m_nPhraseCount = static_cast<uint32_t>(places.size());
        view.m_lstSection.Add(std::move(section));
    }

    // The lists show section `row` without playing.
    void Show(int row) {
        view.m_bSuppressPlay = 1;
        view.RefreshSectionList(row);
        view.m_bSuppressPlay = 0;
    }

    // The bytes of the phrases given as {section, phrase}, one after the other.
    std::vector<uint8_t> Bytes(std::initializer_list<std::pair<int, int>> list) const {
        std::vector<uint8_t> out;
        for (const auto& [section, phrase] : list) {
            const CPhraseInformation* p = view.m_lstSection.GetAt(section)->m_lstPhrase.GetAt(phrase);
            const std::string& all = files.at(p->m_strFileName.str());
            out.insert(out.end(), all.begin() + p->m_nStart, all.begin() + p->m_nStart + p->m_nLength);
        }
        return out;
    }

    bool Idle() const {
        return view.m_bContinuousPlay == 0 && view.m_wavePlayer.GetDeviceState() == kAudioNoDevice &&
               audio.card.OpenDevices() == 0 && view.m_wavePlayer.GetPath().IsEmpty();
    }

    playertest::VirtualAudio audio;
    ScratchFolder folder;
    std::map<std::string, std::string> files;
    CFakeListView sections{IDC_LIST_SECTION};
    CFakeListView phrases{IDC_LIST_PHRASE};
    RecordingView view;
};

TEST_F(ViewPlayback, ClickedPhrasePlaysByteExactlyAloneThenTheViewIsIdle) {
    phrases.UserClick(1);
    EXPECT_EQ(view.m_bContinuousPlay, 0);
    EXPECT_EQ(audio.card.LastFormat().samplesPerSec, kRate);
    PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes({{0, 1}}));
    // 9000 bytes: two whole buffers and the rest.
    EXPECT_EQ(audio.card.PlayedSizes(), (std::vector<size_t>{kBuffer, kBuffer, 9000 - 2 * kBuffer}));
    EXPECT_TRUE(Idle());
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{1});  // a single phrase does not move on
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, ContinuousPlayRunsThroughTheFileAndIntoTheNextSection) {
    phrases.SetFocus();
    view.OnButtonPlay();
    EXPECT_EQ(view.m_bContinuousPlay, 1);
    PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes({{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}));
    // Once for each recording: the phrase boundaries within a file reopened nothing.
    EXPECT_EQ(audio.card.OpensSoFar(), 2u);
    // The end of the book: the section list stands on its extra row, and all is idle.
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(view.GetControlText(IDC_STATIC_PHRASE_COUNT), "0");
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, StopReturnsToIdleAndLateBuffersChangeNothing) {
    phrases.SetFocus();
    view.OnButtonPlay();
    audio.card.Complete(2);
    audio.ui.Pump();
    ASSERT_NE(view.lastHeader, nullptr);
    // One more buffer is finished, but its report is still on its way when Stop comes.
    audio.card.Complete(1);
    view.OnButtonStop();
    EXPECT_TRUE(Idle());
    const size_t heard = audio.card.Played().size();
    audio.ui.Pump();
    // A buffer handed back once more after the device was reset and closed.
    EXPECT_EQ(view.m_wavePlayer.OnBufferDone(view.lastDevice, view.lastHeader), kAudioHeaderNotDone);
    view.CKorvaneView::OnWaveOutDone(view.lastDevice, view.lastHeader);
    PlayOut(audio);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(audio.card.Played().size(), heard);
    EXPECT_EQ(audio.card.OpensSoFar(), 1u);
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{0});
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, APhraseWithNothingToPlayNeitherHaltsNorHoldsTheDevice) {
    // The second phrase points past the end of its recording (a damaged project).
    view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(1)->m_nStart = 200000;
    phrases.SetFocus();
    view.OnButtonPlay();
    PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes({{0, 0}, {0, 2}, {1, 0}, {1, 1}}));
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});
    EXPECT_TRUE(Idle());

    Show(0);
    phrases.UserClick(1);  // alone, it ends at once
    PlayOut(audio);
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, ChoosingTheSectionsExtraRowDuringPlayEndsThePlay) {
    phrases.SetFocus();
    view.OnButtonPlay();
    audio.card.Complete(1);
    audio.ui.Pump();
    sections.UserClick(2);
    PlayOut(audio);
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

}  // namespace
