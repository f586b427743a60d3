// The phrase split: the dialog driven by keys and its scroll bar as a user would, its own
// player, and the command's result in the book.

#include <filesystem>
#include <fstream>

#include <wx/scrolbar.h>

#include "PropertiesFixture.h"
#include "Screenshot.h"
#include "app/CommandIds.h"
#include "app/PhraseSplitDlg.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveformDisplays.h"
#include "platform/CodePage.h"

namespace {

constexpr uint32_t kSecond = 32000;  // bytes of a second at 16 kHz

class PhraseSplit : public PropertiesBook {
protected:
    void SetUp() override {
        PropertiesBook::SetUp();
        // One phrase of 15 s from second 1 of a 20 s recording.
        WriteRamp("A000009.wav", 20 * kSecond);
        CSectionInformation* section = AddSection("長い", 1, 15 * kSecond, "A000009.wav", kSecond);
        section->m_lstPhrase.GetAt(0)->m_nPause = 6400;
        view.m_bSuppressPlay = 1;
        Show(4);
        phrases.UserClick(0);
        view.m_bSuppressPlay = 0;
    }
    // Runs the command with `user` playing the dialog; the dialog's end code.
    int Split(const std::function<void(CPhraseSplitDlg&)>& user, std::initializer_list<int> boxes = {}) {
        CUiScript script;
        script.AnswerDialog([&](wxDialog& dlg) {
            user(static_cast<CPhraseSplitDlg&>(dlg));
            return IDCANCEL;
        });
        for (int b : boxes) script.AnswerBox(b);
        view.RunCommand(ID_PHRASE_SPLIT);
        return script.Records().empty() ? -1 : script.Records()[0].result;
    }
    static void Keys(CPhraseSplitDlg& dlg, int key, int times) {
        for (int i = 0; i < times; ++i) Press(dlg, key);
    }
};

TEST_F(PhraseSplit, ArrowsMoveTheCursorInBlocksAndOkSplitsThereExactlyUndoJoinsAgain) {
    const BookData before = Book();
    int windowStart = -1;
    int16_t firstSample = 0;
    const int result = Split([&](CPhraseSplitDlg& dlg) {
        EXPECT_EQ(FromWx(dlg.GetTitle()), "フレーズ分割");
        // The window shows the phrase's own samples, not the file's header.
        firstSample = dlg.GetWaveView()->m_pSamples[0];
        EXPECT_EQ(dlg.GetWaveView()->m_nByteCount, static_cast<int>(5 * kSecond));
        int minimum = 0, maximum = 0;
        dlg.GetScrollBar().GetScrollRange(minimum, maximum);
        EXPECT_EQ(maximum, 1500 - 500);
        Keys(dlg, WXK_RIGHT, 123);  // 12.30 s: the window follows once the cursor passes the middle
        windowStart = dlg.GetWindowStart();
        EXPECT_EQ(dlg.GetCursor(), 1230);
        EXPECT_EQ(dlg.GetTimeScale()->GetStart(), windowStart);
        EXPECT_EQ(dlg.GetScrollBar().GetWindow()->GetThumbPosition(), windowStart);
        EXPECT_EQ(dlg.GetScrollBar().GetWindow()->GetRange() - dlg.GetScrollBar().GetWindow()->GetThumbSize(), 1000);
        EXPECT_TRUE(SaveScreenshot(dlg, "phrase_split"));
        Press(dlg, WXK_RETURN);  // Enter is OK
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(firstSample, static_cast<int16_t>((kSecond / 2) % 30000));
    EXPECT_EQ(windowStart, 1230 - 250);
    ASSERT_EQ(SectionAt(4)->m_lstPhrase.GetCount(), 2);
    const PhraseData a = Capture(*PhraseAt(4, 0)), b = Capture(*PhraseAt(4, 1));
    const uint32_t d = 123 * 3200;  // 123 blocks of 100 ms
    EXPECT_EQ(a.start, kSecond);
    EXPECT_EQ(a.length, d);
    EXPECT_EQ(b.start, kSecond + d);
    EXPECT_EQ(b.length, 15 * kSecond - d);
    EXPECT_EQ(a.pause, 0u);     // measured again: the ramp is loud to its end
    EXPECT_EQ(b.pause, 6400u);  // the old phrase's silence, which the new one ends in
    EXPECT_EQ(b.file, "A000009.wav");
    EXPECT_EQ(b.bytesPerSec, kSecond);
    EXPECT_FALSE(std::filesystem::exists(dir / "PhraseTemp.wav"));
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

// Every stop of Tab, from the dialog's first focus on, shows that it holds the focus: the
// waveform, where the arrows move the cursor, draws a focus frame; the ruler takes none.
TEST_F(PhraseSplit, TabWalksTheWaveformAndTheButtonsFromTheFirstFocusOn) {
    std::vector<int> order;
    bool ruler = true;
    Split([&](CPhraseSplitDlg& dlg) {
        // As when the window system activates the dialog.
        dlg.SetFocus();
        WaitUntil([] { return wxWindow::FindFocus() != nullptr; });
        EXPECT_TRUE(SaveScreenshot(dlg, "phrase_split_first_focus"));
        for (int i = 0; i < 5 && wxWindow::FindFocus(); ++i) {
            wxWindow* focus = wxWindow::FindFocus();
            order.push_back(focus->GetId());
            focus->Navigate(wxNavigationKeyEvent::IsForward);
        }
        ruler = dlg.GetTimeScale()->CanAcceptFocusFromKeyboard();
        // Enter on the waveform is OK, as the dialog's first focus must let it be.
        dlg.GetWaveView()->SetFocus();
        Keys(dlg, WXK_RIGHT, 3);
        Press(dlg, WXK_RETURN);
    });
    EXPECT_EQ(order, (std::vector<int>{CPhraseSplitDlg::IDC_WAVE, CPhraseSplitDlg::IDC_PLAY, wxID_OK, wxID_CANCEL,
                                       CPhraseSplitDlg::IDC_WAVE}));
    EXPECT_FALSE(ruler);
    EXPECT_EQ(SectionAt(4)->m_lstPhrase.GetCount(), 2);
}

TEST_F(PhraseSplit, ThumbLandsOnEvenPositionsAndTheEndsOfThePhraseChangeNothing) {
    const BookData before = Book();
    std::vector<int> starts;
    Split([&](CPhraseSplitDlg& dlg) {
        wxScrollBar* bar = dlg.GetScrollBar().GetWindow();
        for (int track : {137, 138, 999}) {
            wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, bar->GetId(), track, wxHORIZONTAL);
            event.SetEventObject(bar);
            bar->ProcessWindowEvent(event);
            starts.push_back(dlg.GetWindowStart());
        }
        Press(dlg, WXK_PAGEDOWN);
        starts.push_back(dlg.GetWindowStart());
        Press(dlg, WXK_END);
        starts.push_back(dlg.GetCursor());
        Press(dlg, WXK_HOME);
        starts.push_back(dlg.GetCursor());
        CUiScript::ClickButton(dlg, wxID_OK);  // at 0: no split
    });
    EXPECT_EQ(starts, (std::vector<int>{138, 138, 1000, 1000, 1500, 0}));
    Split([&](CPhraseSplitDlg& dlg) {
        Press(dlg, WXK_END);
        CUiScript::ClickButton(dlg, wxID_OK);  // at the phrase's end: no split
    });
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
}

TEST_F(PhraseSplit, PlaysFromTheCursorOnItsOwnPlayerAndStoppingLeavesTheCursorThere) {
    Split([&](CPhraseSplitDlg& dlg) {
        Keys(dlg, WXK_RIGHT, 5);
        Press(dlg, WXK_SPACE);  // play from 0.5 s
        ASSERT_EQ(dlg.GetWavePlayer().GetDeviceState(), kAudioDeviceOpen);
        EXPECT_EQ(view.m_wavePlayer.GetDeviceState(), kAudioNoDevice);
        EXPECT_EQ(FromWx(dlg.FindWindow(CPhraseSplitDlg::IDC_PLAY)->GetLabel()), "STOP");
        card.Complete(3);
        reports.Pump();
        EXPECT_EQ(dlg.GetPlayPosition(), 80);
        // The first sample played is the one under the cursor.
        const std::vector<uint8_t> played = card.Played();
        ASSERT_GE(played.size(), 2u);
        const int16_t first = static_cast<int16_t>(played[0] | played[1] << 8);
        EXPECT_EQ(first, static_cast<int16_t>((kSecond / 2 + 8000) % 30000));
        Keys(dlg, WXK_RIGHT, 3);  // no cursor steps while playing
        Press(dlg, WXK_SPACE);    // stop: the cursor stays where playback was
        EXPECT_EQ(dlg.GetWavePlayer().GetDeviceState(), kAudioNoDevice);
        EXPECT_EQ(dlg.GetCursor(), 80);
    });
}

TEST_F(PhraseSplit, RefusesRatesItCannotHoldAndNeverUsesTheExtraRow) {
    for (uint32_t rate : {96000u, 99u}) {
        PhraseAt(4, 0)->m_nBytesPerSec = rate;
        CUiScript script;
        script.AnswerBox(IDOK);
        view.RunCommand(ID_PHRASE_SPLIT);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"このフレーズの音声形式では分割出来ません。"});
    }
    PhraseAt(4, 0)->m_nBytesPerSec = kSecond;
    phrases.UserClick(1);  // the extra row
    CUiScript script;
    view.RunCommand(ID_PHRASE_SPLIT);
    EXPECT_TRUE(script.Records().empty());
}

// A temporary file left by a split that never ended is no phrase's audio: when the
// phrase's own recording cannot be read, the command says so, naming it, and shows
// nothing.
TEST_F(PhraseSplit, AStaleTemporaryFileIsNeverShownInPlaceOfAnUnreadableRecording) {
    std::filesystem::copy_file(dir / "A000001.wav", dir / "PhraseTemp.wav");
    std::ofstream(dir / "A000009.wav", std::ios::binary | std::ios::trunc) << "not a recording";
    const BookData before = Book();
    CUiScript script;  // a split dialog would be a box too many
    script.AnswerBox(IDOK);
    view.RunCommand(ID_PHRASE_SPLIT);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"ファイルが開けません。\n" + view.m_strProjectFolder + "/A000009.wav"});
    EXPECT_FALSE(std::filesystem::exists(dir / "PhraseTemp.wav"));
    EXPECT_EQ(Book(), before);
}

}  // namespace

namespace {

class SilenceDetect : public PropertiesBook {};

TEST_F(SilenceDetect, MeasuresEveryPhraseAfterYesAndStopsAtTheFirstFileItCannotRead) {
    // The third recording is silent: its phrases end in silence, a partial block counted whole.
    std::filesystem::remove(dir / "A000003.wav");
    {
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(CString((dir / "A000003.wav").string()), MakePcmMono16Format(16000), file), 0);
        std::vector<int16_t> silence(16000);
        file->Write(silence.data(), 32000);
        ASSERT_EQ(writer.Close(file), 0);
    }
    view.m_bSuppressPlay = 1;
    const BookData before = Book();
    EXPECT_EQ(Run(&CKorvaneView::OnSilenceDetect, {IDNO}), Boxes{"?無音時間を検出しますか？"});
    EXPECT_EQ(Book(), before);

    EXPECT_EQ(Run(&CKorvaneView::OnSilenceDetect, {IDYES}), Boxes{"?無音時間を検出しますか？"});
    for (int s = 0; s < 3; ++s)
        for (const auto& p : SectionAt(s)->m_lstPhrase) EXPECT_EQ(p->m_nPause, 0u) << s;
    EXPECT_EQ(PhraseAt(3, 0)->m_nPause, 3u * 3200);  // 8000 bytes: two blocks and a half
    EXPECT_EQ(view.m_nPhraseUndoKind + view.m_nSectionUndoKind, 0);

    std::filesystem::remove(dir / "A000002.WAV");
    PhraseAt(3, 0)->m_nPause = 1;
    const Boxes boxes = Run(&CKorvaneView::OnSilenceDetect, {IDYES, IDOK, IDOK});
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].rfind("!ファイルが開けません。\n", 0), 0u);
    EXPECT_EQ(boxes[2], "!無音時間が取得出来ませんでした。");
    EXPECT_EQ(PhraseAt(3, 0)->m_nPause, 1u);  // the run ended before it
}

}  // namespace
