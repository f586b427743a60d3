// Books of MP3 projects against outside tools: the real MP3 book of another producer
// imported into MP3 and PCM projects (its clips found again in ffmpeg's decoding of the
// book), the books those projects build (schemas, ffmpeg's strict decoding), and the
// export from PCM to MP3 and back (segmental SNR against the PCM export).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

#include "DaisyTestSupport.h"
#include "app/AppProfile.h"
#include "app/ControlIds.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

const std::string kBook = std::string(KORVANE_SHARED_DIR) + "/daisy202/books/dontworrybehappy";

bool HavePeers() { return RunCommand("command -v ffmpeg >/dev/null") == 0; }

// A project view with its lists, the priming streams of the build folder and a format.
struct ProjectView {
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
    ProjectView(const std::string& folder, int format) {
        view.AttachLists(&sections, &phrases);
        SetUpProject(view, folder);
        view.SetProjectFormat(format);
        view.m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");
    }
    // Opens the project saved in `folder`.
    void Open(const std::string& folder) {
        SetUpProject(view, folder);
        TheAppProfile().SetProfileFile(view.m_strProjectFile);
        view.LoadProject();
        view.SetProjectFormat(view.m_nCompression);
    }
    std::vector<CString> Build() {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        view.OnDaisyBuild();
        return script.BoxTexts();
    }
};

// Mono 16-bit samples of any audio file through ffmpeg's strict decoding; empty when
// ffmpeg reports an error.
std::vector<int16_t> Decode(const std::string& path, int rate) {
    std::string bytes;
    if (RunCommand("ffmpeg -v error -xerror -i '" + path + "' -f s16le -ac 1 -ar " + std::to_string(rate) + " - 2>&1 >'" +
                   path + ".raw'", &bytes) != 0 || !bytes.empty())
        return {};
    bytes = ReadBytes(path + ".raw");
    fs::remove(path + ".raw");
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class QuietHost : public CWaveTaskHost {
public:
    void ShowError(const CString& text) override { errors.push_back(text.str()); }
    bool AskYesNo(const CString&) override { return false; }
    void BeginProgress(const CString&, const CString&, int) override {}
    void SetProgress(int) override {}
    bool CheckCancel() override { return false; }
    void EndProgress() override {}
    std::vector<std::string> errors;
};

// A project's MP3 file as the editor hears it: through our decoder, which takes the
// encoder's delay off as the file's gapless block says.
std::vector<int16_t> DecodeOurs(const std::string& path, int rate) {
    QuietHost host;
    const std::string wav = path + ".dec.wav";
    if (DecodeMp3FileToWave(host, CString(path), CString(wav), "c", "t", static_cast<uint32_t>(rate),
                            CString(std::string(KORVANE_BUILD_DIR) + "/")) != 0)
        return {};
    const std::string data = WavData(wav);
    fs::remove(wav);
    std::vector<int16_t> samples(data.size() / 2);
    std::memcpy(samples.data(), data.data(), samples.size() * 2);
    if (rate == 44100) {  // every other sample is enough to find the speech again
        for (size_t i = 0; 2 * i < samples.size(); ++i) samples[i] = samples[2 * i];
        samples.resize((samples.size() + 1) / 2);
    }
    return samples;
}

// Mean magnitude of each 5 ms block.
std::vector<double> Envelope(const std::vector<int16_t>& s, size_t from, size_t count, int rate) {
    const size_t block = static_cast<size_t>(rate / 200);
    std::vector<double> e;
    for (size_t b = from; b + block <= std::min(s.size(), from + count); b += block) {
        double sum = 0;
        for (size_t i = b; i < b + block; ++i) sum += std::abs(static_cast<double>(s[i]));
        e.push_back(sum / block);
    }
    return e;
}

// The lag in ms (within ±200 ms) at which the project's clip best matches the book's.
int BestLagMs(const std::vector<int16_t>& project, size_t projectStart, const std::vector<int16_t>& book,
              double bookSeconds, int rate) {
    const size_t count = static_cast<size_t>(rate * 1.5);
    const std::vector<double> a = Envelope(project, projectStart, count, rate);
    double best = -2;
    int bestLag = 9999;
    for (int lag = -40; lag <= 40; ++lag) {
        const double at = bookSeconds * rate + lag * (rate / 200);
        if (at < 0) continue;
        const std::vector<double> b = Envelope(book, static_cast<size_t>(at), count, rate);
        const size_t n = std::min(a.size(), b.size());
        if (n < 100) continue;
        double ma = 0, mb = 0;
        for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
        ma /= n, mb /= n;
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < n; ++i) ab += (a[i] - ma) * (b[i] - mb), aa += (a[i] - ma) * (a[i] - ma),
                                        bb += (b[i] - mb) * (b[i] - mb);
        const double r = ab / std::sqrt(aa * bb + 1e-9);
        if (r > best) best = r, bestLag = lag * 5;
    }
    return bestLag;
}

// The delay of `test` against `ref` in samples (0 .. 3000) where they agree best: the
// encoder's delay stays in the MP3 files.
int BestDelay(const std::vector<int16_t>& ref, const std::vector<int16_t>& test) {
    const size_t n = std::min<size_t>(ref.size(), 22050 * 5);
    double best = -1e300;
    int delay = 0;
    for (int d = 0; d <= 3000; ++d) {
        double sum = 0;
        for (size_t i = 0; i < n && i + d < test.size(); ++i) sum += static_cast<double>(ref[i]) * test[i + d];
        if (sum > best) best = sum, delay = d;
    }
    return delay;
}

// Mean SNR in dB of 20 ms frames that carry sound, each clamped to -10 .. 35 dB, with
// `test` taken `delay` samples later.
double SegmentalSnr(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int rate, int delay) {
    const size_t frame = static_cast<size_t>(rate / 50);
    double sum = 0;
    int frames = 0;
    for (size_t f = 0; f + frame <= std::min(ref.size(), test.size() - std::min<size_t>(test.size(), delay)); f += frame) {
        double signal = 0, noise = 0;
        for (size_t i = f; i < f + frame; ++i) {
            const double d = static_cast<double>(ref[i]) - test[i + delay];
            signal += static_cast<double>(ref[i]) * ref[i];
            noise += d * d;
        }
        if (signal < frame * 100.0 * 100.0) continue;  // silence says nothing about the codec
        sum += std::clamp(10 * std::log10(signal / (noise + 1e-9)), -10.0, 35.0);
        ++frames;
    }
    return frames ? sum / frames : 0;
}

// What daisy-player shows of the book in `folder` once it has read it, or an empty text
// when it cannot run here. It lists the sound cards of /proc/asound before it opens
// anything; a machine without one gets a private /proc that has a card, in a mount
// namespace of its own, and the book plays to ALSA's null device.
std::string DaisyPlayerScreen(const std::string& folder, const ScratchFolder& home) {
    if (RunCommand("command -v daisy-player && command -v tmux && unshare -m true") != 0) return "";
    const std::string script = home.Path("with-card.sh");
    WriteBytes(script,
               "#!/bin/sh\nset -e\n"
               "if [ ! -e /proc/asound/cards ]; then\n"
               "  r=\"$HOME/proc\"; mkdir -p \"$r\"; mount -t proc proc \"$r\"; mount -t tmpfs none /proc\n"
               "  for e in \"$r\"/*; do ln -s \"$e\" /proc/\"${e##*/}\"; done\n"
               "  mkdir /proc/asound; printf ' 0 [Null           ]: Null - Null\\n' > /proc/asound/cards\n"
               "fi\nexec \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    const std::string session = "korvane-mp3book-" + std::to_string(::getpid());
    const std::string run = "cd / && tmux new-session -d -s " + session + " -x 120 -y 30 \"HOME='" + home.Root() +
                            "' unshare -m '" + script + "' daisy-player '" + folder + "' -i -n -d null:alsa 2>'" +
                            home.Path("err.txt") + "'; sleep 30\"";
    if (RunCommand(run) != 0) return "";
    std::string screen;
    for (int i = 0; i < 300 && screen.find("total length") == std::string::npos; ++i) {
        RunCommand("sleep 0.1");
        RunCommand("tmux capture-pane -p -t " + session, &screen);
    }
    RunCommand("tmux send-keys -t " + session + " q");
    RunCommand("tmux kill-session -t " + session);
    return screen + ReadBytes(home.Path("err.txt"));
}

class Mp3Books : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePeers()) GTEST_SKIP() << "ffmpeg is not installed";
    }
    void TearDown() override { SetCurrentFolder("/"); }
    ScratchFolder work{"work"};
};

// The book's structure, headings, pages and clip places survive the import into every
// kind of project, and each project builds a book that passes the schemas and that
// ffmpeg decodes without an error.
TEST_F(Mp3Books, TheRealMp3BookImportsIntoEveryFormatAndBuildsAgain) {
    const std::vector<int16_t> notes = Decode(kBook + "/speechgen0002.mp3", 22050);
    ASSERT_FALSE(notes.empty());
    const struct {
        int format;
        int rate;
        const char* file;  // the first section file's name
    } rows[] = {
        {3, 22050, "A000001.mp3"},  // the book's own format: copied byte for byte
        {4, 44100, "A000001.mp3"},  // decoded, converted and encoded again
        {1, 22050, "A000001.wav"},
        {2, 44100, "A000001.wav"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.format);
        const std::string folder = work.Path("Format" + std::to_string(r.format));
        fs::create_directories(folder);
        ProjectView p(folder, r.format);
        {
            CUiScript script;
            script.AnswerBox(IDYES);
            ASSERT_EQ(p.view.ImportDaisyBook(CString(kBook + "/ncc.html"), 0), 0) << script.BoxTexts().back().str();
        }
        EXPECT_EQ(p.view.m_bookInfo.m_strTitle, "Don't Worry, Be Happy Lyrics");
        ASSERT_EQ(p.view.m_lstSection.GetCount(), 7);
        const int levels[7] = {0, 0, 0, 1, 0, 1, 0};
        for (int s = 0; s < 7; ++s) EXPECT_EQ(p.view.m_lstSection.GetAt(s)->m_nLevel, levels[s]) << s;
        EXPECT_EQ(p.view.m_lstSection.GetAt(1)->m_strHeading, "Introductio");
        const CSectionInformation* intro = p.view.m_lstSection.GetAt(1);
        ASSERT_EQ(intro->m_lstPhrase.GetCount(), 10);
        for (const char* temp : {"DaisyJoinTemp.wav", "ReSamplingTemp.wav", "Mp3DecodeTemp.wav", "Mp3EecodeTemp.mp3"})
            EXPECT_FALSE(fs::exists(folder + "/" + temp)) << temp;

        // The first three clips of the introduction are 0, 2.197 and 4.428 s into the
        // book's file, read as whole tenths (0, 2.1 and 4.4 s); the project's audio at
        // each phrase's start is found there.
        const std::string file = folder + "/" + intro->m_lstPhrase.GetAt(0)->m_strFileName.str();
        const std::vector<int16_t> audio = r.format >= 3 ? DecodeOurs(file, r.rate) : Decode(file, 22050);
        ASSERT_FALSE(audio.empty());
        const double bookTimes[3] = {0.0, 2.1, 4.4};
        for (int k = 0; k < 3; ++k) {
            const CPhraseInformation* ph = intro->m_lstPhrase.GetAt(k);
            const size_t start = static_cast<size_t>(static_cast<double>(ph->m_nStart) / ph->m_nBytesPerSec * 22050);
            const int lag = BestLagMs(audio, start, notes, bookTimes[k], 22050);
            std::cout << "format " << r.format << " clip " << k << ": project audio lies " << lag
                      << " ms from the book's\n";
            EXPECT_LE(std::abs(lag), 100) << k;
        }

        const std::vector<CString> boxes = p.Build();
        ASSERT_EQ(boxes.back(), "完了しました。") << boxes.back().str();
        EXPECT_EQ(SchemaErrors(folder), std::vector<std::string>{});
        EXPECT_TRUE(fs::exists(folder + "/" + r.file));
        for (int s = 1; s <= 7; ++s) {
            const std::string name = CString::Formatted(r.format >= 3 ? "A%06d.mp3" : "A%06d.wav", s).str();
            EXPECT_FALSE(Decode(folder + "/" + name, r.rate).empty()) << name;
        }
        EXPECT_FALSE(fs::exists(folder + "/TempSection.wav"));
        if (r.format == 3) {
            ScratchFolder home("home");
            const std::string screen = DaisyPlayerScreen(folder, home);
            std::cout << screen.substr(0, screen.find_last_not_of(" \n") + 1) << "\n";
            if (!screen.empty()) {
                EXPECT_NE(screen.find("level: 1 of 2"), std::string::npos) << screen;
                EXPECT_NE(screen.find("total length: 00:03:0"), std::string::npos) << screen;
            }
        }
    }
}

// Speech of espeak-ng at `rate`: the sentences one after another, each after `gap`
// seconds of silence; the first sample of each sentence's sound is appended to `onsets`.
std::string Speech(const ScratchFolder& work, const std::vector<std::string>& sentences, int rate, double gap,
                   std::vector<size_t>& onsets) {
    std::string pcm;
    for (size_t i = 0; i < sentences.size(); ++i) {
        const std::string raw = work.Path("s" + std::to_string(i) + ".raw");
        if (RunCommand("espeak-ng --stdout '" + sentences[i] + "' | sox -R -t wav - -r " + std::to_string(rate) +
                       " -b 16 -c 1 -t raw -e signed '" + raw + "' silence 1 0.005 1% reverse silence 1 0.005 1% reverse") != 0)
            return "";
        pcm.append(static_cast<size_t>(gap * rate) * 2, '\0');
        onsets.push_back(pcm.size() / 2);
        pcm += ReadBytes(raw);
    }
    pcm.append(static_cast<size_t>(gap * rate) * 2, '\0');
    return pcm;
}

// The clip-begin and clip-end of each clip of a SMIL file, in order.
std::vector<std::pair<double, double>> Clips(const std::string& smil) {
    std::vector<std::pair<double, double>> clips;
    const std::string text = ReadBytes(smil);
    for (size_t at = text.find("<audio src=\""); at != std::string::npos; at = text.find("<audio src=\"", at + 1)) {
        const size_t begin = text.find("clip-begin=\"npt=", at) + 16, end = text.find("clip-end=\"npt=", at) + 14;
        clips.emplace_back(std::stod(text.substr(begin)), std::stod(text.substr(end)));
    }
    return clips;
}

// After F6, each clip of an MP3 project's book, as ffmpeg decodes it, begins where its
// phrase begins in the project's audio before the build: never later (no speech lost),
// and not more than 30 ms earlier. Phrases at the file's start, inside it, and one that
// runs to its end, in two sections.
TEST_F(Mp3Books, EveryClipOfABuiltBookSitsOnItsPhrase) {
    if (RunCommand("command -v espeak-ng && command -v sox") != 0) GTEST_SKIP() << "espeak-ng and sox are needed";
    const std::vector<std::string> sentences = {"Chapter one.", "The river ran past the old mill.",
                                                "Nobody saw the boat.", "Chapter two.", "Morning came early."};
    for (const auto& [format, rate] : {std::pair{3, 22050}, std::pair{4, 44100}}) {
        SCOPED_TRACE(format);
        const std::string folder = work.Path("Onset" + std::to_string(format));
        fs::create_directories(folder);
        std::vector<size_t> onsets;
        const std::string pcm = Speech(work, sentences, rate, 0.4, onsets);
        ASSERT_FALSE(pcm.empty());
        WriteWav(work.Path("speech.wav"), rate, pcm);
        QuietHost host;
        ASSERT_EQ(0, EncodeWaveToMp3(host, CString(work.Path("speech.wav")), CString(folder + "/A000001.mp3"),
                                     format == 3 ? 32000 : 64000, 1, "c", "t"));
        // The project's audio as the editor hears it, at the project's rate.
        const std::string wav = folder + "/../before" + std::to_string(format) + ".wav";
        ASSERT_EQ(0, DecodeMp3FileToWave(host, CString(folder + "/A000001.mp3"), CString(wav), "c", "t", rate,
                                         CString(std::string(KORVANE_BUILD_DIR) + "/")));
        const std::string beforeBytes = WavData(wav);
        std::vector<int16_t> project(beforeBytes.size() / 2);
        std::memcpy(project.data(), beforeBytes.data(), project.size() * 2);

        // Phrases begin 100 ms before each sentence's sound (where the encoder put it) and
        // end where the next begins; the last runs to the end of the decoded file.
        const size_t delay = static_cast<size_t>(Mp3EncoderDelay(rate, format == 3 ? 32000 : 64000, 1));
        std::vector<uint32_t> starts;
        for (size_t onset : onsets) starts.push_back(static_cast<uint32_t>(2 * (onset + delay - rate / 10)));
        starts.push_back(static_cast<uint32_t>(2 * project.size()));
        ProjectView p(folder, format);
        p.view.m_bookInfo.m_strTitle = "Onset";
        const std::vector<size_t> firsts = {0, 3};
        for (size_t s = 0; s < firsts.size(); ++s) {
            const size_t end = s + 1 < firsts.size() ? firsts[s + 1] : sentences.size();
            std::vector<uint32_t> lengths;
            for (size_t k = firsts[s]; k < end; ++k) lengths.push_back(starts[k + 1] - starts[k]);
            CSectionInformation* section =
                AddClipSection(p.view, 0, s == 0 ? "一" : "二", "A000001.mp3", lengths, starts[firsts[s]]);
            for (const auto& ph : section->m_lstPhrase) ph->m_nBytesPerSec = static_cast<uint32_t>(2 * rate);
        }
        // The first phrase from the file's first byte.
        p.view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(0)->m_nLength += starts[0];
        p.view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(0)->m_nStart = 0;
        std::vector<uint32_t> phraseStarts;
        for (const auto& section : p.view.m_lstSection)
            for (const auto& ph : section->m_lstPhrase) phraseStarts.push_back(ph->m_nStart / 2);

        const std::vector<CString> boxes = p.Build();
        ASSERT_EQ(boxes.back(), "完了しました。") << boxes.back().str();
        EXPECT_EQ(SchemaErrors(folder), std::vector<std::string>{});

        size_t k = 0;
        for (int s = 1; s <= 2; ++s) {
            const std::vector<int16_t> book = Decode(folder + CString::Formatted("/A%06d.mp3", s).str(), rate);
            ASSERT_FALSE(book.empty());
            for (const auto& [begin, end] : Clips(folder + CString::Formatted("/A%06d.smil", s).str())) {
                SCOPED_TRACE(k);
                ASSERT_LT(k, onsets.size());
                EXPECT_LE(end * rate, book.size() + 0.5 * rate / 1000) << "a clip runs past its audio";
                // Where the phrase's first sound lies in the project, and where the clip holds it.
                const long sound = static_cast<long>(onsets[k] + delay), window = rate / 4;
                const long fromClip = std::lround(begin * rate);
                const long expected = fromClip + (sound - static_cast<long>(phraseStarts[k]));
                double best = -1e300;
                long shift = 0;  // positive: the clip begins before its phrase
                for (long lag = -rate / 10; lag <= rate / 10; ++lag) {
                    double sum = 0;
                    const long at = expected + lag - rate / 100;
                    if (at < 0 || at + window > static_cast<long>(book.size())) continue;
                    for (long i = 0; i < window; ++i)
                        sum += double(project[static_cast<size_t>(sound - rate / 100 + i)]) * book[static_cast<size_t>(at + i)];
                    if (sum > best) best = sum, shift = lag;
                }
                std::cout << "format " << format << " phrase " << k << ": the clip begins " << 1000.0 * shift / rate
                          << " ms before its phrase\n";
                // The SMIL's times round to 1 ms; a clip off by part of the encoder's delay
                // (27 ms at 32 kbit/s for half of it) is off its phrase.
                EXPECT_GE(shift, -rate / 1000) << "the clip begins after its phrase";
                EXPECT_LE(shift, rate / 1000) << "the clip begins before its phrase";
                ++k;
            }
        }
        EXPECT_EQ(k, onsets.size());
    }
}

// PCM to MP3 and back: the same book, and audio within what the codec loses.
TEST_F(Mp3Books, ExportFromPcmToMp3AndBackKeepsTheBook) {
    const std::string source = work.Path("Source");
    fs::create_directories(source);
    ProjectView p(source, 1);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        ASSERT_EQ(p.view.ImportDaisyBook(CString(kBook + "/ncc.html"), 0), 0);
        ASSERT_TRUE(p.view.SaveProject() == 0);
    }
    auto exportTo = [](ProjectView& from, int format, const std::string& target) {
        CUiScript script;
        script.AnswerBox(IDNO);
        from.view.m_bSuppressPlay = 1;
        EXPECT_EQ(from.view.ExportDaisyBook(format, CString(target)), 0) << format;
        EXPECT_EQ(SchemaErrors(target), std::vector<std::string>{}) << format;
    };
    exportTo(p, 1, work.Path("Direct"));
    for (int format : {3, 4}) {
        SCOPED_TRACE(format);
        const std::string mp3 = work.Path("Mp3Of" + std::to_string(format));
        const std::string back = work.Path("Back" + std::to_string(format));
        exportTo(p, format, mp3);
        ProjectView m(mp3, 1);
        m.Open(mp3);
        EXPECT_EQ(m.view.m_nCompression, format);
        EXPECT_EQ(m.view.m_nAudioKind, 2);
        exportTo(m, 1, back);
        ProjectView b(back, 1);
        b.Open(back);
        ProjectView d(work.Path("Direct"), 1);
        d.Open(work.Path("Direct"));
        ASSERT_EQ(b.view.m_lstSection.GetCount(), d.view.m_lstSection.GetCount());
        for (int s = 0; s < d.view.m_lstSection.GetCount(); ++s) {
            const CSectionInformation* x = d.view.m_lstSection.GetAt(s);
            const CSectionInformation* y = b.view.m_lstSection.GetAt(s);
            EXPECT_EQ(y->m_nLevel, x->m_nLevel);
            EXPECT_EQ(y->m_strHeading, x->m_strHeading);
            ASSERT_EQ(y->m_lstPhrase.GetCount(), x->m_lstPhrase.GetCount());
            for (int j = 0; j < x->m_lstPhrase.GetCount(); ++j) {
                EXPECT_EQ(y->m_lstPhrase.GetAt(j)->m_nPageKind, x->m_lstPhrase.GetAt(j)->m_nPageKind);
                EXPECT_EQ(y->m_lstPhrase.GetAt(j)->m_strPageText, x->m_lstPhrase.GetAt(j)->m_strPageText);
                EXPECT_NEAR(y->m_lstPhrase.GetAt(j)->m_nStart, x->m_lstPhrase.GetAt(j)->m_nStart, 4410.0);
            }
            const std::string name = CString::Formatted("A%06d.wav", s + 1).str();
            const std::vector<int16_t> ref = Decode(work.Path("Direct/" + name), 22050);
            const std::vector<int16_t> got = Decode(back + "/" + name, 22050);
            if (ref.empty()) continue;
            const int delay = BestDelay(ref, got);
            const double snr = SegmentalSnr(ref, got, 22050, delay);
            std::cout << "format " << format << " section " << s + 1 << ": delay " << delay << " samples, segmental SNR "
                      << snr << " dB\n";
            EXPECT_EQ(delay, 0) << name;  // the phrases point past the encoder's delay
            EXPECT_GT(snr, 15.0) << name;
        }
    }
}

}  // namespace
