#include "platform/ListAccessible.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include <atk/atk.h>
#include <gtk/gtk.h>

// The table and its cells are objects of the accessibility toolkit, built the way it
// wants them (C types with interface tables). They reach the list only through their
// CListAccessible; a screen reader may hold them longer than the list lives, so when the
// list goes they stay, defunct.

GType kv_list_table_get_type();
GType kv_list_cell_get_type();

namespace {

const char kMarker[] = "korvane-list-accessible";

// A screen reader holds on to few cells; more than these are let go (they go on working
// for whoever still holds them, but are no longer kept up to date).
constexpr size_t kCellCacheLimit = 500;

struct KvListTable {
    AtkObject parent;
    CListAccessible* owner;
};
struct KvListTableClass {
    AtkObjectClass parent_class;
};

struct KvListCell {
    AtkObject parent;
    KvListTable* table;  // referenced, as the cell's parent
    int row;             // -1: the column header
    int column;
    gchar* name;       // what get_name last answered
    gchar* toldName;   // what the bus was last told
    gboolean toldSelected;
    gboolean toldFocused;
};
struct KvListCellClass {
    AtkObjectClass parent_class;
};

KvListTable* AsTable(gpointer p) { return reinterpret_cast<KvListTable*>(p); }
KvListCell* AsCell(gpointer p) { return reinterpret_cast<KvListCell*>(p); }

CListAccessible* OwnerOf(gpointer table) { return table ? AsTable(table)->owner : nullptr; }

AtkObject* CellAt(KvListTable* table, int row, int column);

// --- coordinates

void Extents(const wxRect& screen, AtkCoordType coords, AtkObject* object, gint* x, gint* y, gint* width,
             gint* height) {
    int left = screen.x, top = screen.y;
    if (!screen.IsEmpty() && coords != ATK_XY_SCREEN) {
        // Relative to the window, or to the parent, whose screen position the parent knows.
        gint originX = 0, originY = 0;
        if (coords == ATK_XY_WINDOW) {
            AtkObject* window = object;
            while (atk_object_get_parent(window) && atk_object_get_role(window) != ATK_ROLE_FRAME &&
                   atk_object_get_role(window) != ATK_ROLE_DIALOG && atk_object_get_role(window) != ATK_ROLE_WINDOW)
                window = atk_object_get_parent(window);
            if (window != object && ATK_IS_COMPONENT(window)) {
                gint w = 0, h = 0;
                atk_component_get_extents(ATK_COMPONENT(window), &originX, &originY, &w, &h, ATK_XY_SCREEN);
            }
        } else if (AtkObject* parent = atk_object_get_parent(object); parent && ATK_IS_COMPONENT(parent)) {
            gint w = 0, h = 0;
            atk_component_get_extents(ATK_COMPONENT(parent), &originX, &originY, &w, &h, ATK_XY_SCREEN);
        }
        left -= originX;
        top -= originY;
    }
    if (x) *x = screen.IsEmpty() ? -1 : left;
    if (y) *y = screen.IsEmpty() ? -1 : top;
    if (width) *width = screen.IsEmpty() ? -1 : screen.width;
    if (height) *height = screen.IsEmpty() ? -1 : screen.height;
}

// --- the table

int ColumnCount(CListAccessible* owner) { return owner ? std::max(0, owner->Source().AccColumnCount()) : 0; }
int RowCount(CListAccessible* owner) { return owner ? std::max(0, owner->Source().AccRowCount()) : 0; }

gint TableChildCount(AtkObject* object) {
    CListAccessible* owner = OwnerOf(object);
    return ColumnCount(owner) * (RowCount(owner) + 1);
}

AtkObject* TableRefChild(AtkObject* object, gint index) {
    CListAccessible* owner = OwnerOf(object);
    const int columns = ColumnCount(owner);
    if (columns == 0 || index < 0 || index >= TableChildCount(object)) return nullptr;
    AtkObject* cell = CellAt(AsTable(object), index / columns - 1, index % columns);
    return cell ? ATK_OBJECT(g_object_ref(cell)) : nullptr;
}

gint IndexInParent(AtkObject* object) {
    AtkObject* parent = atk_object_get_parent(object);
    if (!parent) return -1;
    const gint count = atk_object_get_n_accessible_children(parent);
    for (gint i = 0; i < count; ++i) {
        AtkObject* child = atk_object_ref_accessible_child(parent, i);
        if (child) g_object_unref(child);
        if (child == object) return i;
    }
    return -1;
}

AtkStateSet* TableStates(AtkObject* object) {
    AtkStateSet* states = atk_state_set_new();
    CListAccessible* owner = OwnerOf(object);
    if (!owner) {
        atk_state_set_add_state(states, ATK_STATE_DEFUNCT);
        return states;
    }
    const IListAccessSource& source = owner->Source();
    atk_state_set_add_state(states, ATK_STATE_FOCUSABLE);
    atk_state_set_add_state(states, ATK_STATE_MULTISELECTABLE);
    atk_state_set_add_state(states, ATK_STATE_MANAGES_DESCENDANTS);
    if (source.AccIsEnabled()) {
        atk_state_set_add_state(states, ATK_STATE_ENABLED);
        atk_state_set_add_state(states, ATK_STATE_SENSITIVE);
    }
    if (source.AccIsShown()) {
        atk_state_set_add_state(states, ATK_STATE_VISIBLE);
        atk_state_set_add_state(states, ATK_STATE_SHOWING);
    }
    if (source.AccHasFocus()) atk_state_set_add_state(states, ATK_STATE_FOCUSED);
    return states;
}

void TableGetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coords) {
    CListAccessible* owner = OwnerOf(component);
    Extents(owner ? owner->Source().AccListRect() : wxRect(), coords, ATK_OBJECT(component), x, y, width, height);
}

void TableComponentInit(AtkComponentIface* iface) { iface->get_extents = TableGetExtents; }

AtkObject* TableRefAt(AtkTable* table, gint row, gint column) {
    CListAccessible* owner = OwnerOf(table);
    if (row < 0 || row >= RowCount(owner) || column < 0 || column >= ColumnCount(owner)) return nullptr;
    AtkObject* cell = CellAt(AsTable(table), row, column);
    return cell ? ATK_OBJECT(g_object_ref(cell)) : nullptr;
}
gint TableIndexAt(AtkTable* table, gint row, gint column) {
    const int columns = ColumnCount(OwnerOf(table));
    return (row + 1) * columns + column;
}
gint TableColumnAtIndex(AtkTable* table, gint index) {
    const int columns = ColumnCount(OwnerOf(table));
    return columns ? index % columns : -1;
}
gint TableRowAtIndex(AtkTable* table, gint index) {
    const int columns = ColumnCount(OwnerOf(table));
    return columns ? index / columns - 1 : -1;
}
gint TableColumns(AtkTable* table) { return ColumnCount(OwnerOf(table)); }
gint TableRows(AtkTable* table) { return RowCount(OwnerOf(table)); }
AtkObject* TableColumnHeader(AtkTable* table, gint column) {
    if (column < 0 || column >= ColumnCount(OwnerOf(table))) return nullptr;
    return CellAt(AsTable(table), -1, column);  // not referenced, as the interface says
}
const gchar* TableColumnDescription(AtkTable* table, gint column) {
    AtkObject* header = TableColumnHeader(table, column);
    return header ? atk_object_get_name(header) : nullptr;
}
gboolean TableIsRowSelected(AtkTable* table, gint row) {
    CListAccessible* owner = OwnerOf(table);
    return owner && row >= 0 && row < RowCount(owner) && owner->Source().AccIsSelected(row);
}
gboolean TableIsSelected(AtkTable* table, gint row, gint) { return TableIsRowSelected(table, row); }
gboolean TableIsColumnSelected(AtkTable*, gint) { return FALSE; }
gint TableSelectedRows(AtkTable* table, gint** selected) {
    CListAccessible* owner = OwnerOf(table);
    const int count = owner ? owner->Source().AccSelectedCount() : 0;
    if (selected) *selected = nullptr;
    if (count <= 0) return 0;
    gint* rows = g_new(gint, count);
    int n = 0;
    for (int row = owner->Source().AccNextSelected(-1); row >= 0 && n < count; row = owner->Source().AccNextSelected(row))
        rows[n++] = row;
    if (selected)
        *selected = rows;
    else
        g_free(rows);
    return n;
}
gint TableSelectedColumns(AtkTable*, gint** selected) {
    if (selected) *selected = nullptr;
    return 0;
}

void TableTableInit(AtkTableIface* iface) {
    iface->ref_at = TableRefAt;
    iface->get_index_at = TableIndexAt;
    iface->get_column_at_index = TableColumnAtIndex;
    iface->get_row_at_index = TableRowAtIndex;
    iface->get_n_columns = TableColumns;
    iface->get_n_rows = TableRows;
    iface->get_column_header = TableColumnHeader;
    iface->get_column_description = TableColumnDescription;
    iface->is_row_selected = TableIsRowSelected;
    iface->is_selected = TableIsSelected;
    iface->is_column_selected = TableIsColumnSelected;
    iface->get_selected_rows = TableSelectedRows;
    iface->get_selected_columns = TableSelectedColumns;
}

// A selection of rows, each told by its first cell, as the toolkit's own tables do.
gint SelectionCount(AtkSelection* selection) {
    CListAccessible* owner = OwnerOf(selection);
    return owner ? owner->Source().AccSelectedCount() : 0;
}
AtkObject* SelectionRef(AtkSelection* selection, gint i) {
    CListAccessible* owner = OwnerOf(selection);
    if (!owner || i < 0) return nullptr;
    int row = owner->Source().AccNextSelected(-1);
    for (; row >= 0 && i > 0; --i) row = owner->Source().AccNextSelected(row);
    return row >= 0 ? TableRefAt(ATK_TABLE(selection), row, 0) : nullptr;
}
gboolean SelectionIsChildSelected(AtkSelection* selection, gint index) {
    const gint row = TableRowAtIndex(ATK_TABLE(selection), index);
    return TableIsRowSelected(ATK_TABLE(selection), row);
}
void TableSelectionInit(AtkSelectionIface* iface) {
    iface->get_selection_count = SelectionCount;
    iface->ref_selection = SelectionRef;
    iface->is_child_selected = SelectionIsChildSelected;
}

// --- the cells (and column headers)

bool CellIsSelected(KvListCell* cell) {
    CListAccessible* owner = OwnerOf(cell->table);
    return owner && cell->row >= 0 && cell->row < RowCount(owner) && owner->Source().AccIsSelected(cell->row);
}
bool CellIsFocused(KvListCell* cell) {
    CListAccessible* owner = OwnerOf(cell->table);
    if (!owner || cell->row < 0 || cell->column != 0 || !owner->Source().AccHasFocus()) return false;
    return owner->Source().AccFocusedRow() == cell->row;
}
std::string CellText(KvListCell* cell) {
    CListAccessible* owner = OwnerOf(cell->table);
    if (!owner || cell->column >= ColumnCount(owner)) return std::string();
    if (cell->row < 0) return owner->Source().AccColumnCaption(cell->column);
    if (cell->row >= RowCount(owner)) return std::string();
    return owner->Source().AccCellText(cell->row, cell->column);
}

const gchar* CellName(AtkObject* object) {
    KvListCell* cell = AsCell(object);
    g_free(cell->name);
    cell->name = g_strdup(CellText(cell).c_str());
    return cell->name;
}
AtkObject* CellParent(AtkObject* object) { return ATK_OBJECT(AsCell(object)->table); }
gint CellIndexInParent(AtkObject* object) {
    KvListCell* cell = AsCell(object);
    return (cell->row + 1) * ColumnCount(OwnerOf(cell->table)) + cell->column;
}
AtkStateSet* CellStates(AtkObject* object) {
    KvListCell* cell = AsCell(object);
    AtkStateSet* states = atk_state_set_new();
    CListAccessible* owner = OwnerOf(cell->table);
    if (!owner || cell->row >= RowCount(owner) || cell->column >= ColumnCount(owner)) {
        atk_state_set_add_state(states, ATK_STATE_DEFUNCT);
        return states;
    }
    const IListAccessSource& source = owner->Source();
    if (source.AccIsEnabled()) {
        atk_state_set_add_state(states, ATK_STATE_ENABLED);
        atk_state_set_add_state(states, ATK_STATE_SENSITIVE);
    }
    const wxRect rect = cell->row < 0 ? source.AccHeaderRect(cell->column) : source.AccCellRect(cell->row, cell->column);
    if (source.AccIsShown()) atk_state_set_add_state(states, ATK_STATE_VISIBLE);
    if (source.AccIsShown() && !rect.IsEmpty()) atk_state_set_add_state(states, ATK_STATE_SHOWING);
    if (cell->row >= 0) {
        atk_state_set_add_state(states, ATK_STATE_TRANSIENT);
        atk_state_set_add_state(states, ATK_STATE_FOCUSABLE);
        atk_state_set_add_state(states, ATK_STATE_SELECTABLE);
        if (CellIsSelected(cell)) atk_state_set_add_state(states, ATK_STATE_SELECTED);
        if (CellIsFocused(cell)) atk_state_set_add_state(states, ATK_STATE_FOCUSED);
    }
    return states;
}

void CellGetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coords) {
    KvListCell* cell = AsCell(component);
    CListAccessible* owner = OwnerOf(cell->table);
    wxRect rect;
    if (owner && cell->column < ColumnCount(owner))
        rect = cell->row < 0 ? owner->Source().AccHeaderRect(cell->column)
                             : (cell->row < RowCount(owner) ? owner->Source().AccCellRect(cell->row, cell->column) : wxRect());
    Extents(rect, coords, ATK_OBJECT(component), x, y, width, height);
}
void CellComponentInit(AtkComponentIface* iface) { iface->get_extents = CellGetExtents; }

gint CellSpan(AtkTableCell*) { return 1; }
gboolean CellPosition(AtkTableCell* tableCell, gint* row, gint* column) {
    KvListCell* cell = AsCell(tableCell);
    if (cell->row < 0) return FALSE;
    if (row) *row = cell->row;
    if (column) *column = cell->column;
    return TRUE;
}
AtkObject* CellTable(AtkTableCell* tableCell) {
    KvListCell* cell = AsCell(tableCell);
    return cell->table ? ATK_OBJECT(g_object_ref(cell->table)) : nullptr;
}
GPtrArray* CellColumnHeaders(AtkTableCell* tableCell) {
    KvListCell* cell = AsCell(tableCell);
    GPtrArray* headers = g_ptr_array_new_with_free_func(g_object_unref);
    if (cell->row >= 0 && cell->table && cell->column < ColumnCount(OwnerOf(cell->table)))
        if (AtkObject* header = CellAt(cell->table, -1, cell->column)) g_ptr_array_add(headers, g_object_ref(header));
    return headers;
}
GPtrArray* CellRowHeaders(AtkTableCell*) { return g_ptr_array_new_with_free_func(g_object_unref); }
void CellTableCellInit(AtkTableCellIface* iface) {
    iface->get_column_span = CellSpan;
    iface->get_row_span = CellSpan;
    iface->get_position = CellPosition;
    iface->get_table = CellTable;
    iface->get_column_header_cells = CellColumnHeaders;
    iface->get_row_header_cells = CellRowHeaders;
}

}  // namespace

// --- the types

G_DEFINE_TYPE_WITH_CODE(KvListTable, kv_list_table, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, TableComponentInit)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE, TableTableInit)
                                G_IMPLEMENT_INTERFACE(ATK_TYPE_SELECTION, TableSelectionInit))

static void kv_list_table_init(KvListTable* table) {
    table->owner = nullptr;
    ATK_OBJECT(table)->role = ATK_ROLE_TABLE;
}
static void kv_list_table_class_init(KvListTableClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_n_children = TableChildCount;
    atk->ref_child = TableRefChild;
    atk->get_index_in_parent = IndexInParent;
    atk->ref_state_set = TableStates;
}

G_DEFINE_TYPE_WITH_CODE(KvListCell, kv_list_cell, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, CellComponentInit)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE_CELL, CellTableCellInit))

static void kv_list_cell_init(KvListCell* cell) {
    cell->table = nullptr;
    cell->row = -1;
    cell->column = 0;
    cell->name = nullptr;
    cell->toldName = nullptr;
    ATK_OBJECT(cell)->role = ATK_ROLE_TABLE_CELL;
}
static void kv_list_cell_finalize(GObject* object) {
    KvListCell* cell = AsCell(object);
    g_free(cell->name);
    g_free(cell->toldName);
    if (cell->table) g_object_unref(cell->table);
    G_OBJECT_CLASS(kv_list_cell_parent_class)->finalize(object);
}
static void kv_list_cell_class_init(KvListCellClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = kv_list_cell_finalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = CellName;
    atk->get_parent = CellParent;
    atk->get_index_in_parent = CellIndexInParent;
    atk->ref_state_set = CellStates;
}

// --- the list's side

struct CListAccessible::Impl {
    std::map<std::pair<int, int>, KvListCell*> cells;  // (row, column), each referenced once
    int toldRows = 0;
    int toldColumns = 0;
    int toldActive = -1;  // the row whose first cell was last the active descendant
    bool toldFocus = false;
    int toldSelectedCount = 0;
    int toldFirstSelected = -1;

};

namespace {

KvListCell* MakeCell(KvListTable* table, int row, int column) {
    auto* cell = AsCell(g_object_new(kv_list_cell_get_type(), nullptr));
    cell->table = AsTable(g_object_ref(table));
    cell->row = row;
    cell->column = column;
    AtkObject* object = ATK_OBJECT(cell);
    object->role = row < 0 ? ATK_ROLE_TABLE_COLUMN_HEADER : ATK_ROLE_TABLE_CELL;
    cell->toldName = g_strdup(CellText(cell).c_str());
    cell->toldSelected = CellIsSelected(cell);
    cell->toldFocused = CellIsFocused(cell);
    return cell;
}

AtkObject* CellAt(KvListTable* table, int row, int column) {
    return table->owner ? static_cast<AtkObject*>(table->owner->CellObject(row, column)) : nullptr;
}

// The toolkit asks a widget's class for its accessible. The classes of the list's widgets
// are the toolkit's general ones, so their answer is replaced for the whole class and
// given back unchanged for every widget that is not a list's.
std::map<GType, AtkObject* (*)(GtkWidget*)>& OriginalGetters() {
    static std::map<GType, AtkObject* (*)(GtkWidget*)> getters;
    return getters;
}

AtkObject* GetAccessible(GtkWidget* widget) {
    if (auto* owner = static_cast<CListAccessible*>(g_object_get_data(G_OBJECT(widget), kMarker)))
        return static_cast<AtkObject*>(owner->Table());
    for (GType type = G_OBJECT_TYPE(widget); type; type = g_type_parent(type)) {
        const auto found = OriginalGetters().find(type);
        if (found != OriginalGetters().end() && found->second) return found->second(widget);
    }
    return nullptr;
}

void ReplaceGetter(GType type) {
    auto* klass = GTK_WIDGET_CLASS(g_type_class_peek(type));
    if (!klass || klass->get_accessible == GetAccessible) return;
    OriginalGetters()[type] = klass->get_accessible;
    klass->get_accessible = GetAccessible;
}

}  // namespace

CListAccessible::CListAccessible(IListAccessSource& source, const std::vector<void*>& widgets)
    : m_source(source), m_widgets(widgets), m_impl(new Impl) {
    for (void* w : m_widgets) {
        auto* widget = static_cast<GtkWidget*>(w);
        g_object_set_data(G_OBJECT(widget), kMarker, this);
        ReplaceGetter(G_OBJECT_TYPE(widget));
    }
}

CListAccessible::~CListAccessible() {
    for (void* w : m_widgets) g_object_set_data(G_OBJECT(w), kMarker, nullptr);
    if (m_table) {
        AsTable(m_table)->owner = nullptr;
        for (auto& [key, cell] : m_impl->cells) {
            atk_object_notify_state_change(ATK_OBJECT(cell), ATK_STATE_DEFUNCT, TRUE);
            g_object_unref(cell);
        }
        atk_object_notify_state_change(ATK_OBJECT(m_table), ATK_STATE_DEFUNCT, TRUE);
        g_object_unref(m_table);
    }
    delete m_impl;
}

void CListAccessible::SetName(const std::string& utf8) {
    m_name = utf8;
    if (m_table) atk_object_set_name(ATK_OBJECT(m_table), m_name.c_str());
}

void* CListAccessible::Table() {
    if (!m_table) {
        auto* table = AsTable(g_object_new(kv_list_table_get_type(), nullptr));
        table->owner = this;
        AtkObject* object = ATK_OBJECT(table);
        if (!m_name.empty()) atk_object_set_name(object, m_name.c_str());
        if (GtkWidget* parent = gtk_widget_get_parent(static_cast<GtkWidget*>(m_widgets.front())))
            atk_object_set_parent(object, gtk_widget_get_accessible(parent));
        m_table = table;
        m_impl->toldRows = RowCount(this);
        m_impl->toldColumns = ColumnCount(this);
        m_impl->toldFocus = m_source.AccHasFocus();
        m_impl->toldActive = m_source.AccFocusedRow();
        m_impl->toldSelectedCount = m_source.AccSelectedCount();
        m_impl->toldFirstSelected = m_source.AccNextSelected(-1);
    }
    return m_table;
}

void CListAccessible::TrimCells() {
    // Keep the headers and the rows a screen reader is on: the focused one and those shown.
    const int focused = m_source.AccFocusedRow();
    for (auto it = m_impl->cells.begin(); it != m_impl->cells.end();) {
        const int r = it->first.first;
        if (r < 0 || r == focused || !m_source.AccCellRect(r, 0).IsEmpty()) {
            ++it;
        } else {
            g_object_unref(it->second);
            it = m_impl->cells.erase(it);
        }
    }
}

void* CListAccessible::CellObject(int row, int column) {
    const auto key = std::make_pair(row, column);
    const auto found = m_impl->cells.find(key);
    if (found != m_impl->cells.end()) return found->second;
    if (m_impl->cells.size() >= kCellCacheLimit) TrimCells();
    KvListCell* cell = MakeCell(AsTable(Table()), row, column);
    m_impl->cells.emplace(key, cell);
    return cell;
}

void CListAccessible::Update() {
    if (!m_table) return;
    AtkObject* table = ATK_OBJECT(m_table);
    Impl& d = *m_impl;
    const int rows = RowCount(this);
    const int columns = ColumnCount(this);
    const bool focus = m_source.AccHasFocus();
    const int focused = m_source.AccFocusedRow();
    const int active = focused >= 0 ? focused : m_source.AccNextSelected(-1);

    if (rows != d.toldRows || columns != d.toldColumns) {
        d.toldRows = rows;
        d.toldColumns = columns;
        g_signal_emit_by_name(table, "model-changed");
    }
    // The row that becomes the active one is told with its states, like every row the
    // bus already knows.
    const bool activeMoved = active != d.toldActive || (focus && !d.toldFocus);
    if (activeMoved && active >= 0 && active < rows && columns > 0) {
        auto* cell = AsCell(CellObject(active, 0));
        if (active != d.toldActive) {
            cell->toldSelected = FALSE;
            cell->toldFocused = FALSE;
        }
    }
    // What is told may make the bus ask for more cells, which changes the cache: the
    // cells are told from a list of their own.
    std::vector<KvListCell*> told;
    told.reserve(d.cells.size());
    for (auto it = d.cells.begin(); it != d.cells.end();) {
        KvListCell* cell = it->second;
        if (cell->row >= rows || cell->column >= columns) {
            atk_object_notify_state_change(ATK_OBJECT(cell), ATK_STATE_DEFUNCT, TRUE);
            it = d.cells.erase(it);
        } else {
            g_object_ref(cell);
            ++it;
        }
        told.push_back(cell);  // referenced once in either case
    }
    bool selectionChanged = false;
    for (KvListCell* cell : told) {
        AtkObject* object = ATK_OBJECT(cell);
        if (cell->row >= rows || cell->column >= columns) {
            g_object_unref(cell);
            continue;
        }
        const std::string text = CellText(cell);
        if (text != (cell->toldName ? cell->toldName : "")) {
            g_free(cell->toldName);
            cell->toldName = g_strdup(text.c_str());
            g_object_notify(G_OBJECT(cell), "accessible-name");
        }
        if (cell->row >= 0) {
            const gboolean selected = CellIsSelected(cell);
            if (selected != cell->toldSelected) {
                cell->toldSelected = selected;
                atk_object_notify_state_change(object, ATK_STATE_SELECTED, selected);
                selectionChanged = true;
            }
            const gboolean focusedCell = CellIsFocused(cell);
            if (focusedCell != cell->toldFocused) {
                cell->toldFocused = focusedCell;
                atk_object_notify_state_change(object, ATK_STATE_FOCUSED, focusedCell);
            }
        }
        g_object_unref(cell);
    }
    const int selectedCount = m_source.AccSelectedCount();
    const int firstSelected = m_source.AccNextSelected(-1);
    if (selectionChanged || selectedCount != d.toldSelectedCount || firstSelected != d.toldFirstSelected) {
        d.toldSelectedCount = selectedCount;
        d.toldFirstSelected = firstSelected;
        g_signal_emit_by_name(table, "selection-changed");
    }
    if (focus != d.toldFocus) atk_object_notify_state_change(table, ATK_STATE_FOCUSED, focus);
    if (activeMoved && active >= 0 && active < rows && columns > 0)
        g_signal_emit_by_name(table, "active-descendant-changed", CellObject(active, 0));
    d.toldFocus = focus;
    d.toldActive = active;
}
