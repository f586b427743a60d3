// Cut, paste and undo of 10000 sections in a book of 20000, on lists without a window
// that keep their row states as the real lists do.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/KorvaneView.h"
#include "platform/ListStateModel.h"

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

}  // namespace

BENCHMARK(BM_Cut10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Paste10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UndoCut10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UndoPaste10000Sections)->Unit(benchmark::kMillisecond)->Iterations(10);
