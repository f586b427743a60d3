// A book's MP3 file copied into an MP3 project by the DAISY import: byte for byte when it
// has the project's format, refused before anything is written otherwise.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "DaisyTestSupport.h"
#include "Id3Tag.h"
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

}  // namespace
