// The book export into a new project: the new project holds the book in its format and
// opens; the open project is not touched; every failure says so and offers nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "DaisyTestSupport.h"
#include "app/AppProfile.h"
#include "app/ControlIds.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;

namespace {

class Export : public SmallProject {
protected:
    std::string NewFolder(const std::string& name = "Exported") const { return target.Path(name); }
    // Runs the export after its dialogs with the boxes answered in turn.
    std::vector<CString> Run(int format, const std::string& folderPath, const std::vector<int>& answers,
                             int* result = nullptr) {
        CUiScript script;
        for (int a : answers) script.AnswerBox(a);
        view.m_bSuppressPlay = 1;
        const int r = view.ExportDaisyBook(format, CString(folderPath));
        if (result) *result = r;
        return script.BoxTexts();
    }
    void ExpectOpenProjectUntouched() {
        EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), before), "");
        EXPECT_EQ(DescribeBook(view.m_lstSection), book);
        EXPECT_EQ(view.m_strProjectFolder, CString(folder.Root()));
        EXPECT_EQ(view.m_nCompression, 1);
        EXPECT_EQ(view.m_nProjectBytesPerSec, 44100);
        EXPECT_EQ(view.m_nBytesPer100ms, 4410);
        EXPECT_EQ(view.m_bSuppressPlay, 0);
        EXPECT_EQ(view.m_nSectionUndoKind, 0);
    }

    ScratchFolder target{"target"};
};

TEST_F(Export, ToAnotherRateWritesTheBookAndAProjectThatOpens) {
    int result = -1;
    EXPECT_EQ(Run(2, NewFolder(), {IDNO}, &result), std::vector<CString>{"エクスポートしたプロジェクトを開きますか？"});
    EXPECT_EQ(result, 0);
    ExpectOpenProjectUntouched();

    for (const char* name : {"NCC.html", "A000001.smil", "A000003.smil", "DiscInfo.html", "Korvane.ncc",
                             "A000001.wav", "A000002.wav", "A000003.wav"})
        EXPECT_TRUE(FileExists(CString(NewFolder() + "/" + name))) << name;
    EXPECT_FALSE(FileExists(CString(NewFolder() + "/ExportTempWave.wav")));
    EXPECT_NE(ReadBytes(NewFolder() + "/DiscInfo.html").find("./Exported/NCC.html"), std::string::npos);

    // The new project opens with its own format; every time doubled in 8820-byte steps,
    // and each phrase named after its section's file.
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView opened;
    opened.AttachLists(&sections, &phrases);
    opened.m_strProjectFolder = CString(NewFolder());
    opened.m_strProjectFile = opened.m_strProjectFolder + "/Korvane.ncc";
    TheAppProfile().SetProfileFile(opened.m_strProjectFile);
    opened.LoadProject();
    opened.SetProjectFormat(opened.m_nCompression);
    EXPECT_EQ(opened.m_nCompression, 2);
    EXPECT_EQ(opened.m_nWaveImportCount, 3);
    ASSERT_EQ(opened.m_lstSection.GetCount(), 3);
    for (int s = 0; s < 3; ++s) {
        const CSectionInformation* was = view.m_lstSection.GetAt(s);
        const CSectionInformation* now = opened.m_lstSection.GetAt(s);
        uint32_t start = 0;
        for (int p = 0; p < now->m_lstPhrase.GetCount(); ++p) {
            const CPhraseInformation* w = was->m_lstPhrase.GetAt(p);
            const CPhraseInformation* n = now->m_lstPhrase.GetAt(p);
            auto up = [](uint64_t v) { return static_cast<uint32_t>((v + 8819) / 8820 * 8820); };
            EXPECT_EQ(n->m_strFileName, CString::Formatted("A%06d.wav", s + 1));
            EXPECT_EQ(n->m_nStart, up(2ull * start)) << s << "/" << p;
            EXPECT_EQ(n->m_nLength, up(2ull * w->m_nLength)) << s << "/" << p;
            EXPECT_EQ(n->m_nPause, up(2ull * w->m_nPause));
            EXPECT_EQ(n->m_nBytesPerSec, 88200u);
            start += w->m_nLength;
        }
        uint32_t rate = 0;
        const std::string data = WavData(NewFolder() + CString::Formatted("/A%06d.wav", s + 1).str(), &rate);
        EXPECT_EQ(rate, 44100u);
        EXPECT_EQ(data.size(), 2u * was->m_nSectionTime);
    }
}

TEST_F(Export, AtTheSameRateTheAudioIsTheSectionsOwn) {
    EXPECT_EQ(Run(1, NewFolder(), {IDNO}).size(), 1u);
    EXPECT_EQ(WavData(NewFolder() + "/A000001.wav"), rec1.substr(0, 18000));
    EXPECT_EQ(WavData(NewFolder() + "/A000003.wav"), rec2);
}

TEST_F(Export, AnsweredYesTheNewProjectIsOpen) {
    EXPECT_EQ(Run(0, NewFolder(), {IDYES}).size(), 1u);
    EXPECT_EQ(view.m_strProjectFolder, CString(NewFolder()));
    EXPECT_EQ(view.m_strProjectFile, CString(NewFolder() + "/Korvane.ncc"));
    EXPECT_EQ(view.GetControlText(IDC_STATIC_FORMAT), "PCM 16.00KHz Mono");
    EXPECT_EQ(view.m_nProjectBytesPerSec, 32000);
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(0)->m_nBytesPerSec, 32000u);
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "表とソフト");
    // The project that was open was saved before it was put away.
    EXPECT_TRUE(FileExists(CString(folder.Path("Korvane.ncc"))));
}

TEST_F(Export, RefusedNamesAndFailuresLeaveTheOpenProjectAndOfferNothing) {
    struct Case {
        const char* what;
        std::string folderPath;
        std::function<std::unique_ptr<ScopedFault>()> fault;
        const char* message;
        bool folderMade;
    };
    std::filesystem::create_directories(target.Path("Taken"));
    const std::string name31(31, 'a');
    const std::string newFolder = NewFolder();
    const std::string newFile = "Exported/Korvane.ncc";
    const Case cases[] = {
        {"an existing folder", target.Path("Taken"), nullptr, "同名のプロジェクトが既に存在しています。", true},
        {"a name of 31 bytes", target.Path(name31), nullptr,
         "プロジェクト名は全角15文字以内、または半角30文字以内にして下さい。", false},
        {"no parent folder", target.Path("none/Exported"), nullptr, "フォルダ作成時にエラーが発生しました。", false},
        {"a failing NCC", newFolder, [] { return std::make_unique<ScopedFault>(EBookFileStep::Ncc); },
         "NCC.htmlの作成時にエラーが発生しました。", true},
        {"a failing SMIL file", newFolder, [] { return std::make_unique<ScopedFault>(EBookFileStep::Smil, 2); },
         "Smilファイルの作成時にエラーが発生しました。", true},
        {"a short section write", newFolder,
         [] { return std::make_unique<ScopedFault>(EBookFileStep::SectionWrite, 2); },
         "Waveファイル書込み時にエラーが発生しました。", true},
        {"a failing save of the new project", newFolder,
         [newFile] {
             return std::make_unique<ScopedFault>(
                 std::vector<std::pair<EBookFileStep, std::string>>{{EBookFileStep::ProjectSave, newFile}});
         },
         "プロジェクトファイルの保存時にエラーが発生しました。", true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(newFolder);
        auto fault = c.fault ? c.fault() : nullptr;
        int result = 0;
        EXPECT_EQ(Run(1, c.folderPath, {IDOK}, &result), std::vector<CString>{c.message}) << c.what;
        EXPECT_NE(result, 0) << c.what;
        EXPECT_EQ(FolderExists(CString(c.folderPath)), c.folderMade) << c.what;
        ExpectOpenProjectUntouched();
    }
}

TEST_F(Export, AFailedSaveOfTheOpenProjectKeepsItOpen) {
    ScopedFault fault(std::vector<std::pair<EBookFileStep, std::string>>{
        {EBookFileStep::ProjectSave, std::filesystem::path(folder.Root()).filename().string() + "/Korvane.ncc"}});
    const auto boxes = Run(1, NewFolder(), {IDYES, IDOK});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].str().find("Korvane.ncc の保存に失敗しました。"), std::string::npos) << boxes[1].str();
    EXPECT_EQ(view.m_strProjectFolder, CString(folder.Root()));
    EXPECT_EQ(DescribeBook(view.m_lstSection), book);
    EXPECT_TRUE(FileExists(CString(NewFolder() + "/Korvane.ncc")));
}

}  // namespace
