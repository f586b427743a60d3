// The new-project and pause dialogs as a keyboard user meets them: Enter chooses OK even
// with a drop-down focused, and no drop-down cuts its entries off.

#include <gtest/gtest.h>

#include <wx/choice.h>

#include "Screenshot.h"
#include "WxTestApp.h"
#include "app/NewProjectDlg.h"
#include "app/PauseSetDlg.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

class SettingsDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

void PressKey(wxDialog& dlg, int keyCode) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = keyCode;
    event.SetEventObject(&dlg);
    dlg.ProcessWindowEvent(event);
}

// Every entry of the drop-down fits between its left edge and its arrow.
void ExpectEntriesFit(wxChoice& choice) {
    int widest = 0;
    for (unsigned i = 0; i < choice.GetCount(); ++i)
        widest = std::max(widest, choice.GetTextExtent(choice.GetString(i)).x);
    EXPECT_GE(choice.GetSize().x, widest + 30) << choice.GetId();
    EXPECT_LE(choice.GetRect().GetRight(), choice.GetParent()->GetClientSize().x) << choice.GetId();
}

TEST_F(SettingsDialogs, EnterOnTheFormatDropDownCreatesWithTheChosenFormat) {
    CNewProjectDlg dlg(nullptr);
    CUiScript script;
    script.AnswerDialog([&](wxDialog& d) {
        ExpectEntriesFit(*dlg.GetFormatList());
        EXPECT_TRUE(SaveScreenshot(d, "new_project"));
        dlg.GetFormatList()->SetFocus();
        dlg.GetFormatList()->SetSelection(3);
        PressKey(d, WXK_RETURN);
        return IDCANCEL;  // not reached when Enter ended the dialog
    });
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_EQ(dlg.m_nFormat, 3);
}

TEST_F(SettingsDialogs, EnterInThePauseDialogIsOkAndOnCancelItCancels) {
    for (const bool onCancel : {false, true}) {
        CPauseSetDlg dlg(nullptr);
        dlg.m_nPhrasePause = 4;
        dlg.m_nSectionPause = 1;
        dlg.m_nNoiseLevel = 2;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& d) {
            for (wxChoice* c : {dlg.m_cmbPhrasePause, dlg.m_cmbSectionPause, dlg.m_cmbNoiseLevel}) ExpectEntriesFit(*c);
            if (!onCancel) {
                EXPECT_TRUE(SaveScreenshot(d, "pause_settings"));
            }
            wxWindow* focus = onCancel ? d.FindWindow(wxID_CANCEL) : dlg.m_cmbNoiseLevel;
            focus->SetFocus();
            dlg.m_cmbNoiseLevel->SetSelection(0);
            WaitUntil([&] { return wxWindow::FindFocus() == focus; });
            PressKey(d, WXK_RETURN);
            return IDNO;  // not reached when Enter ended the dialog
        });
        EXPECT_EQ(RunModal(dlg), onCancel ? IDCANCEL : IDOK);
        EXPECT_EQ(dlg.m_nNoiseLevel, onCancel ? 2 : 0);
    }
}

}  // namespace

// Every dialog as a screen reader user meets it: Tab walks its controls, and each one the
// focus reaches is read by the label the user sees beside it (or its caption).

#include <unistd.h>

#include "Accessibility.h"
#include "PropertiesFixture.h"
#include "app/AboutDlg.h"
#include "app/BookInfoDlg.h"
#include "app/CommandIds.h"
#include "audio/WaveImportDlg.h"
#include "daisy/DaisyImportDlg.h"

namespace {

// Presses Tab `argv[2]` times in the active window of process `argv[1]`, each time once
// the focus has moved, and prints what a screen reader reads of each control the focus
// reaches: "focus=role|name|description", and the role of its window: "window=role".
constexpr const char* kTabWalk = R"PY(
pid = int(sys.argv[1])
presses = int(sys.argv[2])
state = {"last": None, "count": 0, "timer": 0}
loop = GLib.MainLoop()

def control(node):
    # A drop-down's inner button takes the focus; a screen reader reads the drop-down
    # (the button must carry its name as well).
    if node.get_role() != Atspi.Role.TOGGLE_BUTTON:
        return node
    outer = node.get_parent()
    for _ in range(3):
        if outer is None:
            break
        if outer.get_role() == Atspi.Role.COMBO_BOX:
            return outer if outer.get_name() == node.get_name() else node
        outer = outer.get_parent()
    return node

def stuck():
    print("stuck", flush=True)
    loop.quit()
    return False

def press():
    if state["timer"]:
        GLib.source_remove(state["timer"])
    if state["count"] == presses:
        loop.quit()
        return False
    state["count"] += 1
    state["timer"] = GLib.timeout_add_seconds(20, stuck)
    Atspi.generate_keyboard_event(0xff09, None, Atspi.KeySynthType.SYM)
    return False

def on_focus(event):
    if event.detail1 != 1:
        return
    try:
        if event.source.get_process_id() != pid:
            return
        node = control(event.source)
        if node.get_role() in (Atspi.Role.FRAME, Atspi.Role.DIALOG, Atspi.Role.WINDOW, Atspi.Role.APPLICATION):
            return
        line = "focus=%s|%s|%s" % (node.get_role_name(), node.get_name() or "", node.get_description() or "")
        # A label related to the control must be the one that names it.
        for relation in node.get_relation_set():
            if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
                for k in range(relation.get_n_targets()):
                    label = relation.get_target(k).get_name() or ""
                    if label != (node.get_name() or ""):
                        line += "\nmislabelled=%s|%s" % (node.get_name() or "", label)
        window = node
        while window.get_parent() is not None and window.get_parent().get_role() != Atspi.Role.APPLICATION:
            window = window.get_parent()
        line += "\nwindow=" + window.get_role_name()
    except GLib.Error:
        return
    if node == state["last"]:
        return
    state["last"] = node
    print(line, flush=True)
    GLib.idle_add(press)

listener = Atspi.EventListener.new(on_focus)
listener.register("object:state-changed:focused")
GLib.idle_add(press)
loop.run()
)PY";

// One control as a screen reader reads it: "role|name|description", UTF-8.
std::string Read(const char* role, const CString& name, const CString& description = "") {
    return std::string(role) + "|" + Cp932ToUtf8(name) + "|" + Cp932ToUtf8(description);
}

// The controls Tab reaches in `dlg`, in Tab order from the one after the first focus;
// the walk goes once around. A control whose related label is not its name adds a line,
// and so does one in a window that is not read as a dialog.
std::vector<std::string> WalkWithTab(wxDialog& dlg, size_t controls) {
    dlg.Raise();  // without a window manager the toolkit gives it the keyboard itself
    WaitUntil([&] { return wxWindow::FindFocus() != nullptr || dlg.IsActive(); }, 10);
    const std::string output =
        RunAccessibilityScriptPumping(kTabWalk, {std::to_string(::getpid()), std::to_string(controls)});
    std::vector<std::string> reached = AccessibilityValues(output, "focus");
    if (output.find("stuck") != std::string::npos || reached.size() != controls) reached.push_back(output);
    for (const auto& wrong : AccessibilityValues(output, "mislabelled")) reached.push_back("labelled by " + wrong);
    for (const auto& window : AccessibilityValues(output, "window"))
        if (window != "dialog") reached.push_back("in a " + window);
    return reached;
}

// `walked` is `expected` taken round from some control on.
bool SameRound(const std::vector<std::string>& expected, std::vector<std::string> walked) {
    if (walked.size() != expected.size()) return false;
    for (size_t i = 0; i < walked.size(); ++i) {
        if (walked == expected) return true;
        std::rotate(walked.begin(), walked.begin() + 1, walked.end());
    }
    return false;
}

class DialogNames : public PropertiesBook {};

TEST_F(DialogNames, EveryControlThatTabReachesIsReadByTheLabelBesideIt) {
    if (!OnPrivateAccessibilityBus()) return;
    // A phrase of 15 s to split, and a section without phrases, whose dialog plays nothing.
    WriteRamp("A000009.wav", 20 * 32000);
    AddSection("長い", 1, 15 * 32000, "A000009.wav", 32000);
    AddSection("空", 0);
    Show();
    const struct {
        const char* title;
        std::function<void()> open;
        std::vector<std::string> controls;  // in Tab order
    } dialogs[] = {
        {"新規作成",
         [] {
             CNewProjectDlg dlg(nullptr);
             RunModal(dlg);
         },
         {Read("combo box", "音声フォーマット"), Read("push button", "OK"), Read("push button", "キャンセル")}},
        {"区切り設定",
         [this] { view.RunCommand(ID_PAUSE_SETTINGS); },
         {Read("combo box", "ポーズ時間", "フレーズ検知"), Read("combo box", "ポーズ時間", "セクション検知"),
          Read("combo box", "ノイズレベル", "ノイズ検知"), Read("push button", "OK"), Read("push button", "キャンセル")}},
        {"書誌情報",
         [this] { view.RunCommand(ID_BOOK_INFO); },
         {Read("text", "タイトル"), Read("text", "著者"), Read("text", "原本発行者"), Read("text", "原本発行年月日"),
          Read("text", "ＩＳＢＮ"), Read("text", "識別名"), Read("text", "DAISY発行者"),
          Read("text", "DAISY発行年月日"), Read("text", "朗読者"), Read("text", "編集者"),
          Read("text", "ジャンルとスキーム", "ジャンル"), Read("text", "ジャンルとスキーム", "スキーム"),
          Read("push button", "OK"), Read("push button", "キャンセル")}},
        {"セクションプロパティ",
         [this] {
             PickSections(5, 5);
             view.RunCommand(ID_PROPERTIES);
         },
         {Read("combo box", "レベル"), Read("push button", "PLAY(F4)"), Read("text", "見出し"),
          Read("text", "開始ページ"), Read("text", "終了ページ"), Read("text", "コメント"),
          Read("push button", "前へ(F2)"), Read("push button", "OK"),
          Read("push button", "キャンセル")}},
        {"フレーズプロパティ",
         [this] {
             Pick(1, 1);  // a manual page: its text can be typed
             view.m_bSuppressPlay = 1;
             view.RunCommand(ID_PROPERTIES);
         },
         {Read("combo box", "ページ"), Read("text", "ページ番号"), Read("combo box", "グループ"),
          Read("combo box", "マーク"), Read("text", "コメント"), Read("push button", "OK"),
          Read("push button", "キャンセル")}},
        {"フレーズ分割",
         [this] {
             Pick(4, 0);
             view.RunCommand(ID_PHRASE_SPLIT);
         },
         {Read("panel", "波形", "分割位置 00：00：00.0"), Read("push button", "PLAY"),
          Read("push button", "OK"), Read("push button", "キャンセル")}},
        {"見出し検索",
         [this] { view.RunCommand(ID_HEADING_SEARCH); },
         {Read("text", "検索文字を入力して下さい"), Read("push button", "検索"), Read("push button", "キャンセル")}},
        {"ページ番号検索",
         [this] { view.RunCommand(ID_PAGE_SEARCH); },
         {Read("text", "ページ番号を入力して下さい"), Read("push button", "検索"), Read("push button", "キャンセル")}},
        {"セクション検索",
         [this] { view.RunCommand(ID_SECTION_SEARCH); },
         {Read("combo box", "セクションレベルを選択して下さい"), Read("push button", "検索"), Read("push button", "キャンセル")}},
        {"音声インポート",
         [] {
             CWaveImportDlg dlg(nullptr);
             RunModal(dlg);
         },
         {Read("table", "インポートする音声ファイル"), Read("push button", "ファイル追加"), Read("push button", "OK"),
          Read("push button", "キャンセル")}},
        {"Daisy図書インポート",
         [] {
             CDaisyImportDlg dlg(nullptr);
             RunModal(dlg);
         },
         {Read("text", "インポートするDaisy図書のNCCファイル"), Read("push button", "参照..."),
          Read("combo box", "自動ページへ変換"), Read("push button", "OK"), Read("push button", "キャンセル")}},
        {"ディスク情報",
         [this] { view.RunCommand(ID_DISC_INFO); },
         {Read("text", "フォーマット"), Read("text", "録音時間"), Read("text", "プロジェクト容量"),
          Read("text", "ドライブ残時間"), Read("text", "ドライブ残容量"), Read("push button", "OK")}},
        {"バージョン情報",
         [] {
             CAboutDlg dlg(nullptr);
             RunModal(dlg);
         },
         {Read("push button", "OK")}},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.title);
        std::vector<std::string> walked;
        CString title;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& dlg) {
            title = FromWx(dlg.GetTitle());
            // A picture for a person to look at, not a check.
            SaveScreenshot(dlg, "dialog_" + Cp932ToUtf8(d.title));
            walked = WalkWithTab(dlg, d.controls.size());
            return IDCANCEL;
        });
        d.open();
        EXPECT_EQ(title, d.title);
        std::string shown;
        for (const auto& w : walked) shown += "\n  " + w;
        EXPECT_TRUE(SameRound(d.controls, walked)) << shown;
    }
}

// Prints the description of the objects of process `argv[1]` named `argv[2]` and the
// names of those named `argv[3]`, each after "key=".
constexpr const char* kReadNamed = R"PY(
for node in walk(application(int(sys.argv[1]))):
    if node.get_name() == sys.argv[2]:
        print("described=" + (node.get_description() or ""))
    if node.get_name() == sys.argv[3]:
        print("named=" + node.get_role_name())
)PY";

// The waveform says where the split falls, and says it anew as the keys move the cursor.
TEST_F(DialogNames, TheWaveformTellsWhereTheSplitFallsAsTheKeysMoveIt) {
    if (!OnPrivateAccessibilityBus()) return;
    WriteRamp("A000009.wav", 20 * 32000);
    AddSection("長い", 1, 15 * 32000, "A000009.wav", 32000);
    Show();
    Pick(4, 0);
    const struct {
        int key, times;
        const char* position;
    } steps[] = {
        {WXK_RIGHT, 12, "分割位置 00：00：01.2"}, {WXK_RIGHT, 111, "分割位置 00：00：12.3"},
        {WXK_LEFT, 3, "分割位置 00：00：12.0"},   {WXK_END, 1, "分割位置 00：00：15.0"},
        {WXK_HOME, 1, "分割位置 00：00：00.0"},
    };
    const std::vector<std::string> names = {std::to_string(::getpid()), Cp932ToUtf8("波形"), Cp932ToUtf8("時間軸")};
    std::vector<std::string> said, expected;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        for (const auto& step : steps) {
            for (int i = 0; i < step.times; ++i) Press(dlg, step.key);
            const std::string output = RunAccessibilityScriptPumping(kReadNamed, names);
            const auto described = AccessibilityValues(output, "described");
            said.push_back(described.size() == 1 ? described[0] : output);
            expected.push_back(Cp932ToUtf8(step.position));
            // The ruler above it is a named picture.
            EXPECT_EQ(AccessibilityValues(output, "named"), std::vector<std::string>{"panel"}) << output;
        }
        return IDCANCEL;
    });
    view.RunCommand(ID_PHRASE_SPLIT);
    EXPECT_EQ(said, expected);
}

}  // namespace
