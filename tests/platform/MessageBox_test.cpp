#include <gtest/gtest.h>

#include <wx/defs.h>

#include "UiScriptFaults.h"
#include "platform/CodePage.h"
#include "platform/MessageBox.h"

TEST(MessageBoxScript, AnswersInOrderAndRecordsEveryBox) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK);
    EXPECT_EQ(KvMessageBox(nullptr, "Daisy図書を生成しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(KvMessageBox(nullptr, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION), IDOK);

    ASSERT_EQ(script.Records().size(), 2u);
    const CUiRecord& first = script.Records()[0];
    EXPECT_EQ(first.kind, CUiKind::Box);
    EXPECT_EQ(first.caption, "確認");
    EXPECT_EQ(first.text, "Daisy図書を生成しますか？");
    EXPECT_EQ(first.style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(first.result, IDYES);
    EXPECT_TRUE(first.scripted);
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"Daisy図書を生成しますか？", "完了しました。"}));
    EXPECT_EQ(script.PendingAnswers(), 0u);
    EXPECT_TRUE(log.faults.empty());
}

TEST(MessageBoxScript, LibraryBoxTakesTheTitleOkAndTheLibraryIcon) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerBox(IDOK).AnswerBox(IDNO).AnswerBox(IDOK);
    EXPECT_EQ(AfxMessageBox("既に起動しています。"), IDOK);
    EXPECT_EQ(AfxMessageBox("続けますか？", MB_YESNO), IDNO);
    EXPECT_EQ(AfxMessageBox("ＭＰ３ファイルオープンＮＧ", MB_OK | MB_ICONSTOP), IDOK);

    const auto& r = script.Records();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].caption, "Korvane");
    EXPECT_EQ(r[0].text, "既に起動しています。");
    EXPECT_EQ(r[0].style, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(r[1].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(r[2].style, MB_OK | MB_ICONSTOP);  // an icon given stays
    EXPECT_TRUE(log.faults.empty());
}

TEST(MessageBoxScript, UnexpectedBoxIsAFaultAndGetsTheAnswerThatChangesLeast) {
    const struct {
        long style;
        int answer;
    } cases[] = {
        {MB_OK | MB_ICONSTOP, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, IDCANCEL},
    };
    for (const auto& c : cases) {
        ScopedFaultLog log;
        CUiScript script;
        EXPECT_EQ(KvMessageBox(nullptr, "予期しない", "エラー", c.style), c.answer) << c.style;
        ASSERT_EQ(log.faults.size(), 1u);
        EXPECT_NE(log.faults[0].find(Cp932ToUtf8("予期しない")), std::string::npos) << log.faults[0];
        ASSERT_EQ(script.Records().size(), 1u);
        EXPECT_FALSE(script.Records()[0].scripted);
        EXPECT_EQ(script.Faults(), 1);
    }
}

TEST(MessageBoxScript, AnswerThatIsNotAButtonOfTheBoxIsAFault) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDCANCEL);
    EXPECT_EQ(KvMessageBox(nullptr, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(KvMessageBox(nullptr, "削除しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(log.faults.size(), 2u);
}

TEST(MessageBoxScript, AnswerOfAnotherKindStaysForItsOwnWindow) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerFile({"/data/a.wav"});
    EXPECT_EQ(KvMessageBox(nullptr, "無音", "エラー", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(log.faults.size(), 1u);
    std::vector<CString> paths;
    EXPECT_TRUE(ChooseFile(nullptr, CFileChooser{}, paths));
    EXPECT_EQ(paths, std::vector<CString>{"/data/a.wav"});
    EXPECT_EQ(log.faults.size(), 1u);
}

TEST(MessageBoxScript, AnswersLeftUnusedAreReportedWhenTheScriptEnds) {
    ScopedFaultLog log;
    {
        CUiScript script;
        script.AnswerBox(IDOK).AnswerDialog(IDOK);
    }
    EXPECT_EQ(log.faults.size(), 2u);
}

TEST(MessageBoxScript, ScriptsNestAndTheOuterOneReturns) {
    ScopedFaultLog log;
    CUiScript outer;
    outer.AnswerBox(IDYES);
    {
        CUiScript inner;
        inner.AnswerBox(IDNO);
        EXPECT_EQ(CUiScript::Active(), &inner);
        EXPECT_EQ(KvMessageBox(nullptr, "内側", "確認", MB_YESNO), IDNO);
    }
    EXPECT_EQ(CUiScript::Active(), &outer);
    EXPECT_EQ(KvMessageBox(nullptr, "外側", "確認", MB_YESNO), IDYES);
    EXPECT_EQ(outer.BoxTexts(), std::vector<CString>{"外側"});
    EXPECT_TRUE(log.faults.empty());
}

TEST(MessageBox, ToolkitAnswersStayWithinTheBoxButtons) {
    const struct {
        long style;
        int wxId;
        int result;
    } cases[] = {
        {MB_OK, wxID_OK, IDOK},
        {MB_OK, wxID_CANCEL, IDOK},  // Esc on an OK box
        {MB_OKCANCEL, wxID_OK, IDOK},
        {MB_OKCANCEL, wxID_CANCEL, IDCANCEL},
        {MB_YESNO, wxID_YES, IDYES},
        {MB_YESNO, wxID_NO, IDNO},
        {MB_YESNO, wxID_CANCEL, IDNO},  // Yes/No boxes cannot be cancelled on the original
        {MB_YESNOCANCEL, wxID_CANCEL, IDCANCEL},
        {MB_YESNOCANCEL, wxID_NO, IDNO},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, wxID_YES, IDYES},
    };
    for (const auto& c : cases) EXPECT_EQ(BoxResultFromWx(c.style, c.wxId), c.result) << c.style << " " << c.wxId;
}

TEST(MessageBox, WithoutScriptOrDisplayTheBoxIsWrittenToStderr) {
    ASSERT_EQ(CUiScript::Active(), nullptr);
    testing::internal::CaptureStderr();
    const int result = KvMessageBox(nullptr, "保存しますか？", "確認", MB_YESNO | MB_ICONQUESTION);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDNO);
    EXPECT_NE(err.find(Cp932ToUtf8("確認: 保存しますか？")), std::string::npos) << err;
}
