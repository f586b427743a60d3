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
#include "platform/MessageBox.h"

using namespace wavetest;

namespace {

constexpr uint32_t kRate = 16000;
constexpr uint32_t kBuffer = kRate * 2 / 10;  // bytes of one 100 ms buffer

// A view that keeps what the card handed back to it, so that a test can hand a buffer
// back again late, after playback was stopped.
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

// Samples that differ from their neighbours and from file to file, so that a byte
// played from the wrong place shows.
std::vector<int16_t> Recording(size_t count, int seed) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(static_cast<int64_t>((i * 7919 + static_cast<size_t>(seed) * 104729) % 60000) - 30000);
    return samples;
}

struct PhraseSpec {
    const char* file;
    uint32_t start, length;
};

class ViewPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        // Two recordings of 3 and 2 seconds.
        files["A000001.wav"] = SamplesToBytes(Recording(3 * kRate, 1));
        files["A000002.wav"] = SamplesToBytes(Recording(2 * kRate, 2));
        for (const auto& [name, bytes] : files) WriteWav(folder.Path(name), kRate, 1, BytesToSamples(bytes));
        view.AttachLists(&sections, &phrases);
        view.m_wavePlayer.Initialize();
        view.m_strProjectFolder = std::filesystem::path(folder.Path("x")).parent_path().string();
        view.m_nAudioKind = 1;
        view.m_nSamplePerSec = static_cast<int>(kRate);
        view.m_nPlaySpeed = 2;
        view.m_bProjectOpen = 1;
    }

    void AddSection(const std::vector<PhraseSpec>& specs) {
        auto section = std::make_unique<CSectionInformation>();
        for (const PhraseSpec& spec : specs) {
            auto phrase = std::make_unique<CPhraseInformation>();
            phrase->m_strFileName = spec.file;
            phrase->m_nStart = spec.start;
            phrase->m_nLength = spec.length;
            phrase->m_nBytesPerSec = kRate * 2;
            section->m_nSectionTime += spec.length;
            section->m_lstPhrase.Add(std::move(phrase));
        }
        section->m_nPhraseCount = static_cast<uint32_t>(specs.size());
        view.m_lstSection.Add(std::move(section));
    }

    // Section 0: three phrases of the first recording, with a gap before the third (the
    // skipped bytes must not be heard). Section 1: two phrases of the second recording.
    // Lengths are no multiples of a buffer. The lists show section `row` without playing.
    void BuildBook(int row = 0) {
        AddSection({{"A000001.wav", 0, 7000}, {"A000001.wav", 7000, 9000}, {"A000001.wav", 20000, 5002}});
        AddSection({{"A000002.wav", 1000, 6400}, {"A000002.wav", 30000, 3000}});
        Show(row);
    }

    void Show(int row) {
        view.m_bSuppressPlay = 1;
        view.RefreshSectionList(row);
        view.m_bSuppressPlay = 0;
    }

    std::vector<uint8_t> Bytes(int section, int phrase) const {
        const CPhraseInformation* p = view.m_lstSection.GetAt(section)->m_lstPhrase.GetAt(phrase);
        const std::string& all = files.at(p->m_strFileName.str());
        return std::vector<uint8_t>(all.begin() + p->m_nStart, all.begin() + p->m_nStart + p->m_nLength);
    }

    static std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
        return out;
    }

    // The card plays `count` buffers and the view hears of each.
    void PlayBuffers(size_t count) {
        audio.card.Complete(count);
        audio.ui.Pump();
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
    BuildBook();
    phrases.UserClick(1);
    EXPECT_EQ(view.m_bContinuousPlay, 0);
    EXPECT_EQ(view.GetActiveDeviceState(), kAudioDeviceOpen);
    EXPECT_EQ(audio.card.LastFormat().samplesPerSec, kRate);
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes(0, 1));
    // 9000 bytes: two whole buffers and the rest.
    EXPECT_EQ(audio.card.PlayedSizes(), (std::vector<size_t>{kBuffer, kBuffer, 9000 - 2 * kBuffer}));
    EXPECT_TRUE(Idle());
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{1});  // a single phrase does not move on
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, ContinuousPlayRunsThroughTheFileAndIntoTheNextSection) {
    BuildBook();
    phrases.SetFocus();
    view.OnButtonPlay();
    EXPECT_EQ(view.m_bContinuousPlay, 1);
    // Within the first recording the device stays open from phrase to phrase.
    playertest::PlayOut(audio, 3);
    EXPECT_EQ(audio.card.OpensSoFar(), 1u);
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Join({Bytes(0, 0), Bytes(0, 1), Bytes(0, 2), Bytes(1, 0), Bytes(1, 1)}));
    // Once for each recording: the phrase boundaries within a file reopened nothing.
    EXPECT_EQ(audio.card.OpensSoFar(), 2u);
    // The end of the book: the section list stands on its extra row, and all is idle.
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(view.GetControlText(IDC_STATIC_PHRASE_COUNT), "0");
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, PlayOnTheLastPhraseOfTheBookEndsThere) {
    BuildBook(1);
    phrases.UserClick(1);
    playertest::PlayOut(audio);
    audio.card.ClearPlayed();
    view.OnButtonPlay();
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes(1, 1));
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, PlayOnTheExtraPhraseRowGoesOnWithTheNextSection) {
    BuildBook();
    phrases.UserClick(3);  // the extra row: nothing to play alone
    EXPECT_EQ(audio.card.OpensSoFar(), 0u);
    view.OnButtonPlay();
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Join({Bytes(1, 0), Bytes(1, 1)}));
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, StopReturnsToIdleAndLateBuffersChangeNothing) {
    BuildBook();
    phrases.SetFocus();
    view.OnButtonPlay();
    PlayBuffers(2);
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
    playertest::PlayOut(audio);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(audio.card.Played().size(), heard);
    EXPECT_EQ(audio.card.OpensSoFar(), 1u);
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{0});
    EXPECT_TRUE(audio.TakeBoxTexts().empty());
}

TEST_F(ViewPlayback, PlayWithoutASelectedPhrasePlaysNothing) {
    BuildBook();
    phrases.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    view.OnButtonPlay();
    EXPECT_EQ(view.m_bContinuousPlay, 0);
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.OpensSoFar(), 0u);
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, ClickingAnotherPhraseRestartsWithIt) {
    BuildBook();
    phrases.UserClick(1);
    PlayBuffers(1);
    phrases.UserClick(2);
    EXPECT_EQ(audio.card.OpenDevices(), 1u);
    EXPECT_EQ(view.m_bContinuousPlay, 0);
    playertest::PlayOut(audio);
    std::vector<uint8_t> first = Bytes(0, 1);
    first.resize(kBuffer);
    EXPECT_EQ(audio.card.Played(), Join({first, Bytes(0, 2)}));
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, ClickDuringContinuousPlayContinuesFromTheClickedPhrase) {
    BuildBook();
    phrases.SetFocus();
    view.OnButtonPlay();
    PlayBuffers(1);
    phrases.UserClick(2);
    EXPECT_EQ(view.m_bContinuousPlay, 1);
    playertest::PlayOut(audio);
    std::vector<uint8_t> first = Bytes(0, 0);
    first.resize(kBuffer);
    EXPECT_EQ(audio.card.Played(), Join({first, Bytes(0, 2), Bytes(1, 0), Bytes(1, 1)}));
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, MoveToTheEndsStopsAndSelects) {
    BuildBook();
    phrases.SetFocus();
    view.OnButtonPlay();
    view.OnMoveTail();
    // The stop came first; the last phrase then plays alone.
    EXPECT_EQ(view.m_bContinuousPlay, 0);
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});
    audio.card.ClearPlayed();
    playertest::PlayOut(audio);
    EXPECT_EQ(audio.card.Played(), Bytes(0, 2));
    view.OnMoveHead();
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{0});
    playertest::PlayOut(audio);
    EXPECT_TRUE(Idle());
    // A section without phrases: the phrase list has only its extra row.
    AddSection({});
    Show(2);
    phrases.SetFocus();
    view.OnMoveTail();
    EXPECT_TRUE(phrases.SelectedRows() == std::vector<int>{0});
    EXPECT_TRUE(Idle());
}

TEST_F(ViewPlayback, AFileThatCannotBeOpenedEndsTheStartWithItsMessage) {
    AddSection({{"A000009.wav", 0, 3200}});
    Show(0);
    audio.script->AnswerBox(IDOK);
    phrases.SetFocus();
    view.OnButtonPlay();
    EXPECT_EQ(audio.TakeBoxTexts(), std::vector<CString>{"ＷａｖｅファイルオープンＮＧ"});
    EXPECT_TRUE(Idle());
}

}  // namespace
