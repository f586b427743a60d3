// The editing keys on a real main window: each key goes through the window's key hook,
// the view's key filter and the accelerator table to its command.

#include <gtest/gtest.h>

#include <memory>

#include <wx/dialog.h>

#include "WxTestApp.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

class EditAccelerators : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Show(true);
        PumpEvents(10);
        // An open project of three sections of two phrases each, cut from one recording.
        for (int s = 0; s < 3; ++s) {
            auto section = std::make_unique<CSectionInformation>();
            section->m_strHeading = CString::Formatted("章%d", s + 1);
            for (int p = 0; p < 2; ++p) {
                auto phrase = std::make_unique<CPhraseInformation>();
                phrase->m_nStart = static_cast<uint32_t>((s * 2 + p) * 32000);
                phrase->m_nLength = 32000;
                phrase->m_strFileName = "A000001.wav";
                phrase->m_nBytesPerSec = 32000;
                section->m_nSectionTime += 32000;
                section->m_lstPhrase.Add(std::move(phrase));
            }
            view->m_lstSection.Add(std::move(section));
        }
        view->m_bProjectOpen = 1;
        view->EnableButtons();
        view->RefreshSectionList(0);
        PumpEvents(5);
    }
    void TearDown() override {
        if (frame) frame->Destroy();
        PumpEvents(5);
    }
    // Gives `list` the keyboard focus, as a click into it would.
    void Focus(IListView* list) {
        list->SetFocus();
        PumpEvents(3);
        view->m_hFocusList = list;  // a display without a window manager may not report the focus
    }
    // A key as the window's key hook receives it.
    void Press(int keyCode, bool ctrl = false, bool shift = false) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = keyCode;
        event.SetControlDown(ctrl);
        event.SetShiftDown(shift);
        event.SetEventObject(frame);
        frame->ProcessWindowEvent(event);
        PumpEvents(2);
    }
    int Sections() const { return view->m_lstSection.GetCount(); }
    CPhraseInformation* Phrase(int s, int p) const { return view->m_lstSection.GetAt(s)->m_lstPhrase.GetAt(p); }

    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(EditAccelerators, ClipboardUndoAndDeleteKeysOnTheSectionList) {
    Focus(view->m_listSection);
    view->SelectSection(0);
    Press('C', true);
    EXPECT_EQ(view->m_lstSectionClipboard.GetCount(), 1);
    Press('V', true);
    EXPECT_EQ(Sections(), 4);
    Press('Z', true);
    EXPECT_EQ(Sections(), 3);
    Press('X', true);
    EXPECT_EQ(Sections(), 2);
    Press('Z', true);
    EXPECT_EQ(Sections(), 3);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        Press(WXK_DELETE);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"選択されているセクションを削除しますか？"});
    }
    EXPECT_EQ(Sections(), 2);
}

TEST_F(EditAccelerators, LevelJoinAndSplitKeys) {
    Focus(view->m_listSection);
    view->SelectSection(1);
    Press('W');
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_nLevel, 1);
    Press('Q');
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_nLevel, 0);
    view->m_listSection->SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        Press('C', false, true);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"選択されているセクションを結合しますか？"});
    }
    ASSERT_EQ(Sections(), 2);
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_lstPhrase.GetCount(), 4);
    view->SelectSection(1);
    Focus(view->m_listPhrase);
    view->SelectPhrase(2);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        Press('S', false, true);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"選択されているフレーズからセクションを分割しますか？"});
    }
    EXPECT_EQ(Sections(), 3);
}

TEST_F(EditAccelerators, FlagKeysRefreshAndBookInformation) {
    Focus(view->m_listPhrase);
    view->SelectPhrase(1);
    Press('G');
    EXPECT_EQ(Phrase(0, 1)->m_nGroup, 1u);
    Press('M');
    EXPECT_EQ(Phrase(0, 1)->m_nMark, 1u);
    Press('P');
    EXPECT_EQ(Phrase(0, 1)->m_nPageKind, 1u);
    Press(WXK_F5);
    EXPECT_EQ(Phrase(0, 1)->m_strPageText, "1");
    EXPECT_EQ(view->m_nSectionUndoKind, 9);
    CUiScript script;
    script.AnswerDialog(IDCANCEL);
    Press('I', true);
    ASSERT_EQ(script.Records().size(), 1u);
    EXPECT_EQ(script.Records()[0].caption, "書誌情報");
}

}  // namespace
