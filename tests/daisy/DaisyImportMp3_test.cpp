// A book's MP3 file copied into an MP3 project by the DAISY import: byte for byte when it
// has the project's format, refused before anything is written otherwise; a section of
// other audio is joined and encoded, its phrases placed behind the encoder's delay.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "DaisyTestSupport.h"
#include "Id3Tag.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "daisy/DaisyBookReader.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

class QuietHost : public CWaveTaskHost {
public:
    void ShowError(const CString& text) override { ADD_FAILURE() << text.str(); }
    bool AskYesNo(const CString&) override { return false; }
    void BeginProgress(const CString&, const CString&, int) override {}
    void SetProgress(int) override {}
    bool CheckCancel() override { return false; }
    void EndProgress() override {}
};

TEST(DaisyImportMp3Clip, OwnFormatIsCopiedWholeOthersAreRefused) {
    ScratchFolder book("book"), project("project");
    CKorvaneView view;
    SetUpProject(view, project.Root());
    view.SetProjectFormat(3);  // 32 kbit/s, 22050 Hz
    std::string pcm;
    for (int i = 0; i < 22050; ++i) {
        const int16_t v = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 300 * i / 22050.0));
        pcm.push_back(static_cast<char>(v & 0xFF));
        pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    WriteWav(book.Path("tone.wav"), 22050, pcm);
    WriteWav(book.Path("tone44.wav"), 44100, pcm + pcm);  // half a second at 44100 Hz
    QuietHost host;
    ASSERT_EQ(EncodeWaveToMp3(host, CString(book.Path("tone.wav")), CString(book.Path("own.mp3")), 32000, 1, "c", "t"), 0);
    ASSERT_EQ(EncodeWaveToMp3(host, CString(book.Path("tone44.wav")), CString(book.Path("other.mp3")), 64000, 1, "c", "t"), 0);
    WriteBytes(book.Path("damaged.mp3"), std::string(9000, 'z'));
    const std::string own = ReadBytes(book.Path("own.mp3"));
    WriteBytes(book.Path("tagged6.mp3"), Id3v2Tag(6 * 1024, own.substr(0, 3000)) + own);
    WriteBytes(book.Path("tagged40.mp3"), Id3v2Tag(40 * 1024, own.substr(0, 3000)) + own);

    // The book reader finds the clips' rate behind a tag longer than its first read too.
    WriteBytes(book.Path("padded40.mp3"), Id3v2Tag(40 * 1024, "") + own);
    for (const char* name : {"own.mp3", "tagged6.mp3", "padded40.mp3"})
        EXPECT_EQ(CDaisyBookReader::GetMp3BytesPerSecond(CString(book.Path(name))), 44100u) << name;

    const struct {
        const char* what;
        std::string source;
        int result;
        const char* message;  // empty: none
        const char* written;  // the project file made, or empty
    } rows[] = {
        {"own format", book.Path("own.mp3"), 0, "", "A000001.mp3"},
        // A tag in front is no audio of the book: the copy starts at the first frame.
        {"own format, 6 KB tag", book.Path("tagged6.mp3"), 0, "", "A000002.mp3"},
        {"own format, 40 KB tag", book.Path("tagged40.mp3"), 0, "", "A000003.mp3"},
        {"empty path", "", 11, "ファイルパスが設定されていません。", ""},
        {"missing file", book.Path("none.mp3"), 5, "ファイルが存在しません。", ""},
        {"other bit rate", book.Path("other.mp3"), 8, "このファイルはインポート出来ません。", ""},
        {"damaged stream", book.Path("damaged.mp3"), 1, "MP3DecoderInfoオブジェクトの初期化に失敗しました。", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const auto before = FolderFiles(project.Root());
        CUiScript script;
        if (*r.message) script.AnswerBox(IDOK);
        CString name;
        EXPECT_EQ(view.ImportDaisyMp3Clip(CString(r.source), &name, "(1/1)"), r.result);
        EXPECT_EQ(script.BoxTexts(), *r.message ? std::vector<CString>{r.message} : std::vector<CString>{});
        if (*r.written) {
            EXPECT_EQ(name, r.written);
            EXPECT_TRUE(ReadBytes(project.Path(r.written)) == own);
        } else {
            EXPECT_EQ(DiffFiles(FolderFiles(project.Root()), before), "");
        }
    }
}

// An MP3 file ends with whole frames, and a clip's times are read to the tenth of a second:
// a clip may end up to 100 ms after the file's last frame (more than the 26 ms of one
// frame), and no further.
TEST(DaisyImportMp3Clip, AClipEndingLessThan100MsAfterItsAudioIsRounding) {
    ScratchFolder book("book"), project("project");
    std::string pcm;
    for (int i = 0; i < 22050 - 576; ++i) {
        const int16_t v = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 300 * i / 22050.0));
        pcm.push_back(static_cast<char>(v & 0xFF));
        pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    WriteWav(book.Path("tone.wav"), 22050, pcm);
    QuietHost host;
    ASSERT_EQ(EncodeWaveToMp3(host, CString(book.Path("tone.wav")), CString(book.Path("tone.mp3")), 32000, 1, "c", "t"), 0);
    uint64_t audio = 0;
    uint32_t frame = 0;
    ASSERT_TRUE(CDaisyBookReader::GetMp3AudioBytes(CString(book.Path("tone.mp3")), &audio, &frame));
    ASSERT_EQ(frame, 1152u);
    WriteBytes(book.Path("ncc.html"),
               "<html><head><title>T</title></head><body><h1><a href=\"s.smil#t\">One</a></h1></body></html>");
    // Clip ends are read in tenths (4410 bytes): the first tenth more than a frame past
    // the audio (the tone's length leaves room for one), and the first more than 100 ms past.
    const uint64_t rounded = (audio + frame) / 4410 + 1, refused = (audio + 4410) / 4410 + 1;
    ASSERT_LE(rounded * 4410, audio + 4410);
    for (const auto& [tenths, taken] : {std::pair{rounded, true}, std::pair{refused, false}}) {
        SCOPED_TRACE(tenths);
        char end[32];
        std::snprintf(end, sizeof end, "npt=%d.%ds", static_cast<int>(tenths / 10), static_cast<int>(tenths % 10));
        WriteBytes(book.Path("s.smil"), std::string("<?xml version='1.0' encoding='utf-8'?><smil><body><seq>"
                                                    "<par id=\"t\"><text src=\"ncc.html#t\" id=\"t\"/><audio "
                                                    "src=\"tone.mp3\" clip-begin=\"npt=0.000s\" clip-end=\"") +
                                            end + "\" id=\"a\"/></par></seq></body></smil>");
        CDaisyBookReader reader;
        reader.m_strProjectFolder = CString(project.Root());
        BookInfo info;
        CRecordList<CSectionInformation> sections;
        CUiScript script;
        if (!taken) script.AnswerBox(IDOK);
        EXPECT_EQ(reader.LoadNcc(CString(book.Path("ncc.html")), &info, &sections, 0), taken ? 0 : 1);
        const CString refused = "s.smil のクリップ（npt=0.000s - " + std::string(end) + "）が tone.mp3 の長さを超えています。";
        EXPECT_EQ(script.BoxTexts(), taken ? std::vector<CString>{} : std::vector<CString>{refused});
    }
}

// A WAV book whose clips each hold `lead` of silence before a tone, imported into both
// MP3 formats: in the project's audio as the editor decodes it, each phrase begins before
// its sound by the book's lead (less at most one 100 ms block of rounding), the first one
// at the file's start takes in the encoder's delay, and no phrase runs past the audio.
TEST(DaisyImportMp3Section, AnEncodedSectionsPhrasesSitOnTheirSound) {
    ScopedClock clock;
    ScratchFolder book("book");
    CFakeListView bookSections{IDC_LIST_SECTION}, bookPhrases{IDC_LIST_PHRASE};
    CKorvaneView source;
    source.AttachLists(&bookSections, &bookPhrases);
    SetUpProject(source, book.Root());
    source.m_bookInfo.m_strTitle = "音";
    const int leadsMs[] = {150, 40, 260, 100};
    std::string pcm;
    for (int lead : leadsMs)
        for (int i = 0; i < 22050; ++i) {
            const int t = i - lead * 22050 / 1000;
            const auto v = static_cast<int16_t>(t >= 0 && t < 13230 ? 8000 * std::cos(2 * M_PI * 440 * t / 22050) : 0);
            pcm.push_back(static_cast<char>(v & 0xFF));
            pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    WriteWav(book.Path("A000001.wav"), 22050, pcm);
    AddClipSection(source, 0, "一", "A000001.wav", {44100, 44100});
    AddClipSection(source, 0, "二", "A000001.wav", {44100, 44100}, 88200);
    {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        source.OnDaisyBuild();
        ASSERT_EQ(script.BoxTexts().back(), "完了しました。");
    }
    for (const auto& [format, rate, bitRate] : {std::tuple{3, 22050, 32000}, std::tuple{4, 44100, 64000}}) {
        SCOPED_TRACE(format);
        ScratchFolder project("project" + std::to_string(format));
        CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
        CKorvaneView view;
        view.AttachLists(&sections, &phrases);
        SetUpProject(view, project.Root());
        view.SetProjectFormat(format);
        view.m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");
        {
            CUiScript script;
            script.AnswerBox(IDNO);
            ASSERT_EQ(view.ImportDaisyBook(CString(book.Path("NCC.html")), 0), 0);
            EXPECT_EQ(script.BoxTexts().size(), 1u);
        }
        ASSERT_EQ(view.m_lstSection.GetCount(), 2);
        const uint32_t delay = static_cast<uint32_t>(Mp3EncoderDelay(rate, bitRate, view.m_nMp3Quality));
        size_t k = 0;
        for (int s = 0; s < 2; ++s) {
            const CSectionInformation* section = view.m_lstSection.GetAt(s);
            QuietHost host;
            const std::string wav = project.Path("decoded.wav");
            ASSERT_EQ(DecodeMp3FileToWave(host, CString(project.Path(section->m_lstPhrase.GetAt(0)->m_strFileName.str())),
                                          CString(wav), "c", "t", static_cast<uint32_t>(rate), view.m_strExeFolder),
                      0);
            const std::string data = WavData(wav);
            std::vector<int16_t> audio(data.size() / 2);
            std::memcpy(audio.data(), data.data(), data.size());
            EXPECT_EQ(section->m_lstPhrase.GetAt(0)->m_nStart, 0u);
            uint64_t sum = 0;
            for (int p = 0; p < section->m_lstPhrase.GetCount(); ++p, ++k) {
                SCOPED_TRACE(k);
                const CPhraseInformation* ph = section->m_lstPhrase.GetAt(p);
                const size_t start = p == 0 ? delay : ph->m_nStart / 2;
                size_t onset = start;
                while (onset < audio.size() && std::abs(audio[onset]) < 2000) ++onset;
                const double leadMs = 1000.0 * (static_cast<double>(onset) - static_cast<double>(start)) / rate;
                EXPECT_LE(leadMs, leadsMs[k] + 1.0) << "the phrase begins too early";
                EXPECT_GT(leadMs, leadsMs[k] - 100.0) << "the phrase begins too late";
                EXPECT_LE(ph->m_nStart + ph->m_nLength, 2 * audio.size()) << "the phrase runs past its audio";
                sum += ph->m_nLength;
            }
            EXPECT_EQ(sum, 2 * 2 * static_cast<uint32_t>(rate) + 2 * delay);  // 2 s behind the delay
            EXPECT_EQ(section->m_nSectionTime, sum);
        }
    }
}

}  // namespace
