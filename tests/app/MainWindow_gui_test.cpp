#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>

#include "Accessibility.h"
#include "EditorWindowFixture.h"
#include "Screenshot.h"
#include "WxTestApp.h"
#include "app/AboutDlg.h"
#include "app/AppStrings.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/CodePage.h"
#include "platform/ReportList.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Centre();
        frame->Maximize(true);
        frame->Show(true);
        WaitUntilPainted(*view);
    }
    void TearDown() override {
        if (frame) frame->Destroy();
        WaitUntilGone(frame);
    }
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(MainWindow, TitleButtonsListsAndTheBlackStatusArea) {
    EXPECT_EQ(FromWx(frame->GetTitle()), "Tolvane Zavi");
    view->m_strProjectFile = "/home/user/本/Korvane.ncc";
    // The title follows at the next painting, which the window system does in its own
    // time (and only once the window is on the screen).
    const CString titled = "Tolvane Zavi - /home/user/本/Korvane.ncc";
    WaitUntil([&] {
        view->Refresh();
        view->Update();
        return FromWx(frame->GetTitle()) == titled;
    });
    EXPECT_EQ(FromWx(frame->GetTitle()), titled);
    EXPECT_FALSE(frame->HasFlag(wxRESIZE_BORDER));
    EXPECT_TRUE(frame->HasFlag(wxMINIMIZE_BOX) && frame->HasFlag(wxMAXIMIZE_BOX));

    const char* keys[11] = {"(Q)", "(W)", "(G)", "(P)", "(M)", "(E)", "(R)", "(D)", "(H)", "(C)", "(V)"};
    for (int i = 0; i < 11; ++i) {
        auto* button = wxDynamicCast(view->FindWindow(IDC_BUTTON_LEVELUP + i), wxButton);
        auto* key = wxDynamicCast(view->FindWindow(IDC_STATIC_KEY_FIRST + i), wxStaticText);
        ASSERT_TRUE(button && key) << i;
        EXPECT_FALSE(button->IsEnabled()) << i;
        EXPECT_TRUE(button->GetBitmap().IsOk()) << i;
        EXPECT_EQ(FromWx(key->GetLabel()), keys[i]);
    }
    view->EnableButtons();
    EXPECT_TRUE(view->FindWindow(IDC_BUTTON_TAIL)->IsEnabled());

    auto* sections = wxDynamicCast(view->FindWindow(IDC_LIST_SECTION), wxListCtrl);
    auto* phrases = wxDynamicCast(view->FindWindow(IDC_LIST_PHRASE), wxListCtrl);
    ASSERT_TRUE(sections && phrases);
    EXPECT_TRUE(sections->HasFlag(wxLC_VIRTUAL));
    EXPECT_EQ(sections->GetColumnCount(), 7);
    EXPECT_EQ(phrases->GetColumnCount(), 8);

    for (int id : {1020, 1013, 1014, 1034, 1021, 1015, 1016, 1035, 1022, 1017, 1036, 1037, 1040, 1039}) {
        wxWindow* w = view->FindWindow(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->GetBackgroundColour(), *wxBLACK) << id;
        EXPECT_EQ(w->GetForegroundColour(), *wxWHITE) << id;
    }
}

// The buttons show pictures only: a screen reader reads each by its caption, and tells
// the key shown under it (its action's key binding, and in its description).
TEST_F(MainWindow, ScreenReaderReadsEachButtonByItsCaption) {
    if (!OnPrivateAccessibilityBus()) return;
    constexpr const char* kButtons = R"PY(
for node in walk(application(int(sys.argv[1]))):
    if node.get_role() == Atspi.Role.PUSH_BUTTON:
        print("button=%s|%s|%s" % (node.get_name(), node.get_key_binding(0), node.get_description()))
    elif node.get_name() in sys.argv[2:]:
        focusable = node.get_state_set().contains(Atspi.StateType.FOCUSABLE)
        print("picture=" + node.get_name() + ("|focusable" if focusable else ""))
)PY";
    // The level meter and its scale are pictures: named, and no stop for Tab.
    const std::vector<std::string> pictures = {Cp932ToUtf8("レベルスケール"), Cp932ToUtf8("レベルメーター")};
    const std::string output =
        RunAccessibilityScriptPumping(kButtons, {std::to_string(::getpid()), pictures[0], pictures[1]});
    EXPECT_EQ(AccessibilityValues(output, "picture"), pictures) << output;
    std::vector<std::string> expected;
    for (const char* button : {"レベルUp|Q|Qキー", "レベルDown|W|Wキー", "グループ|G|Gキー", "ページ|P|Pキー", "マーク|M|Mキー",
                               "BACK|E|Eキー", "NEXT|R|Rキー", "Play|D|Dキー", "Stop|H|Hキー", "Head|C|Cキー", "Tail|V|Vキー"})
        expected.push_back(Cp932ToUtf8(button));
    EXPECT_EQ(AccessibilityValues(output, "button"), expected) << output;
}

TEST_F(MainWindow, LayoutFollowsTheClientSize) {
    auto rect = [&](int id) { return view->FindWindow(id)->GetRect(); };
    for (wxSize size : {wxSize(800, 555), wxSize(1234, 901)}) {
        view->LayoutControls(size.x, size.y);
        const int W = size.x, H = size.y, h2 = H / 2;
        EXPECT_EQ(rect(IDC_LIST_SECTION), wxRect(5, 5, W - 10, h2 - 65));
        EXPECT_EQ(rect(IDC_LIST_PHRASE), wxRect(5, h2 + 15, W - 10, h2 - 65));
        EXPECT_EQ(rect(IDC_BUTTON_TAIL), wxRect(7 + 47 * 10, h2 - 55, 44, 41));
        EXPECT_EQ(rect(IDC_STATIC_SECTION_COUNT), wxRect(W - 68, h2 - 53, 60, 26));
        EXPECT_EQ(rect(IDC_STATIC_LEVEL_METER), wxRect(36, H - 26, 324, 15));
    }
}

// The picture is kept in the build folder for a person to look at; the test only checks
// that it was taken and is not empty.
TEST_F(MainWindow, ScreenshotOfTheEmptyEditor) {
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    const std::filesystem::path png = dir / "main_window.png";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(png);
    frame->Raise();
    WaitUntilPainted(*frame);
    ASSERT_EQ(std::system(("import -window root '" + png.string() + "' 2>/dev/null").c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists(png));
    EXPECT_GT(std::filesystem::file_size(png), 2000u);
}

// The About box says only what is so: the MP3 coding is the program's own and complete.
TEST_F(MainWindow, TheAboutBoxAndItsPicture) {
    CAboutDlg dlg(frame);
    dlg.m_strTitle = g_strProductTitle;
    dlg.TransferDataToWindow();
    dlg.Show();
    dlg.Raise();
    WaitUntilPainted(dlg);
    const wxString notice = wxStaticCast(dlg.FindWindow(1106), wxStaticText)->GetLabel();
    EXPECT_EQ(notice.Find(ToWx("まだ")), wxNOT_FOUND) << notice.utf8_str();
    EXPECT_EQ(FromWx(wxStaticCast(dlg.FindWindow(1107), wxStaticText)->GetLabel()), g_strProductTitle);
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const std::filesystem::path png = dir / "about_box.png";
    std::filesystem::remove(png);
    const wxRect r = dlg.GetScreenRect();
    const std::string crop = std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                             std::to_string(r.y);
    EXPECT_EQ(std::system(("import -window root -crop " + crop + " '" + png.string() + "' 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(png));
    dlg.Hide();
}

// Reads the two lists of the process `pid` from the accessibility bus as a screen reader
// does, then, for each step of argv[2] ("step/table/until", comma-separated), asks the
// program to take the step ("do=step") and listens until the table tells the move
// ("active": its active descendant changed) or a changed text ("name"), printing what
// arrived and what the table then says. Each line is "key=step|values".
constexpr const char* kReadLists = R"PY(
pid = int(sys.argv[1])
steps = [s.split("/") for s in sys.argv[2].split(",")]

def walk(node, depth=0):
    if node is None or depth > 10:
        return
    yield node
    if node.get_role() == Atspi.Role.TABLE:
        return
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)

def find_tables():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return {n.get_name(): n for n in walk(app) if n.get_role() == Atspi.Role.TABLE}
    return {}

deadline = time.time() + 30
tables = find_tables()
while len(tables) < 2 and time.time() < deadline:
    time.sleep(0.1)
    tables = find_tables()
if len(tables) < 2:
    print("tables=" + "/".join(sorted(tables)))
    sys.exit(0)

def row_texts(table, row):
    return "/".join(table.get_accessible_at(row, c).get_name() for c in range(table.get_n_columns()))

def selected(table):
    return " ".join(str(r) for r in table.get_selected_rows())

def place(cell):
    table = cell.get_parent()
    n = table.get_n_columns()
    i = cell.get_index_in_parent()
    return table.get_name() + ":" + str(i // n - 1) + "," + str(i % n)

for name, t in sorted(tables.items()):
    print("table=" + name + "|" + t.get_role_name() + "|" + str(t.get_n_rows()) + "|" + str(t.get_n_columns()))
    print("headers=" + name + "|" + "/".join(t.get_column_header(c).get_name() for c in range(t.get_n_columns())))
    print("row0=" + name + "|" + row_texts(t, 0))
    print("selected=" + name + "|" + selected(t))
    cell = t.get_accessible_at(0, 0)
    states = cell.get_state_set()
    box = cell.get_extents(Atspi.CoordType.SCREEN)
    whole = t.get_extents(Atspi.CoordType.SCREEN)
    inside = whole.x <= box.x and box.x + box.width <= whole.x + whole.width and whole.y < box.y and box.height > 0
    print("cell0=" + name + "|" + cell.get_role_name() + "|" + str(states.contains(Atspi.StateType.SELECTED)) +
          "|" + str(states.contains(Atspi.StateType.SHOWING)) + "|" + str(inside))
    # Each cell's index leads back to its row and column.
    back = lambda i: str(t.get_row_at_index(i)) + "," + str(t.get_column_at_index(i))
    print("lookups=" + name + "|" + " ".join(back(t.get_index_at(r, c)) for r, c in [(0, 0), (2, 5), (3, 6)]))
sys.stdout.flush()

# A cell of a row that goes away while a screen reader holds it.
held = tables[sys.argv[3]].get_accessible_at(2, 0)
def held_state():
    try:
        return "defunct" if held.get_state_set().contains(Atspi.StateType.DEFUNCT) else "live:" + held.get_name()
    except Exception:
        return "defunct"

log = []
def on_event(e):
    try:
        source = e.source
        if source.get_role() == Atspi.Role.TABLE:
            where = source.get_name()
        elif source.get_parent() is not None and source.get_parent().get_role() == Atspi.Role.TABLE:
            where = place(source)
        else:
            return
        item = e.type + "@" + where
        if e.type.startswith("object:state-changed"):
            item += "=" + str(e.detail1)
        if isinstance(e.any_data, Atspi.Accessible):
            item += ">" + place(e.any_data) + ":" + e.any_data.get_name()
        log.append(item)
    except Exception as x:
        log.append("error " + str(x))

listener = Atspi.EventListener.new(on_event)
for kind in ["object:active-descendant-changed", "object:selection-changed", "object:state-changed:selected",
             "object:state-changed:focused", "object:property-change:accessible-name", "object:model-changed"]:
    listener.register(kind)
context = GLib.MainContext.default()

def pump_until(done, seconds):
    end = time.time() + seconds
    while not done() and time.time() < end:
        if not context.iteration(False):
            time.sleep(0.01)
    return done()

# The program hears of a new listener in its own time: it is asked to rename a table
# until the listener hears it.
heard = lambda: any(x.startswith("object:property-change:accessible-name@") for x in log)
for _ in range(60):
    print("do=probe", flush=True)
    if pump_until(heard, 0.5):
        break
print("probe=" + str(heard()))

# A move may pass through other rows first (a list filled anew): a table has settled once
# the row now selected in it (the last, when a block grows down) has been made its active one.
def settled(name):
    rows = tables[name].get_selected_rows()
    return bool(rows) and any(
        x.startswith("object:active-descendant-changed@" + name + ">" + name + ":" + str(rows[-1]) + ",0:") for x in log)

for step, name, until, *also in steps:
    del log[:]
    print("do=" + step, flush=True)
    table = tables[name]
    if until == "active":
        done = lambda: all(settled(t) for t in [name] + also)
    else:
        done = lambda: any(x.startswith("object:property-change:accessible-name@" + name + ":") for x in log)
    pump_until(done, 20)
    print("events=" + step + "|" + ";".join(log))
    print("selected=" + step + "|" + selected(table))
    rows = table.get_selected_rows()
    print("texts=" + step + "|" + (row_texts(table, rows[0]) if rows else ""))
    print("phrases=" + step + "|" + str(tables[sys.argv[3]].get_n_rows()))
    print("held=" + step + "|" + held_state())
    flags = lambda selected: "".join(str(int(selected(r))) for r in range(table.get_n_rows()))
    print("chosen=" + step + "|" + str(table.get_n_selected_children()) + "|" +
          " ".join(place(table.get_selected_child(i)) for i in range(table.get_n_selected_children())) + "|" +
          flags(lambda r: table.is_child_selected(table.get_index_at(r, 0))) + "|" + flags(table.is_row_selected) + "|" +
          flags(lambda r: table.is_selected(r, 1)))
print("end", flush=True)
)PY";

// Lines "key=first|rest" of `output`, as first -> rest.
std::map<std::string, std::string> Lines(const std::string& output, const std::string& key) {
    std::map<std::string, std::string> values;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + "=", 0) != 0) continue;
        const std::string rest = line.substr(key.size() + 1);
        const size_t bar = rest.find('|');
        values[rest.substr(0, bar)] = bar == std::string::npos ? "" : rest.substr(bar + 1);
    }
    return values;
}

// The test's texts are compiled in the program's code page; the bus speaks UTF-8.
std::string U(const char* text) { return Cp932ToUtf8(CString(text)); }

bool Has(const std::string& events, const std::string& event) {
    return (";" + events + ";").find(";" + event + ";") != std::string::npos;
}

class ListsForScreenReaders : public EditorWindow {
protected:
    // Three sections of three phrases each.
    void SetUp() override {
        EditorWindow::SetUp();
        OpenThreeSections(3, 8000);
    }
    void KeyOnList(IListView* list, int keyCode, bool shift = false) {
        wxWindow* rows = dynamic_cast<CReportList*>(list)->GetRowsWindow();
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = keyCode;
        event.SetShiftDown(shift);
        event.SetEventObject(rows);
        rows->GetEventHandler()->ProcessEvent(event);
        RunQueuedEvents();
    }
    void Step(const std::string& step) {
        if (step == "probe") dynamic_cast<CReportList*>(view->m_listSection)->SetAccessibleName("セクション");
        if (step == "down") KeyOnList(view->m_listSection, WXK_DOWN);
        if (step == "end") KeyOnList(view->m_listSection, WXK_END);
        if (step == "home") KeyOnList(view->m_listSection, WXK_HOME);
        if (step == "R") Press('R');
        if (step == "W") Press('W');
        if (step == "tab") {  // from the last button into the phrase list
            view->m_btnTail->SetFocus();
            view->m_btnTail->Navigate();
        }
        if (step == "shift-down") KeyOnList(view->m_listPhrase, WXK_DOWN, true);
    }
};

// Both lists are tables a screen reader reads row by row, and every move of their
// selection reaches it. The bus is private to this run (see MessageBoxGui).
TEST_F(ListsForScreenReaders, BothListsAreTablesWhoseRowsAndMovesAScreenReaderGets) {
    if (!OnPrivateAccessibilityBus()) return;
    Focus(view->m_listSection);
    std::string output;
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        const std::string sections = U("セクション"), phrases = U("フレーズ");
        output = RunAccessibilityScript(
            kReadLists,
            {std::to_string(::getpid()),
             "down/" + sections + "/active,end/" + sections + "/active,home/" + sections + "/active/" + phrases + ",R/" + phrases +
                 "/active,W/" + sections + "/name,tab/" + phrases + "/active,shift-down/" + phrases + "/active",
             phrases},
            [this](const std::string& line) {
                if (line.rfind("do=", 0) == 0) wxTheApp->CallAfter([this, step = line.substr(3)] { Step(step); });
            });
        finished = true;
    });
    WaitUntil([&] { return finished.load(); }, 240);
    reader.join();
    ASSERT_NE(output.find("\nend"), std::string::npos) << output;
    SaveScreenshot(*frame, "main_window_lists");  // a picture for a person to look at, not a check

    // Named after the labels beside them; a row per record and the extra row.
    const auto tables = Lines(output, "table");
    EXPECT_EQ(tables.at(U("セクション")), "table|4|7") << output;
    EXPECT_EQ(tables.at(U("フレーズ")), "table|4|8") << output;
    const auto headers = Lines(output, "headers");
    EXPECT_EQ(headers.at(U("セクション")), U("セクション/レベル/見出し/フレーズ/長さ/ページ/コメント"));
    EXPECT_EQ(headers.at(U("フレーズ")), U("フレーズ/長さ/無音/グループ/ページ/マーク/ファイル/コメント"));
    const auto row0 = Lines(output, "row0");
    EXPECT_EQ(row0.at(U("セクション")), U("1/1/章1/3/00:00:03//")) << output;
    EXPECT_EQ(row0.at(U("フレーズ")), U("1/1.0/0.2////A000001.wav/")) << output;
    // Row 0 is selected and on screen, below the column headers.
    EXPECT_EQ(Lines(output, "cell0").at(U("セクション")), "table cell|True|True|True");
    EXPECT_EQ(Lines(output, "cell0").at(U("フレーズ")), "table cell|True|True|True");
    EXPECT_EQ(Lines(output, "probe").count("True"), 1u) << output;
    EXPECT_EQ(Lines(output, "lookups").at(U("セクション")), "0,0 2,5 3,6");
    EXPECT_EQ(Lines(output, "lookups").at(U("フレーズ")), "0,0 2,5 3,6");

    // Each move tells the newly selected row and makes it the active one.
    const auto events = Lines(output, "events");
    const auto selected = Lines(output, "selected");
    const auto texts = Lines(output, "texts");
    const auto phraseRows = Lines(output, "phrases");
    const auto held = Lines(output, "held");
    const struct {
        const char* step;
        const char* table;
        const char* selected;
        const char* active;  // cell told as the active descendant
        const char* texts;   // of the selected row
        const char* phrases;
        const char* held;  // the phrase cell at row 2 taken before the moves
    } moves[] = {
        {"down", "セクション", "1", "1,0:2", "2/1/章2/3/00:00:03//", "4", "live:3"},
        {"end", "セクション", "3", "3,0:", "//////", "0", "defunct"},
        {"home", "セクション", "0", "0,0:1", "1/1/章1/3/00:00:03//", "4", "defunct"},
        {"R", "フレーズ", "1", "1,0:2", "2/1.0/0.2////A000001.wav/", "4", "defunct"},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.step);
        const std::string table = U(m.table);
        const std::string& told = events.at(m.step);
        EXPECT_TRUE(Has(told, "object:active-descendant-changed@" + table + ">" + table + ":" + m.active)) << told;
        EXPECT_TRUE(Has(told, "object:selection-changed@" + table)) << told;
        EXPECT_TRUE(Has(told, "object:state-changed:selected@" + table + ":" + m.selected + ",0=1")) << told;
        EXPECT_TRUE(Has(told, "object:state-changed:focused@" + table + ":" + m.selected + ",0=1")) << told;
        EXPECT_EQ(selected.at(m.step), m.selected);
        EXPECT_EQ(texts.at(m.step), U(m.texts));
        EXPECT_EQ(phraseRows.at(m.step), m.phrases);
        EXPECT_EQ(held.at(m.step), m.held);
    }
    // The phrase list, refreshed by the program for the section moved to, tells its row too.
    EXPECT_TRUE(Has(events.at("home"), "object:active-descendant-changed@" + U("フレーズ") + ">" + U("フレーズ") + ":0,0:1"))
        << events.at("home");
    // It told its new row count, too (the end row had emptied it).
    EXPECT_TRUE(Has(events.at("home"), "object:model-changed@" + U("フレーズ"))) << events.at("home");
    // Tab into a list names its current row, not only the table.
    EXPECT_TRUE(Has(events.at("tab"), "object:active-descendant-changed@" + U("フレーズ") + ">" + U("フレーズ") + ":1,0:2"))
        << events.at("tab");
    // Shift+Down makes a block of two rows: its second is the second selected child.
    EXPECT_EQ(Lines(output, "chosen").at("shift-down"), U("2|フレーズ:1,0 フレーズ:2,0|0110|0110|0110"));
    // The row left is told unselected.
    EXPECT_TRUE(Has(events.at("down"), "object:state-changed:selected@" + U("セクション") + ":0,0=0")) << events.at("down");
    // A changed text is told for the cell that shows it.
    EXPECT_TRUE(Has(events.at("W"), "object:property-change:accessible-name@" + U("セクション") + ":0,1")) << events.at("W");
    EXPECT_EQ(selected.at("W"), "0");
    EXPECT_EQ(texts.at("W"), U("1/2/　章1/3/00:00:03//"));
}

// The page keys move by the rows shown whole, as the original's lists do, whether the
// rows end at the bottom edge or one is cut off there.
class ListPages : public ListsForScreenReaders {};

TEST_F(ListPages, PageDownAndPageUpMoveByTheRowsShownWhole) {
    OpenThreeSections(60);
    for (int s = 3; s < 60; ++s) view->m_lstSection.Add(std::make_unique<CSectionInformation>());
    view->RefreshSectionList(0);
    auto rows = [](IListView* list) { return dynamic_cast<CReportList*>(list)->GetRowsWindow()->GetClientSize().y; };
    wxRect line;
    ASSERT_TRUE(dynamic_cast<CReportList*>(view->m_listSection)->GetItemRect(0, line));
    for (int height : {8 * line.height, 7 * line.height + 1, 9 * line.height - 1}) {
        // Both lists grow by half of what the window grows.
        frame->SetClientSize(frame->GetClientSize() + wxSize(0, 2 * (height - rows(view->m_listSection))));
        ASSERT_TRUE(WaitUntil([&] { return rows(view->m_listSection) == height && rows(view->m_listPhrase) == height; }));
        for (IListView* list : {view->m_listPhrase, view->m_listSection}) {
            Focus(list);
            std::vector<int> moves, expected;
            for (int i = 0; i <= 12; ++i) {  // Home, PageDown x6, PageUp x6
                KeyOnList(list, i == 0 ? WXK_HOME : i <= 6 ? WXK_PAGEDOWN : WXK_PAGEUP);
                moves.push_back(list->GetNextItem(-1, LVNI_FOCUSED));
                expected.push_back((i <= 6 ? i : 12 - i) * (height / line.height - 1));
            }
            EXPECT_EQ(moves, expected) << "rows of " << height << " pixels in list " << list->GetDlgCtrlID();
        }
    }
}

}  // namespace
