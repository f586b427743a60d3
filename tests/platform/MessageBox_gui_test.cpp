#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/msgdlg.h>
#include <wx/dcscreen.h>
#include <wx/stattext.h>
#include <wx/tokenzr.h>

#include "Accessibility.h"
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

// Lines of `text`, each with its width in `font`.
std::vector<std::pair<wxString, int>> MeasuredLines(const wxString& text, const wxFont& font) {
    wxScreenDC dc;
    dc.SetFont(font);
    std::vector<std::pair<wxString, int>> lines;
    for (const wxString& line : wxSplit(text, '\n', '\0')) lines.emplace_back(line, dc.GetTextExtent(line).x);
    return lines;
}

TEST_F(MessageBoxGui, LongLinesWrapWithinTheWidthBetweenCharactersOrAtBlanks) {
    const wxFont font = *wxNORMAL_FONT;
    const int width = 200;
    const struct {
        const char* text;
        size_t lines;             // lines after wrapping
        const char* firstLine;    // exactly, where the break is fixed
    } cases[] = {
        {"完了しました。", 1, "完了しました。"},
        {"一行目\n\n三行目", 3, "一行目"},
        // Japanese breaks between characters; a closing mark stays on the line it closes.
        {"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん", 3, nullptr},
        {"abc defgh ijklmnop qrstu vwxyz abcdefg hijk lmnop qrs tuvw xyz abc defg hijkl", 3, nullptr},
        // Latin words between Japanese marks move whole.
        {"項目（SamplePerSec、Channels、Bits、Bitrate、Title、Author、Isbn、Discrimination）", 3, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const wxString text = ToWx(c.text);
        const wxString wrapped = WrapMessageText(text, font, width);
        const auto lines = MeasuredLines(wrapped, font);
        EXPECT_GE(lines.size(), c.lines);
        wxString joined;
        // Without blanks, no break falls inside a Latin word.
        for (size_t i = 1; i < lines.size() && !std::strchr(c.text, ' '); ++i) {
            const wxString& before = lines[i - 1].first;
            const wxString& after = lines[i].first;
            if (!before.empty() && !after.empty()) {
                EXPECT_FALSE(before.Last().IsAscii() && std::isalnum(before.Last().GetValue()) && after[0].IsAscii() &&
                             std::isalnum(after[0].GetValue()))
                    << before.utf8_string() << " / " << after.utf8_string();
            }
        }
        for (const auto& [line, pixels] : lines) {
            EXPECT_LE(pixels, width) << line.utf8_string();
            if (!line.empty()) {
                EXPECT_EQ(ToWx("、。）").Find(line[0]), wxNOT_FOUND) << line.utf8_string();
                EXPECT_NE(line[0], ' ');
            }
            joined += line;
        }
        if (c.firstLine) {
            EXPECT_EQ(lines.size(), c.lines);
            EXPECT_EQ(FromWx(lines[0].first), c.firstLine);
        }
        // Nothing lost: only breaks were put in, blanks at a break taken out.
        wxString plain = text;
        plain.Replace(wxASCII_STR("\n"), wxString());
        plain.Replace(wxASCII_STR(" "), wxString());
        joined.Replace(wxASCII_STR(" "), wxString());
        EXPECT_EQ(joined, plain);
    }
}

// The project file that lacks every key gives the longest line of the program's boxes:
// shown, it wraps inside a box that the screen holds.
TEST_F(MessageBoxGui, AVeryLongMessageWrapsInsideABoxTheScreenHolds) {
    const CString text =
        "プロジェクトファイルが壊れているため開けません。\n/home/user/本\n\nKorvane.ncc：項目がありません（"
        "SamplePerSec、Channels、Bits、Bitrate、Title、Author、Isbn、Discrimination、Publisher、Reader、Editor、"
        "OrgPublisher、OrgPublishDate、PublishDate、Genre、Scheme、SectionCount、WaveImportCount）。";
    wxRect box;
    wxString shown;
    wxFont font;
    wxTheApp->CallAfter([&] {
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* dlg = dynamic_cast<wxMessageDialogBase*>(w); dlg && dlg->IsModal()) {
                EXPECT_TRUE(SaveScreenshot(*dlg, "message_box_long"));
                box = dlg->GetScreenRect();
                shown = dlg->GetMessage();
                font = dlg->GetFont();
                dlg->EndModal(wxID_OK);
            }
    });
    EXPECT_EQ(KvMessageBox(nullptr, text, "エラー", MB_OK | MB_ICONSTOP), IDOK);
    const wxRect screen = wxDisplay(static_cast<unsigned>(0)).GetGeometry();
    EXPECT_TRUE(screen.Contains(box)) << box.x << "," << box.y << " " << box.width << "x" << box.height;
    // The text's width and the icon's, the margins and the frame.
    EXPECT_LE(box.width, MessageTextWidth() + 120);
    const auto lines = MeasuredLines(shown, font);
    EXPECT_EQ(lines.size(), 6u) << shown.utf8_string();  // the list of keys takes three
    for (const auto& [line, pixels] : lines) EXPECT_LE(pixels, MessageTextWidth()) << line.utf8_string();
    // The message is the same text with breaks put in.
    shown.Replace(wxASCII_STR("\n"), wxString());
    wxString plain = ToWx(text);
    plain.Replace(wxASCII_STR("\n"), wxString());
    EXPECT_EQ(shown, plain);
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
pid = int(sys.argv[1])

def find_alert():
    for node in walk(application(pid)):
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
    if (!OnPrivateAccessibilityBus()) return;
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
        // The system's Python, which the distribution's bindings serve. The reader runs beside the box's own event loop, which answers the bus; once it
        // has read the box it closes it.
        std::thread reader([&] {
            output = RunAccessibilityScript(kReadAlert, {pid});
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
        EXPECT_EQ(AccessibilityValues(output, "role"), std::vector<std::string>{"alert"}) << output;
        EXPECT_EQ(AccessibilityValues(output, "name"), std::vector<std::string>{Utf8(c.caption)}) << output;
        EXPECT_EQ(AccessibilityValues(output, "label"), std::vector<std::string>{Utf8(c.text)}) << output;
        EXPECT_EQ(AccessibilityValues(output, "icon").size(), 1u) << output;
        std::vector<std::string> buttons;
        for (const auto& b : c.buttons) buttons.push_back(Utf8(b.c_str()));
        EXPECT_EQ(AccessibilityValues(output, "button"), buttons) << output;
    }
}
