// The import on recordings made by other programs: tones and silences made with sox, and
// words spoken by espeak-ng with silences of known length between them. soxi checks the
// project file that the import writes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/ImportTestSupport.h"
#include "audio/SilenceSplitter.h"

using namespace importtest;
using namespace wavetest;

namespace {

constexpr uint32_t kB = 4410;  // bytes of a 100 ms block in the 22050 Hz project

class ImportPeer : public ImportView {
protected:
    void SetUp() override {
        if (!HaveTool("sox") || !HaveTool("soxi")) GTEST_SKIP() << "sox is not installed";
        ImportView::SetUp();
    }
    // Runs sox in the scratch folder.
    void Sox(const std::string& arguments) {
        std::string output;
        ASSERT_TRUE(RunCommand("cd '" + folder.Path("") + "' && sox -R " + arguments, output)) << arguments;
    }
    // Imports `name` into an empty book under a number of its own; the phrases' starts, by section.
    std::vector<std::vector<uint32_t>> ImportFresh(const std::string& name, int phrasePause, int sectionPause) {
        Restart(view.m_nWaveImportCount + 1);
        CUiScript script;
        EXPECT_EQ(ImportOne(folder.CPath(name), phrasePause, sectionPause), kImportOk);
        std::vector<std::vector<uint32_t>> starts;
        for (const auto& section : Shape(view.m_lstSection)) {
            starts.emplace_back();
            for (const Phrase& p : section) starts.back().push_back(p.start);
        }
        return starts;
    }
};

}  // namespace

TEST_F(ImportPeer, SoxTonesAt44100AreCutAndWrittenAt22050) {
    // Half a second of tone, then 0.3, 1.2 and 0.5 s of silence between further tones.
    Sox("-n -r 44100 -b 16 -c 1 tone.wav synth 0.5 sine 1000 gain -6");
    for (const char* gap : {"0.3", "1.2", "0.5"}) Sox(std::string("-n -r 44100 -b 16 -c 1 q") + gap + ".wav trim 0 " + gap);
    Sox("tone.wav q0.3.wav tone.wav q1.2.wav tone.wav q0.5.wav tone.wav rec.wav");
    // 0.4 s between phrases, 1 s between sections. Tones at blocks 0, 8, 25 and 35; 0.3 s
    // does not cut, 1.2 s starts a section.
    ImportFresh("rec.wav", 2, 1);
    EXPECT_EQ(Shape(view.m_lstSection),
              (Sections{{{0, 24 * kB, 12 * kB}}, {{24 * kB, 10 * kB, 5 * kB}, {34 * kB, 6 * kB, 0}}}));
    EXPECT_EQ(Soxi("-r", Written()), "22050");
    EXPECT_EQ(Soxi("-c", Written()), "1");
    EXPECT_EQ(Soxi("-b", Written()), "16");
    EXPECT_EQ(Soxi("-s", Written()), std::to_string(4 * 22050));
}

TEST_F(ImportPeer, SpokenWordsWithKnownPauses) {
    if (!HaveTool("espeak-ng")) GTEST_SKIP() << "espeak-ng is not installed";
    // Silences before, between and after the words: 0.1 s is too short to cut anything,
    // 0.6 s ends a phrase, 1.5 s a section at SectionPause 1, 2.5 s a phrase at PhrasePause 10.
    const std::vector<std::string> words = {"hello", "morning", "summer", "hello", "morning"};
    const std::vector<double> gaps = {0.3, 0.6, 1.5, 0.1, 2.5, 0.3};
    std::string join;
    std::vector<double> onsets;
    double t = 0;
    for (size_t i = 0; i < gaps.size(); ++i) {
        const std::string n = std::to_string(i);
        Sox("-n -r 22050 -b 16 -c 1 g" + n + ".wav trim 0 " + std::to_string(gaps[i]));
        join += "g" + n + ".wav ";
        t += gaps[i];
        if (i == words.size()) break;
        // Each word trimmed to its sound, at the project's rate.
        std::string output;
        ASSERT_TRUE(RunCommand("espeak-ng -w '" + folder.Path("raw" + n + ".wav") + "' " + words[i], output));
        Sox("raw" + n + ".wav -r 22050 w" + n + ".wav silence 1 0.01 1% reverse silence 1 0.01 1% reverse");
        join += "w" + n + ".wav ";
        onsets.push_back(t);
        t += std::stod(Soxi("-D", folder.Path("w" + n + ".wav")));
    }
    Sox(join + "speech.wav");

    const struct {
        int phrasePause, sectionPause;
        std::vector<std::vector<size_t>> words;  // the word each phrase begins with, by section
    } cases[] = {
        {2, 0, {{0, 1, 2, 4}}},
        {2, 1, {{0, 1}, {2}, {4}}},
        {10, 1, {{0}, {4}}},  // 1.5 s opens a section but no phrase; 2.5 s ends the first phrase
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "PhrasePause " << c.phrasePause << ", SectionPause " << c.sectionPause);
        const auto starts = ImportFresh("speech.wav", c.phrasePause, c.sectionPause);
        ASSERT_EQ(starts.size(), c.words.size());
        for (size_t s = 0; s < starts.size(); ++s) {
            ASSERT_EQ(starts[s].size(), c.words[s].size()) << "section " << s;
            // Every phrase begins up to two blocks before its word: the lead-in block, and
            // the block in which the word starts.
            for (size_t p = 0; p < starts[s].size(); ++p) {
                const double seconds = starts[s][p] / 44100.0, onset = onsets[c.words[s][p]];
                EXPECT_TRUE(seconds <= onset + 1e-9 && seconds >= onset - 0.2 - 1e-9)
                    << "section " << s << " phrase " << p << " at " << seconds << " s";
            }
        }
        EXPECT_EQ(Soxi("-s", Written()), Soxi("-s", folder.Path("speech.wav")));
    }
}
