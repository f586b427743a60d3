// The dialogs of the import, the export, the disc information and the disc-writing
// plug-in, as a user meets them: their layout, what they refuse, what they do, and a
// picture of each kept in build/screenshots for a person to look at.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include <wx/app.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "Accessibility.h"
#include "DaisyTestSupport.h"
#include "WxTestApp.h"
#include "app/ControlIds.h"
#include "daisy/DiscInfoDlg.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/FolderSize.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

// The window's own pixels, from the screen.
void Screenshot(wxWindow& window, const std::string& name) {
    window.Raise();
    WaitUntilPainted(window);
    const fs::path dir = fs::path(KORVANE_BUILD_DIR) / "screenshots";
    fs::create_directories(dir);
    const fs::path png = dir / name;
    fs::remove(png);
    const wxRect r = window.GetScreenRect();
    const std::string crop = std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                             std::to_string(r.y);
    EXPECT_EQ(std::system(("import -window root -crop " + crop + " '" + png.string() + "' 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(fs::exists(png)) << png;
}

wxRect Rect(wxWindow& dlg, int id) {
    wxWindow* w = dlg.FindWindow(id);
    return w ? w->GetRect() : wxRect();
}

void SetText(wxWindow& dlg, int id, const CString& text) {
    wxStaticCast(dlg.FindWindow(id), wxTextCtrl)->ChangeValue(ToWx(text));
}

CString Text(wxWindow& dlg, int id) { return FromWx(wxStaticCast(dlg.FindWindow(id), wxTextCtrl)->GetValue()); }

class DaisyDialogs : public SmallProject {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

TEST_F(DaisyDialogs, ImportDialogChecksTheNameAndImports) {
    ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    ScratchFolder other("other");
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView target;
    target.AttachLists(&sections, &phrases);
    SetUpProject(target, other.Root());

    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(dlg.GetId(), 153);
        EXPECT_EQ(FromWx(dlg.GetTitle()), "Daisy図書インポート");
        EXPECT_EQ(dlg.GetClientSize(), wxSize(514, 133));
        EXPECT_EQ(Rect(dlg, 1038), wxRect(10, 9, 280, 15));
        EXPECT_EQ(Rect(dlg, 1099), wxRect(10, 28, 420, 23));
        EXPECT_EQ(Rect(dlg, 1101), wxRect(432, 28, 64, 23));
        EXPECT_EQ(Rect(dlg, 1041), wxRect(10, 71, 134, 19));
        EXPECT_EQ(Rect(dlg, wxID_OK), wxRect(296, 94, 100, 26));
        EXPECT_EQ(Rect(dlg, wxID_CANCEL), wxRect(400, 94, 100, 26));
        auto* choice = wxStaticCast(dlg.FindWindow(1103), wxChoice);
        EXPECT_EQ(choice->GetCount(), 2u);
        EXPECT_EQ(choice->GetSelection(), 0);
        // The drop-down shows its entries whole: as large as the toolkit needs, centred
        // on the row it was drawn for.
        const wxRect drop = Rect(dlg, 1103);
        EXPECT_EQ(drop.x, 148);
        EXPECT_LE(std::abs(drop.y + drop.height / 2 - (69 + 23 / 2)), 1);
        EXPECT_GE(drop.width, std::max(84, choice->GetBestSize().x));
        EXPECT_GE(drop.height, std::max(23, choice->GetBestSize().y));
        Screenshot(dlg, "daisy_import_dialog.png");

        // "参照..." fills the path from the chooser.
        EXPECT_TRUE(CUiScript::ClickButton(dlg, 1101));
        EXPECT_EQ(FromWx(wxStaticCast(dlg.FindWindow(1099), wxTextCtrl)->GetValue()), CString(folder.Path("NCC.html")));
        SetText(dlg, 1099, "");
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));  // empty
        SetText(dlg, 1099, CString(folder.Path("index.html")));
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        EXPECT_TRUE(dlg.IsModal());
        SetText(dlg, 1099, CString(folder.Path("NCC.html")));
        choice->SetSelection(1);
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        return IDOK;
    });
    script.AnswerFile({CString(folder.Path("NCC.html"))});
    script.AnswerBox(IDOK).AnswerBox(IDOK).AnswerBox(IDNO);
    target.OnDaisyImport();
    // The chooser has the title the system gives one that names none.
    ASSERT_GE(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[1].chooser.title, "開く");
    EXPECT_EQ(script.Records()[1].chooser.filter, "NCCﾌｧｲﾙ(NCC.html, NCC.htm)|NCC.html;NCC.htm|");
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"NCCファイルの保存先を指定して下さい。", "NCCファイルを指定して下さい。",
                                                       "書誌情報を上書きしますか？"}));
    ASSERT_EQ(target.m_lstSection.GetCount(), 3);
    // Automatic pages were chosen.
    EXPECT_EQ(target.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(1)->m_nPageKind, 1u);
    EXPECT_EQ(target.m_bookInfo.m_strTitle, "");
}

TEST_F(DaisyDialogs, DiscInformationShowsTheProjectAndTheDrive) {
    view.SetControlText(IDC_STATIC_FORMAT, "PCM 22.05KHz Mono");
    uint64_t bytes = 0;
    ASSERT_TRUE(GetFolderFilesSize(CString(folder.Root()), bytes));
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(dlg.GetId(), CDiscInfoDlg::IDD);
        EXPECT_EQ(FromWx(dlg.GetTitle()), "ディスク情報");
        EXPECT_EQ(dlg.GetClientSize(), wxSize(366, 186));
        EXPECT_EQ(Rect(dlg, 1097), wxRect(125, 8, 223, 23));
        EXPECT_EQ(Rect(dlg, 1104), wxRect(125, 120, 223, 23));
        EXPECT_EQ(Rect(dlg, 1096), wxRect(12, 122, 104, 19));
        EXPECT_EQ(Rect(dlg, wxID_OK), wxRect(248, 150, 100, 26));
        EXPECT_EQ(Text(dlg, 1097), "PCM 22.05KHz Mono");
        EXPECT_EQ(Text(dlg, 1098), "00：00：02");  // 90000 bytes at 44100 a second
        EXPECT_EQ(Text(dlg, 1100), CDiscInfoDlg::SizeText(bytes));
        EXPECT_NE(Text(dlg, 1104), "不明");
        EXPECT_NE(Text(dlg, 1102), "--：--：--");
        Screenshot(dlg, "disc_info_dialog.png");
        return IDOK;
    });
    view.OnDiscInfo();
    EXPECT_EQ(script.Records().size(), 1u);
}

TEST_F(DaisyDialogs, DiscInformationOfAFolderThatIsGone) {
    view.m_strProjectFolder = CString(folder.Path("gone"));
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(Text(dlg, 1104), "不明");
        EXPECT_EQ(Text(dlg, 1102), "--：--：--");
        EXPECT_EQ(Text(dlg, 1100), "0 KB");
        return IDOK;
    });
    view.OnDiscInfo();
}

TEST_F(DaisyDialogs, ThePlugInsDialogWritesTheImage) {
    if (RunCommand("command -v xorriso") != 0) GTEST_SKIP() << "xorriso is not installed";
    if (!OnPrivateAccessibilityBus()) return;
    ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    // A project of a usual name, holding the built book.
    ScratchFolder work("work");
    const std::string book = work.Path("SoftBook");
    fs::create_directories(book);
    for (const auto& [name, bytes] : FolderFiles(folder.Root())) WriteBytes(book + "/" + name, bytes);
    view.m_strProjectFolder = CString(book);
    view.m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");
    const std::string image = work.Path("book.iso");

    bool seen = false;
    wxTheApp->CallAfter([&] {
        for (wxWindow* w : wxTopLevelWindows) {
            auto* dlg = dynamic_cast<wxDialog*>(w);
            if (!dlg || !dlg->IsModal()) continue;
            seen = true;
            EXPECT_EQ(FromWx(dlg->GetTitle()), "CD書込み");
            // A screen reader reads it as a dialog, as it does the program's own.
            const std::string roles = RunAccessibilityScriptPumping(
                "for w in walk(application(int(sys.argv[1]))):\n"
                "    if w.get_name() == sys.argv[2]: print('role=' + w.get_role_name())\n",
                {std::to_string(::getpid()), Cp932ToUtf8("CD書込み")});
            EXPECT_EQ(AccessibilityValues(roles, "role"), std::vector<std::string>{"dialog"}) << roles;
            Screenshot(*dlg, "disc_write_plugin_dialog.png");
            wxStaticCast(dlg->FindWindow(103), wxTextCtrl)->ChangeValue(wxString::FromUTF8(image));
            EXPECT_TRUE(CUiScript::ClickButton(*dlg, 106));
            const wxString status = wxStaticCast(dlg->FindWindow(105), wxStaticText)->GetLabel();
            EXPECT_TRUE(status.EndsWith(wxString::FromUTF8("を作成しました。"))) << status.utf8_str();
            Screenshot(*dlg, "disc_write_plugin_dialog_done.png");
            dlg->EndModal(wxID_CANCEL);
        }
    });
    CUiScript script;
    view.OnDiscWrite();
    EXPECT_TRUE(seen);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{});
    std::string listing;
    ASSERT_EQ(RunCommand("xorriso -indev '" + image + "' -ls 2>/dev/null", &listing), 0);
    EXPECT_NE(listing.find("'NCC.html'"), std::string::npos) << listing;
    EXPECT_NE(listing.find("'A000003.smil'"), std::string::npos) << listing;
}

TEST_F(DaisyDialogs, TheExportCommandRunsThroughItsDialogs) {
    ScratchFolder target("target");
    const std::string newFolder = target.Path("Exported");
    CUiScript script;
    script.AnswerBox(IDYES);
    script.AnswerDialog([&](wxDialog& dlg) {
        wxStaticCast(dlg.FindWindow(1042), wxChoice)->SetSelection(0);
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        return IDOK;
    });
    script.AnswerFile({CString(newFolder)});
    script.AnswerBox(IDNO);
    view.OnDaisyBookExport();
    EXPECT_EQ(script.BoxTexts().back(), "エクスポートしたプロジェクトを開きますか？");
    EXPECT_EQ(script.Records().at(2).chooser.title, "プロジェクトの作成");
    EXPECT_TRUE(FileExists(CString(newFolder + "/NCC.html")));
    EXPECT_NE(ReadBytes(newFolder + "/Korvane.ncc").find("Compression=0"), std::string::npos);

    // An MP3 format gives a book of MP3 section files.
    const std::string mp3Folder = target.Path("ExportedMp3");
    CUiScript mp3;
    mp3.AnswerBox(IDYES);
    mp3.AnswerDialog([&](wxDialog& dlg) {
        wxStaticCast(dlg.FindWindow(1042), wxChoice)->SetSelection(3);
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        return IDOK;
    });
    mp3.AnswerFile({CString(mp3Folder)});
    mp3.AnswerBox(IDNO);
    view.OnDaisyBookExport();
    EXPECT_EQ(mp3.BoxTexts().back(), "エクスポートしたプロジェクトを開きますか？");
    EXPECT_TRUE(FileExists(CString(mp3Folder + "/A000001.mp3")));
    EXPECT_FALSE(FileExists(CString(mp3Folder + "/A000001.wav")));
    EXPECT_NE(ReadBytes(mp3Folder + "/Korvane.ncc").find("Compression=3"), std::string::npos);
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_TRUE(sectionList.IsRedrawOn());
    EXPECT_TRUE(phraseList.IsRedrawOn());
}

}  // namespace
