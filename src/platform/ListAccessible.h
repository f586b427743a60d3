#pragma once
// What a report list shows, for assistive technology: a table with one column header per
// column and one cell per row and column, as a screen reader expects of a list of rows.
//
// The toolkit's self-drawn list exposes nothing of its rows; this object stands in for
// the list's widgets on the accessibility bus. It is built only when an assistive
// technology asks for it, and its cells only for the rows that are asked for, so a list
// of tens of thousands of rows costs nothing more while nobody reads it.

#include <string>
#include <vector>

#include <wx/gdicmn.h>

// What the accessible asks of its list.
class IListAccessSource {
public:
    virtual ~IListAccessSource() = default;
    virtual int AccRowCount() const = 0;
    virtual int AccColumnCount() const = 0;
    // Texts in UTF-8, as the columns show them.
    virtual std::string AccCellText(int row, int column) const = 0;
    virtual std::string AccColumnCaption(int column) const = 0;
    virtual bool AccIsSelected(int row) const = 0;
    virtual int AccFocusedRow() const = 0;
    // The selected rows, in row order.
    virtual int AccNextSelected(int after) const = 0;
    virtual int AccSelectedCount() const = 0;
    virtual bool AccHasFocus() const = 0;
    virtual bool AccIsShown() const = 0;
    virtual bool AccIsEnabled() const = 0;
    // Screen rectangles; an empty one when the row or column is not on screen.
    virtual wxRect AccListRect() const = 0;
    virtual wxRect AccCellRect(int row, int column) const = 0;
    virtual wxRect AccHeaderRect(int column) const = 0;
};

class CListAccessible {
public:
    // `widgets` are the toolkit widgets (GtkWidget*) that stand for the list: the
    // accessible is handed out for each of them instead of the toolkit's own.
    CListAccessible(IListAccessSource& source, const std::vector<void*>& widgets);
    ~CListAccessible();
    CListAccessible(const CListAccessible&) = delete;
    CListAccessible& operator=(const CListAccessible&) = delete;

    void SetName(const std::string& utf8);
    // Whether an assistive technology has asked for the table (else there is nothing to tell).
    bool IsInUse() const { return m_table != nullptr; }
    // Compares what the list shows now with what was last told and tells the changes:
    // texts, row count, selected and focused rows, the list's focus.
    void Update();

    // For the toolkit glue.
    void* Table();  // AtkObject*, made on first use
    void* CellObject(int row, int column);  // AtkObject*, kept by this; row -1: column header
    IListAccessSource& Source() { return m_source; }
    struct Impl;

private:
    void TrimCells();

    IListAccessSource& m_source;
    std::vector<void*> m_widgets;
    std::string m_name;
    void* m_table = nullptr;
    Impl* m_impl;
};
