#include <gtest/gtest.h>

#include <wx/defs.h>

#include "UiScriptFaults.h"
#include "platform/CodePage.h"
#include "platform/MessageBox.h"

TEST(MessageBoxScript, AnswersInOrderAndRecordsEveryBox) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK).AnswerBox(IDNO).AnswerBox(IDOK);
    EXPECT_EQ(KvMessageBox(nullptr, "Daisy図書を生成しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(AfxMessageBox("既に起動しています。"), IDOK);
    EXPECT_EQ(AfxMessageBox("続けますか？", MB_YESNO), IDNO);
    EXPECT_EQ(AfxMessageBox("ＭＰ３ファイルオープンＮＧ", MB_OK | MB_ICONSTOP), IDOK);

    const auto& r = script.Records();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].kind, CUiKind::Box);
    EXPECT_EQ(r[0].caption, "確認");
    EXPECT_EQ(r[0].text, "Daisy図書を生成しますか？");
    EXPECT_EQ(r[0].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(r[0].result, IDYES);
    // The library box takes the title, OK and an icon fitting its buttons; an icon given stays.
    EXPECT_EQ(r[1].caption, "Korvane");
    EXPECT_EQ(r[1].style, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(r[2].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(r[3].style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(script.PendingAnswers(), 0u);
    EXPECT_TRUE(log.faults.empty());
}

TEST(MessageBoxScript, UnexpectedBoxIsAFaultAndGetsTheAnswerThatChangesLeast) {
    const std::pair<long, int> cases[] = {{MB_OK | MB_ICONSTOP, IDOK},
                                          {MB_OKCANCEL, IDCANCEL},
                                          {MB_YESNO | MB_ICONQUESTION, IDNO},
                                          {MB_YESNOCANCEL | MB_DEFBUTTON2, IDCANCEL}};
    for (const auto& [style, answer] : cases) {
        ScopedFaultLog log;
        CUiScript script;
        EXPECT_EQ(KvMessageBox(nullptr, "予期しない", "エラー", style), answer) << style;
        ASSERT_EQ(log.faults.size(), 1u);
        EXPECT_NE(log.faults[0].find(Cp932ToUtf8("予期しない")), std::string::npos) << log.faults[0];
        EXPECT_FALSE(script.Records()[0].scripted);
    }
}

TEST(MessageBoxScript, WrongAndUnusedAnswersAreFaultsAndOtherKindsWaitForTheirWindow) {
    ScopedFaultLog log;
    {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerFile({"/data/a.wav"});
        // Not a button of the box: a fault, and the box gets its least-changing answer.
        EXPECT_EQ(KvMessageBox(nullptr, "削除しますか？", "確認", MB_OKCANCEL), IDCANCEL);
        EXPECT_EQ(log.faults.size(), 1u);
        // The file answer is next: the box is unexpected, the answer stays for the chooser.
        EXPECT_EQ(KvMessageBox(nullptr, "無音", "エラー", MB_OK | MB_ICONSTOP), IDOK);
        EXPECT_EQ(log.faults.size(), 2u);
        std::vector<CString> paths;
        EXPECT_TRUE(ChooseFile(nullptr, CFileChooser{}, paths));
        EXPECT_EQ(paths, std::vector<CString>{"/data/a.wav"});
        EXPECT_EQ(log.faults.size(), 2u);
        script.AnswerBox(IDOK).AnswerDialog(IDOK);
    }  // answers left unused are reported when the script ends
    EXPECT_EQ(log.faults.size(), 4u);
}

TEST(MessageBox, ToolkitAnswersStayWithinTheBoxButtons) {
    const struct {
        long style;
        int wxId;
        int result;
    } cases[] = {
        {MB_OK, wxID_CANCEL, IDOK},  // Esc on an OK box
        {MB_OKCANCEL, wxID_CANCEL, IDCANCEL},
        {MB_YESNO, wxID_YES, IDYES},
        {MB_YESNO, wxID_CANCEL, IDNO},  // Yes/No boxes cannot be cancelled on the original
        {MB_YESNOCANCEL, wxID_CANCEL, IDCANCEL},
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
