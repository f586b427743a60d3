// Cut, paste and undo of 10000 sections in a book of 20000, on lists without a window
// that keep their row states as the real lists do; and filling and paging through a real
// list window of 20000 phrases (needs a display), with and without a screen reader
// holding on to the list.

#include <benchmark/benchmark.h>

#include <memory>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include "app/KorvaneView.h"
#include "platform/KeyMap.h"
#include "platform/ListStateModel.h"
#include "platform/ReportList.h"

namespace {

class CBenchList : public IListView {
public:
    explicit CBenchList(int id) : m_id(id), m_model(*this, m_states) {}
    // The user clicks `first` and shift-clicks `last`.
    void SelectRange(int first, int last) {
        m_model.UserButtonDown(first, false, false);
        m_model.UserButtonDown(last, false, true);
        m_model.ReportUserChanges();
    }
    int GetDlgCtrlID() const override { return m_id; }
    void SetOwner(IListViewOwner* owner) override { m_model.SetOwner(owner); }
    int GetItemCount() const override { return m_states.StateRowCount(); }
    void SetItemCountEx(int count) override {
        m_states.Resize(count);
        m_model.RowCountChanged();
    }
    bool DeleteAllItems() override {
        m_states.Resize(0);
        m_model.AllRowsDeleted();
        return true;
    }
    unsigned GetItemState(int item, unsigned mask) const override { return m_model.GetItemState(item, mask); }
    bool SetItemState(int item, unsigned state, unsigned mask) override { return m_model.SetItemState(item, state, mask); }
    int GetNextItem(int start, unsigned flags) const override { return m_model.GetNextItem(start, flags); }
    int GetSelectedCount() const override { return m_model.GetSelectedCount(); }
    int GetSelectionMark() const override { return m_model.GetSelectionMark(); }
    int SetSelectionMark(int item) override { return m_model.SetSelectionMark(item); }
    bool EnsureVisible(int, bool) override { return true; }
    bool RedrawItems(int first, int last) override { return first <= last; }
    void SetRedraw(bool) override {}
    void Invalidate() override {}
    int GetTopIndex() const override { return 0; }
    int GetCountPerPage() const override { return 20; }
    int HitTestItem(int, int) const override { return -1; }
    void GetCursorPos(int& x, int& y) const override { x = y = 0; }
    bool IsControlDown() const override { return false; }
    int InsertColumn(int column, const CString&, int, int) override { return column; }
    int GetColumnCount() const override { return 0; }
    int GetColumnWidth(int) const override { return 0; }
    void SetFocus() override {}
    bool HasFocus() const override { return true; }
    void ShowList(bool) override {}
    void SetListFont(const wxFont&) override {}
    void SendKeyDown(int) override {}
    wxWindow* GetWindow() const override { return nullptr; }

private:
    int m_id;
    CListStateArray m_states;
    CListStateModel m_model;
};

constexpr int kBookSections = 20000;
constexpr int kMoved = 10000;

struct Book {
    CBenchList sections{1000};
    CBenchList phrases{1012};
    CKorvaneView view;

    Book() {
        view.AttachLists(&sections, &phrases);
        for (int s = 0; s < kBookSections; ++s) {
            auto section = std::make_unique<CSectionInformation>();
            for (int p = 0; p < 3; ++p) {
                auto phrase = std::make_unique<CPhraseInformation>();
                phrase->m_nStart = static_cast<uint32_t>(p * 32000);
                phrase->m_nLength = 32000;
                phrase->m_strFileName = "A000001.wav";
                phrase->m_nBytesPerSec = 32000;
                section->m_nSectionTime += 32000;
                section->m_lstPhrase.Add(std::move(phrase));
            }
            view.m_lstSection.Add(std::move(section));
        }
        view.RefreshSectionList(0);
        view.m_hFocusList = &sections;
    }
    void CutMiddle() {
        sections.SelectRange(5000, 5000 + kMoved - 1);
        view.OnEditCut();
    }
    void PasteAtEnd() {
        sections.SelectRange(view.m_lstSection.GetCount(), view.m_lstSection.GetCount());
        view.OnEditPaste();
    }
};

void BM_Cut10000Sections(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto book = std::make_unique<Book>();
        book->sections.SelectRange(5000, 5000 + kMoved - 1);
        state.ResumeTiming();
        book->view.OnEditCut();
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}

void BM_Paste10000Sections(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto book = std::make_unique<Book>();
        book->CutMiddle();
        book->sections.SelectRange(100, 100);
        state.ResumeTiming();
        book->view.OnEditPaste();
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}

void BM_UndoCut10000Sections(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto book = std::make_unique<Book>();
        book->CutMiddle();
        state.ResumeTiming();
        book->view.OnEditUndo();
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}

void BM_UndoPaste10000Sections(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto book = std::make_unique<Book>();
        book->CutMiddle();
        book->PasteAtEnd();
        state.ResumeTiming();
        book->view.OnEditUndo();
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}

bool StartToolkit() {
    static const bool started = [] {
        wxApp::SetInstance(new wxApp);
        static int argc = 1;
        static char arg0[] = "edit_bench";
        static char* argv[] = {arg0, nullptr};
        return wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    }();
    return started;
}

// Texts like the phrase list's, formatted on every request as the view does.
class CPhraseTexts : public IListViewOwner {
public:
    CString OnGetItemText(IListView&, int item, int column) override {
        if (item >= kListPhrases) return CString();
        switch (column) {
        case 0: return CString::Formatted("%d", item + 1);
        case 1: return CString::Formatted("%.1f", 1.0 + item % 7);
        case 2: return CString::Formatted("%.1f", 0.1 * (item % 5));
        case 6: return "A000001.wav";
        default: return CString();
        }
    }
    void OnItemChanged(IListView&, int, unsigned, unsigned) override {}
    static constexpr int kListPhrases = 20000;
};

// A shown phrase list window; with `reader`, its table has been asked for, with the
// cells of its first rows, as a screen reader that has looked at it holds them.
struct ListWindow {
    wxFrame* frame = nullptr;
    CReportList* list = nullptr;
    CPhraseTexts texts;

    explicit ListWindow(bool reader) {
        frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("bench"), wxPoint(0, 0), wxSize(900, 700));
        list = new CReportList(frame, 1012);
        list->SetSize(0, 0, 880, 660);
        list->SetOwner(&texts);
        const char* captions[8] = {"フレーズ", "長さ", "無音", "グループ", "ページ", "マーク", "ファイル", "コメント"};
        for (int c = 0; c < 8; ++c) list->InsertColumn(c, captions[c], LVCFMT_LEFT, 100);
        list->SetAccessibleName("フレーズ");
        frame->Show();
        Pump();
        if (reader) {
            AtkObject* table = gtk_widget_get_accessible(static_cast<GtkWidget*>(list->GetHandle()));
            list->SetItemCountEx(CPhraseTexts::kListPhrases + 1);
            for (int row = 0; row < 30; ++row)
                for (int c = 0; c < 8; ++c) {
                    AtkObject* cell = atk_table_ref_at(ATK_TABLE(table), row, c);
                    atk_object_get_name(cell);
                    g_object_unref(cell);
                }
        }
    }
    ~ListWindow() {
        frame->Destroy();
        Pump();
    }
    static void Pump() {
        for (int i = 0; i < 3; ++i) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->Yield(true);
        }
    }
    // As the view refreshes the phrase list: 20000 rows and the extra one, row 0 selected.
    void Fill() {
        list->SetRedraw(false);
        list->DeleteAllItems();
        list->SetItemCountEx(CPhraseTexts::kListPhrases + 1);
        list->SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        list->EnsureVisible(0, false);
        list->SetRedraw(true);
        list->Update();
        Pump();
    }
};

// Filling the list and drawing its first page.
void BM_FillPhraseList20000(benchmark::State& state) {
    if (!StartToolkit()) {
        state.SkipWithError("no display");
        return;
    }
    ListWindow window(state.range(0) != 0);
    for (auto _ : state) window.Fill();
}

// Page Down from the first row to the last, each page drawn and every move told.
void BM_PageThroughPhraseList20000(benchmark::State& state) {
    if (!StartToolkit()) {
        state.SkipWithError("no display");
        return;
    }
    ListWindow window(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        window.Fill();
        state.ResumeTiming();
        int pages = 0;
        while (window.list->GetNextItem(-1, LVNI_FOCUSED) < CPhraseTexts::kListPhrases) {
            window.list->SendKeyDown(VK_NEXT);
            window.list->Update();
            ListWindow::Pump();
            ++pages;
        }
        state.counters["pages"] = pages;
    }
}

}  // namespace

BENCHMARK(BM_FillPhraseList20000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PageThroughPhraseList20000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Cut10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Paste10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UndoCut10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UndoPaste10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
