// The editing keys on a real main window reach their commands.

#include "EditBookFixture.h"
#include "EditorWindowFixture.h"

namespace {

class EditAccelerators : public EditorWindow {
protected:
    void SetUp() override {
        EditorWindow::SetUp();
        OpenThreeSections(2);
    }
    void TearDown() override {
        frame->Destroy();
        WaitUntilGone(frame);
        frame = nullptr;
        EditorWindow::TearDown();
    }
    int Sections() const { return view->m_lstSection.GetCount(); }
    CPhraseInformation* Phrase(int s, int p) const { return view->m_lstSection.GetAt(s)->m_lstPhrase.GetAt(p); }
    Boxes PressAnswering(int keyCode, bool ctrl, bool shift, int answer = IDYES) {
        return Answering({answer}, [&] { Press(keyCode, ctrl, shift); });
    }
};

TEST_F(EditAccelerators, ClipboardUndoDeleteLevelJoinAndSplitKeys) {
    Focus(view->m_listSection);
    view->SelectSection(0);
    const struct { int key; bool ctrl; int sections; } steps[] = {
        {'C', true, 3}, {'V', true, 4}, {'Z', true, 3}, {'X', true, 2}, {'Z', true, 3}};
    for (const auto& s : steps) {
        Press(s.key, s.ctrl);
        EXPECT_EQ(Sections(), s.sections) << static_cast<char>(s.key);
    }
    EXPECT_EQ(view->m_lstSectionClipboard.GetCount(), 1);
    EXPECT_EQ(PressAnswering(WXK_DELETE, false, false), Boxes{"?選択されているセクションを削除しますか？"});
    EXPECT_EQ(Sections(), 2);

    view->SelectSection(1);
    Press('W');
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_nLevel, 1);
    Press('Q');
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_nLevel, 0);
    view->SelectSection(0);
    view->m_listSection->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(PressAnswering('C', false, true), Boxes{"?選択されているセクションを結合しますか？"});
    ASSERT_EQ(Sections(), 1);
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 4);
    Focus(view->m_listPhrase);
    view->SelectPhrase(2);
    EXPECT_EQ(PressAnswering('S', false, true), Boxes{"?選択されているフレーズからセクションを分割しますか？"});
    EXPECT_EQ(Sections(), 2);
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
