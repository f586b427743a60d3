// The properties command with its two dialogs, driven as a user would.

#include <wx/choice.h>
#include <wx/textctrl.h>

#include <cmath>

#include "PropertiesFixture.h"
#include "audio/Mp3Encode.h"
#include "Screenshot.h"
#include "app/CommandIds.h"
#include "app/PhraseDlg.h"
#include "app/SectionDlg.h"
#include "platform/CodePage.h"
#include "platform/EditText.h"

namespace {

using Texts = std::vector<CString>;

wxChoice& Choice(wxDialog& dlg, int id) { return *wxStaticCast(dlg.FindWindow(id), wxChoice); }
wxTextCtrl& Edit(wxDialog& dlg, int id) { return *wxStaticCast(dlg.FindWindow(id), wxTextCtrl); }
CString Text(wxDialog& dlg, int id) { return GetEditText(Edit(dlg, id)); }
void Type(wxDialog& dlg, int id, const CString& text) { Edit(dlg, id).SetValue(ToWx(CrLfToLf(text))); }
void Choose(wxDialog& dlg, int id, int item) {
    Choice(dlg, id).SetSelection(item);
    wxCommandEvent event(wxEVT_CHOICE, id);
    event.SetInt(item);
    event.SetEventObject(&Choice(dlg, id));
    Choice(dlg, id).ProcessWindowEvent(event);
}
CString FullWidth(int n) {
    CString s;
    for (int i = 0; i < n; ++i) s += "あ";
    return s;
}

class Properties : public PropertiesBook {};

TEST_F(Properties, PhraseDialogStoresWhatItAcceptsAndRefusesTheRest) {
    const CString tooLongComment = FullWidth(249) + "\r\n" + "x";  // the line end counts 2: 501 bytes
    const struct {
        const char* name;
        int kind;
        CString text, comment;
        Texts boxes;  // refusals, each with the dialog staying open
        uint32_t storedKind;
        CString storedText, storedComment;
    } cases[] = {
        {"leading zeros", 2, "0012", "", {}, 2, "0012", ""},
        {"seven digits", 2, "0000012", "", {"1～999,999の範囲で入力して下さい。"}, 2, "5", ""},
        {"zero", 2, "0", "", {"1～999,999の範囲で入力して下さい。"}, 2, "5", ""},
        {"letter", 2, "12a", "", {"数値以外が入力されています。"}, 2, "5", ""},
        {"special", 4, "a&b", "", {}, 4, "a＆b", ""},
        {"front without text", 3, "", "", {"ページを入力して下さい。"}, 2, "5", ""},
        {"eleven bytes", 4, "12345678901", "", {"入力桁数を超えています。"}, 2, "5", ""},
        {"automatic", 1, "77", "", {}, 1, "", ""},
        {"manual empty", 2, "", "", {}, 0, "", ""},
        {"lines", 2, "5", "一行目\r\n二行目", {}, 2, "5", "一行目二行目"},
        {"comment 500", 2, "5", FullWidth(249) + "\r\n", {}, 2, "5", FullWidth(249)},
        {"comment 501", 2, "5", tooLongComment, {"入力桁数を超えています。"}, 2, "5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BuildSampleBook();
        Pick(1, 1);  // a manual page "5"
        PhraseAt(1, 1)->m_strComment.Empty();
        bool stayedOpen = false;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& dlg) {
            Choose(dlg, CPhraseDlg::IDC_PAGE_KIND, c.kind);
            Type(dlg, CPhraseDlg::IDC_PAGE_TEXT, c.text);
            Type(dlg, CPhraseDlg::IDC_COMMENT, c.comment);
            CUiScript::ClickButton(dlg, wxID_OK);
            stayedOpen = dlg.IsModal();
            return IDCANCEL;
        });
        for (size_t i = 0; i < c.boxes.size(); ++i) script.AnswerBox(IDOK);
        view.m_bSuppressPlay = 1;
        view.RunCommand(ID_PROPERTIES);
        EXPECT_EQ(script.BoxTexts(), c.boxes);
        EXPECT_EQ(stayedOpen, !c.boxes.empty());
        for (const CUiRecord& r : script.Records()) {
            if (r.kind == CUiKind::Box) {
                EXPECT_EQ(r.caption, r.text.Find("1～") == 0 || r.text.Find("数値") == 0 ? kAppTitle : "エラー");
            }
        }
        EXPECT_EQ(PhraseAt(1, 1)->m_nPageKind, c.storedKind);
        EXPECT_EQ(PhraseAt(1, 1)->m_strPageText, c.storedText);
        EXPECT_EQ(PhraseAt(1, 1)->m_strComment, c.storedComment);
    }
}

TEST_F(Properties, PhraseWithoutPageOpensOnManualAutomaticDisablesTheTextAndUndoRestoresAll) {
    Pick(3, 1);  // group and mark, no page
    const BookData before = Book();
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(FromWx(dlg.GetTitle()), "フレーズプロパティ");
        EXPECT_EQ(Choice(dlg, CPhraseDlg::IDC_PAGE_KIND).GetSelection(), 2);
        EXPECT_EQ(Text(dlg, CPhraseDlg::IDC_PAGE_TEXT), "");
        EXPECT_EQ(Choice(dlg, CPhraseDlg::IDC_GROUP).GetSelection(), 1);
        EXPECT_TRUE(Edit(dlg, CPhraseDlg::IDC_PAGE_TEXT).IsEnabled());
        Choose(dlg, CPhraseDlg::IDC_PAGE_KIND, 1);
        EXPECT_FALSE(Edit(dlg, CPhraseDlg::IDC_PAGE_TEXT).IsEnabled());
        Choose(dlg, CPhraseDlg::IDC_PAGE_KIND, 4);
        Type(dlg, CPhraseDlg::IDC_PAGE_TEXT, "付");
        Choose(dlg, CPhraseDlg::IDC_GROUP, 0);
        Choose(dlg, CPhraseDlg::IDC_MARK, 0);
        Type(dlg, CPhraseDlg::IDC_COMMENT, "注\r\n記");
        EXPECT_TRUE(SaveScreenshot(dlg, "phrase_properties"));
        Edit(dlg, CPhraseDlg::IDC_PAGE_TEXT).SetFocus();
        Press(dlg, WXK_RETURN);  // Enter is OK
        return IDCANCEL;
    });
    view.m_bSuppressPlay = 1;
    view.RunCommand(ID_PROPERTIES);
    EXPECT_EQ(script.Records().at(0).result, IDOK);
    const PhraseData after = Capture(*PhraseAt(3, 1));
    EXPECT_EQ(after.pageKind, 4u);
    EXPECT_EQ(after.pageText, "付");
    EXPECT_EQ(after.group + after.mark, 0u);
    EXPECT_EQ(after.comment, "注記");
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
    // The extra row and a missing selection open nothing.
    phrases.UserClick(2);
    view.RunCommand(ID_PROPERTIES);
    phrases.SetItemState(-1, 0, LVIS_SELECTED);
    view.RunCommand(ID_PROPERTIES);
    EXPECT_TRUE(script.Records().size() == 1);
}

TEST_F(Properties, PhraseDialogPlaysThePhraseAndDoubleClickOpensIt) {
    Pick(0, 1);
    CUiScript script;
    script.AnswerDialog([&](wxDialog&) {
        EXPECT_EQ(view.m_wavePlayer.GetDeviceState(), kAudioDeviceOpen);
        return IDCANCEL;
    });
    phrases.UserDoubleClick(1);
    EXPECT_EQ(script.Records().size(), 1u);
    // MP3 projects have the command too.
    view.m_nAudioKind = 2;
    EXPECT_TRUE(view.IsCommandEnabled(ID_PROPERTIES));
}

// In an MP3 project the section dialog plays the first phrase on its own MP3 player.
TEST_F(Properties, SectionDialogOfAnMp3ProjectPlaysOnItsMp3Player) {
    struct QuietHost : CWaveTaskHost {
        void ShowError(const CString& text) override { ADD_FAILURE() << text.str(); }
        bool AskYesNo(const CString&) override { return false; }
        void BeginProgress(const CString&, const CString&, int) override {}
        void SetProgress(int) override {}
        bool CheckCancel() override { return false; }
        void EndProgress() override {}
    } host;
    WriteRamp("ramp.wav", 0);  // replaced below by a 22050 Hz tone
    std::vector<int16_t> tone(22050 * 2);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(0.1 * double(i)));
    {
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(CString((dir / "tone.wav").string()), MakePcmMono16Format(22050), file), 0);
        file->Write(tone.data(), static_cast<int64_t>(tone.size() * 2));
        ASSERT_EQ(writer.Close(file), 0);
    }
    ASSERT_EQ(EncodeWaveToMp3(host, CString((dir / "tone.wav").string()), CString((dir / "A000009.mp3").string()),
                              32000, 1, "c", "t"),
              0);
    view.StopWavePlay();  // what the PCM book's fixture started; an MP3 project never has it
    view.SetProjectFormat(3);
    view.m_strExeFolder = CString(KORVANE_BUILD_DIR "/");  // the priming streams
    CPhraseInformation* first = SectionAt(1)->m_lstPhrase.GetAt(0);
    first->m_strFileName = "A000009.mp3";
    first->m_nStart = 0;
    first->m_nLength = 10 * 4410;
    first->m_nBytesPerSec = 44100;
    view.m_mp3Player.Initialize();
    view.m_bSuppressPlay = 1;  // choosing the section would start it on the view's own player
    sections.UserClick(1);
    view.m_bSuppressPlay = 0;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        auto& d = static_cast<CSectionDlg&>(dlg);
        EXPECT_EQ(d.GetWavePlayer().GetDeviceState(), kAudioNoDevice);
        EXPECT_EQ(FromWx(dlg.FindWindow(CSectionDlg::IDC_PLAY)->GetLabel()), "STOP(F4)");
        card.Complete(2);
        reports.Pump();
        EXPECT_EQ(card.PlayedSizes(), (std::vector<size_t>{4410, 4410}));  // 100 ms at 22050 Hz each
        Press(dlg, WXK_F4);
        EXPECT_EQ(FromWx(dlg.FindWindow(CSectionDlg::IDC_PLAY)->GetLabel()), "PLAY(F4)");
        return IDCANCEL;
    });
    view.RunCommand(ID_PROPERTIES);
    EXPECT_EQ(script.Records().size(), 1u);
    EXPECT_EQ(view.m_mp3Player.GetDeviceState(), kAudioNoDevice);  // the view's own stays closed
}

TEST_F(Properties, SectionDialogStepsStoresWithUndoPlaysOnItsOwnAndRoundTripsThroughTheProjectFile) {
    sections.UserClick(1);
    view.m_bSuppressPlay = 0;
    std::vector<CString> shown;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(FromWx(dlg.GetTitle()), "セクションプロパティ");
        auto& d = static_cast<CSectionDlg&>(dlg);
        // The first phrase plays on the dialog's own player; the view's stays closed.
        EXPECT_EQ(d.GetWavePlayer().GetDeviceState(), kAudioDeviceOpen);
        EXPECT_EQ(view.m_wavePlayer.GetDeviceState(), kAudioNoDevice);
        EXPECT_EQ(FromWx(dlg.FindWindow(CSectionDlg::IDC_PLAY)->GetLabel()), "STOP(F4)");
        EXPECT_EQ(Text(dlg, CSectionDlg::IDC_START_PAGE), "5");
        card.Complete(2);
        reports.Pump();
        EXPECT_EQ(card.Played().size(), 2u * 3200u);  // 100 ms of the first phrase per buffer
        Press(dlg, WXK_F4);
        EXPECT_EQ(d.GetWavePlayer().GetDeviceState(), kAudioNoDevice);
        EXPECT_TRUE(SaveScreenshot(dlg, "section_properties"));

        Type(dlg, CSectionDlg::IDC_HEADING, "第一章\r\n改め");
        Type(dlg, CSectionDlg::IDC_COMMENT, "注&記");
        Press(dlg, WXK_F3);  // stores section 1, shows section 2
        shown.push_back(Text(dlg, CSectionDlg::IDC_HEADING));
        EXPECT_EQ(view.m_nSectionUndoKind, 2);
        EXPECT_EQ(d.GetWavePlayer().GetDeviceState(), kAudioDeviceOpen);  // section 2 plays
        Press(dlg, WXK_F3);
        Press(dlg, WXK_F3);  // the last section: next is off
        shown.push_back(Text(dlg, CSectionDlg::IDC_HEADING));
        EXPECT_FALSE(dlg.FindWindow(CSectionDlg::IDC_NEXT)->IsEnabled());

        Type(dlg, CSectionDlg::IDC_HEADING, FullWidth(251));
        Press(dlg, WXK_F2);  // refused: the heading is too long
        EXPECT_EQ(wxWindow::FindFocus(), &Edit(dlg, CSectionDlg::IDC_HEADING));
        Type(dlg, CSectionDlg::IDC_HEADING, FullWidth(250));
        Type(dlg, CSectionDlg::IDC_END_PAGE, "9");
        Type(dlg, CSectionDlg::IDC_START_PAGE, "");
        CUiScript::ClickButton(dlg, wxID_OK);  // refused: an end page without a start page
        Type(dlg, CSectionDlg::IDC_START_PAGE, "7");
        Choose(dlg, CSectionDlg::IDC_LEVEL, 4);
        Edit(dlg, CSectionDlg::IDC_START_PAGE).SetFocus();
        Press(dlg, WXK_RETURN);
        return IDCANCEL;
    });
    script.AnswerBox(IDOK).AnswerBox(IDOK);
    view.RunCommand(ID_PROPERTIES);
    EXPECT_EQ(script.BoxTexts(), (Texts{"入力桁数を超えています。", "開始ページを入力して下さい。"}));
    EXPECT_EQ(shown, (Texts{"第二章", "付録"}));
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(view.m_wavePlayer.GetDeviceState(), kAudioNoDevice);
    EXPECT_EQ(SectionAt(1)->m_strHeading, "第一章改め");
    EXPECT_EQ(SectionAt(1)->m_strComment, "注&記");  // stepping stores as typed
    EXPECT_EQ(SectionAt(3)->m_strHeading, FullWidth(250));
    EXPECT_EQ(SectionAt(3)->m_nLevel, 4);
    EXPECT_EQ(SectionAt(3)->m_strStartPage, "7");
    EXPECT_EQ(SectionAt(3)->m_strEndPage, "9");

    const BookData edited = Book();
    SaveAndReload();
    EXPECT_EQ(Book(), edited);
}

// With an output device that refuses every format, each play shows its message over the
// dialog: the dialog then already shows the section the message is about.
TEST_F(Properties, SectionDialogShowsTheSectionBeforeItsFirstPhrasePlays) {
    sections.UserClick(1);
    view.m_bSuppressPlay = 0;
    // Level, heading, start and end page of a dialog.
    auto fields = [](wxDialog& dlg) {
        return Texts{CString(std::to_string(Choice(dlg, CSectionDlg::IDC_LEVEL).GetSelection()).c_str()),
                     Text(dlg, CSectionDlg::IDC_HEADING), Text(dlg, CSectionDlg::IDC_START_PAGE),
                     Text(dlg, CSectionDlg::IDC_END_PAGE)};
    };
    std::vector<Texts> asked, shown;  // when the device is asked; when the dialog waits
    card.SetFormatFilter([&](const WaveOutFormat&) {
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* dlg = dynamic_cast<CSectionDlg*>(w)) asked.push_back(fields(*dlg));
        return false;
    });
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        shown.push_back(fields(dlg));
        Press(dlg, WXK_F3);
        shown.push_back(fields(dlg));
        return IDCANCEL;
    });
    script.AnswerBox(IDOK).AnswerBox(IDOK);
    view.RunCommand(ID_PROPERTIES);
    EXPECT_EQ(script.BoxTexts(), (Texts{"再生デバイスクエリーＮＧ", "再生デバイスクエリーＮＧ"}));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0][1], "第一章");
    EXPECT_EQ(shown[1][1], "第二章");
    EXPECT_EQ(asked, shown);
}

TEST_F(Properties, CancelAfterSteppingKeepsTheStoredEditsAndUndoTakesBackTheLastStore) {
    sections.UserClick(0);
    const BookData before = Book();
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        Type(dlg, CSectionDlg::IDC_HEADING, "新しい序章");
        Press(dlg, WXK_F3);
        Type(dlg, CSectionDlg::IDC_HEADING, "変えたが取り消す");
        return IDCANCEL;
    });
    view.RunCommand(ID_PROPERTIES);
    EXPECT_EQ(SectionAt(0)->m_strHeading, "新しい序章");
    EXPECT_EQ(SectionAt(1)->m_strHeading, "第一章");
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

}  // namespace
