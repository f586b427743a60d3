// The import on recordings made by other programs: tones and silences made with sox, and
// words spoken by espeak-ng with silences of known length between them. soxi checks the
// project file that the import writes.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../app/FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "audio/SilenceSplitter.h"
#include "audio/WaveTestSupport.h"
#include "audio/WaveToolsSupport.h"
#include "platform/DialogHost.h"

using namespace wavetest;

namespace {

constexpr uint32_t kB = 4410;  // bytes of a 100 ms block in the 22050 Hz project

class ImportPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("sox") || !HaveTool("soxi")) GTEST_SKIP() << "sox is not installed";
        m_previousReporter = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
        std::filesystem::create_directory(folder.Path("prj"));
        view.AttachLists(&sectionList, &phraseList);
        view.m_strProjectFolder = folder.CPath("prj");
        view.SetProjectFormat(1);
        view.m_bProjectOpen = 1;
        view.m_nSilenceDb = -35;
    }
    void TearDown() override {
        if (m_previousReporter) CUiScript::SetFaultReporter(m_previousReporter);
    }

    // Runs sox; every path is inside the scratch folder.
    void Sox(const std::string& arguments) {
        std::string output;
        ASSERT_TRUE(RunCommand("cd '" + folder.Path("") + "' && sox " + arguments, output)) << arguments;
    }
    std::string Soxi(const std::string& option, const std::string& name) {
        std::string output;
        EXPECT_TRUE(RunCommand("soxi " + option + " '" + folder.Path(name) + "'", output));
        return Trim(output);
    }
    double Seconds(const std::string& name) { return std::stod(Soxi("-D", name)); }

    int ImportFresh(const std::string& name, int phrasePause, int sectionPause) {
        view.m_lstSection.RemoveAll();
        view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        view.RefreshSectionList(0);
        view.m_nPhrasePause = phrasePause;
        view.m_nSectionPause = sectionPause;
        ++view.m_nWaveImportCount;
        CUiScript script;
        int index = 0;
        return view.ImportWaveFile(&index, folder.CPath(name), CString(), "(1/1)");
    }
    std::vector<std::vector<uint32_t>> Starts() const {
        std::vector<std::vector<uint32_t>> out;
        for (const auto& s : view.m_lstSection) {
            out.emplace_back();
            for (const auto& p : s->m_lstPhrase) out.back().push_back(p->m_nStart);
        }
        return out;
    }

    ScratchFolder folder;
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};
    CKorvaneView view;

private:
    CUiScript::FaultReporter m_previousReporter;
};

}  // namespace

TEST_F(ImportPeer, SoxTonesAt44100AreCutAndWrittenAt22050) {
    // Half a second of tone, then 0.3, 1.2 and 0.5 s of silence between further tones.
    Sox("-n -r 44100 -b 16 -c 1 tone.wav synth 0.5 sine 1000 gain -6");
    for (const char* gap : {"0.3", "1.2", "0.5"})
        Sox(std::string("-n -r 44100 -b 16 -c 1 q") + gap + ".wav trim 0 " + gap);
    Sox("tone.wav q0.3.wav tone.wav q1.2.wav tone.wav q0.5.wav tone.wav rec.wav");
    ASSERT_EQ(ImportFresh("rec.wav", 2, 1), kImportOk);  // 0.4 s between phrases, 1 s between sections

    // Tones at blocks 0, 8, 25 and 35; 0.3 s does not cut, 1.2 s starts a section.
    std::vector<std::vector<uint32_t>> expected = {{0}, {24 * kB, 34 * kB}};
    EXPECT_EQ(Starts(), expected);
    const CPhraseInformation* first = view.m_lstSection.GetAt(0)->m_lstPhrase.GetHead();
    EXPECT_EQ(first->m_nLength, 24 * kB);
    EXPECT_EQ(first->m_nPause, 12 * kB);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetTail()->m_nLength, 6 * kB);

    EXPECT_EQ(Soxi("-r", "prj/A000001.wav"), "22050");
    EXPECT_EQ(Soxi("-c", "prj/A000001.wav"), "1");
    EXPECT_EQ(Soxi("-b", "prj/A000001.wav"), "16");
    EXPECT_EQ(Soxi("-s", "prj/A000001.wav"), std::to_string(4 * 22050));
}

TEST_F(ImportPeer, SpokenWordsWithKnownPauses) {
    if (!HaveTool("espeak-ng")) GTEST_SKIP() << "espeak-ng is not installed";
    // Each word trimmed to its sound, at the project's rate.
    const std::vector<std::string> words = {"hello", "morning", "summer", "hello", "morning"};
    std::vector<double> lengths;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string output;
        const std::string raw = folder.Path("raw" + std::to_string(i) + ".wav");
        ASSERT_TRUE(RunCommand("espeak-ng -w '" + raw + "' " + words[i], output));
        const std::string word = "w" + std::to_string(i) + ".wav";
        Sox("'" + raw + "' -r 22050 " + word + " silence 1 0.01 1% reverse silence 1 0.01 1% reverse");
        lengths.push_back(Seconds(word));
    }
    // Silences before, between and after the words: 0.1 s is too short to cut anything,
    // 0.6 s ends a phrase, 1.5 s a section at SectionPause 1, 2.5 s a phrase at PhrasePause 10.
    const std::vector<std::string> gaps = {"0.3", "0.6", "1.5", "0.1", "2.5", "0.3"};
    std::string join;
    for (size_t i = 0; i < gaps.size(); ++i) {
        const std::string q = "g" + std::to_string(i) + ".wav";
        Sox("-n -r 22050 -b 16 -c 1 " + q + " trim 0 " + gaps[i]);
        join += q + " ";
        if (i < words.size()) join += "w" + std::to_string(i) + ".wav ";
    }
    Sox(join + "speech.wav");
    std::vector<double> onsets;
    double t = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        t += std::stod(gaps[i]);
        onsets.push_back(t);
        t += lengths[i];
    }

    // Every phrase begins up to two blocks before its word: the lead-in block, and the
    // block in which the word starts.
    auto near = [&](uint32_t start, size_t word) {
        const double seconds = start / 44100.0;
        return seconds <= onsets[word] + 1e-9 && seconds >= onsets[word] - 0.2 - 1e-9;
    };
    struct Case {
        int phrasePause, sectionPause;
        std::vector<std::vector<size_t>> words;  // the word each phrase begins with, by section
    };
    const Case cases[] = {
        {2, 0, {{0, 1, 2, 4}}},
        {2, 1, {{0, 1}, {2}, {4}}},
        {10, 1, {{0}, {4}}},  // 1.5 s opens a section but no phrase; 2.5 s ends the first phrase
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "PhrasePause " << c.phrasePause << ", SectionPause " << c.sectionPause);
        ASSERT_EQ(ImportFresh("speech.wav", c.phrasePause, c.sectionPause), kImportOk);
        const auto starts = Starts();
        ASSERT_EQ(starts.size(), c.words.size());
        for (size_t s = 0; s < starts.size(); ++s) {
            ASSERT_EQ(starts[s].size(), c.words[s].size()) << "section " << s;
            for (size_t p = 0; p < starts[s].size(); ++p)
                EXPECT_TRUE(near(starts[s][p], c.words[s][p])) << "section " << s << " phrase " << p << " at "
                                                              << starts[s][p] / 44100.0 << " s";
        }
        const std::string written = CString::Formatted("prj/A%06d.wav", view.m_nWaveImportCount).str();
        EXPECT_EQ(Soxi("-s", written), Soxi("-s", "speech.wav"));
    }
}
