#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>

#include "Atspi.h"
#include "Screenshot.h"
#include "TestModalHook.h"
#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

class MessageBoxGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
    void SetUp() override { ASSERT_EQ(CUiScript::Active(), nullptr); }
};

}  // namespace

TEST_F(MessageBoxGui, BoxesAreBuiltWithTheOriginalsButtonsIconsAndJapaneseLabels) {
    const struct {
        long style;
        long buttons;       // toolkit button and default flags expected
        long icon;          // toolkit icon flag expected
        const char* first;  // labels of the buttons, in order
        const char* second;
        const char* third;
    } cases[] = {
        {MB_OK | MB_ICONEXCLAMATION, wxOK, wxICON_WARNING, "OK", nullptr, nullptr},
        {MB_OK, wxOK, wxICON_NONE, "OK", nullptr, nullptr},
        {MB_OKCANCEL | MB_DEFBUTTON2, wxOK | wxCANCEL | wxCANCEL_DEFAULT, wxICON_NONE, "OK", "キャンセル", nullptr},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, wxYES_NO | wxNO_DEFAULT, wxICON_QUESTION, "はい", "いいえ",
         nullptr},
        {MB_YESNOCANCEL | MB_ICONQUESTION, wxYES_NO | wxCANCEL, wxICON_QUESTION, "はい", "いいえ", "キャンセル"},
    };
    const long buttonMask = wxOK | wxCANCEL | wxYES_NO | wxCANCEL_DEFAULT | wxNO_DEFAULT;
    const long iconMask = wxICON_ERROR | wxICON_WARNING | wxICON_INFORMATION | wxICON_QUESTION | wxICON_NONE;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        auto dlg = MakeMessageDialog(nullptr, "本文", "見出し", c.style);
        EXPECT_EQ(FromWx(dlg->GetMessage()), "本文");
        EXPECT_EQ(FromWx(dlg->GetCaption()), "見出し");
        EXPECT_EQ(dlg->GetMessageDialogStyle() & buttonMask, c.buttons);
        EXPECT_EQ(dlg->GetMessageDialogStyle() & iconMask, c.icon);
        const bool yesNo = c.buttons & wxYES_NO;
        EXPECT_EQ(FromWx(yesNo ? dlg->GetYesLabel() : dlg->GetOKLabel()), c.first);
        if (yesNo) {
            EXPECT_EQ(FromWx(dlg->GetNoLabel()), c.second);
        }
        if (const char* cancel = yesNo ? c.third : c.second) {
            EXPECT_EQ(FromWx(dlg->GetCancelLabel()), cancel);
        }
    }
}

TEST_F(MessageBoxGui, WithoutAScriptTheRealBoxIsShownAndClosingItGivesOneOfItsButtons) {
    CString caption, text;
    int answer = wxID_YES;
    TestModalHook hook([&](wxDialog* dialog) {
        auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (!box) return static_cast<int>(wxID_NONE);
        caption = FromWx(box->GetCaption());
        text = FromWx(box->GetMessage());
        return answer;
    });
    EXPECT_EQ(KvMessageBox(nullptr, "Daisy図書を生成しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(caption, "確認");
    EXPECT_EQ(text, "Daisy図書を生成しますか？");
    answer = wxID_CANCEL;
    EXPECT_EQ(KvMessageBox(nullptr, "削除しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(KvMessageBox(nullptr, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(AfxMessageBox("既に起動しています。"), IDOK);
    EXPECT_EQ(caption, "Korvane");
    EXPECT_EQ(hook.entered, 4);
}

namespace {

// Finds the alert of the process `pid` on the accessibility bus (waiting for it up to
// 30 s) and prints what a screen reader gets of it, one "key=value" a line.
constexpr const char* kReadAlert = R"PY(
import sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

pid = int(sys.argv[1])

def walk(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)

def find_alert():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None or app.get_process_id() != pid:
            continue
        for node in walk(app):
            if node.get_role() == Atspi.Role.ALERT and node.get_state_set().contains(Atspi.StateType.SHOWING):
                return node
    return None

deadline = time.time() + 30
alert = find_alert()
while alert is None and time.time() < deadline:
    time.sleep(0.1)
    alert = find_alert()
if alert is None:
    print("role=none")
    sys.exit(0)
print("role=" + alert.get_role_name())
print("name=" + alert.get_name())
for node in walk(alert):
    role = node.get_role()
    if role == Atspi.Role.LABEL and node.get_name():
        print("label=" + node.get_name())
    elif role in (Atspi.Role.ICON, Atspi.Role.IMAGE):
        print("icon")
    elif role == Atspi.Role.PUSH_BUTTON:
        print("button=" + node.get_name())
)PY";

std::string Utf8(const CString& text) { return Cp932ToUtf8(text); }

}  // namespace

// What a screen reader is told of each kind of box, read back through the accessibility
// bus. The bus is private to this run: the test starts itself again under its own
// session bus, so that the toolkit registers there from its start.
TEST_F(MessageBoxGui, EveryKindOfBoxIsAnAlertWhoseTextIconAndButtonsAScreenReaderGets) {
    if (std::string output; RerunUnderPrivateBus("MessageBoxGui.EveryKindOfBoxIsAnAlert*", output)) {
        EXPECT_EQ(output.find("exit status not 0"), std::string::npos) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    const struct {
        long style;
        const char* caption;
        const char* text;
        std::vector<std::string> buttons;
    } cases[] = {
        {MB_OK | MB_ICONSTOP, "エラー", "再生処理でエラーが発生しました", {"OK"}},
        {MB_YESNO | MB_ICONQUESTION, "確認", "書誌情報を上書きしますか？", {"はい", "いいえ"}},
        {MB_OKCANCEL | MB_ICONWARNING, "警告", "変更内容が失われます。", {"OK", "キャンセル"}},
        {MB_OK | MB_ICONINFORMATION, "確認", "完了しました。", {"OK"}},
    };
    const std::string pid = std::to_string(::getpid());
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.text));
        std::string output;
        std::atomic<bool> read{false};
        // The reader runs beside the box's own event loop, which answers the bus; once it
        // has read the box it closes it.
        std::thread reader([&] {
            output = RunAtspiScript(kReadAlert, pid);
            read = true;
            wxTheApp->CallAfter([&c] {
                for (wxWindow* w : wxTopLevelWindows)
                    if (auto* box = dynamic_cast<wxDialog*>(w); box && box->IsModal()) {
                        const long icon = c.style & MB_ICONMASK;
                        EXPECT_TRUE(SaveScreenshot(*box, "message_box_" + std::to_string(icon)));
                        box->EndModal(wxID_CANCEL);
                    }
            });
        });
        KvMessageBox(nullptr, c.text, c.caption, c.style);
        reader.join();
        ASSERT_TRUE(read);
        EXPECT_EQ(AtspiValues(output, "role"), std::vector<std::string>{"alert"}) << output;
        EXPECT_EQ(AtspiValues(output, "name"), std::vector<std::string>{Utf8(c.caption)}) << output;
        EXPECT_EQ(AtspiValues(output, "label"), std::vector<std::string>{Utf8(c.text)}) << output;
        EXPECT_EQ(AtspiValues(output, "icon").size(), 1u) << output;
        std::vector<std::string> buttons;
        for (const auto& b : c.buttons) buttons.push_back(Utf8(b.c_str()));
        EXPECT_EQ(AtspiValues(output, "button"), buttons) << output;
    }
}
