#include "platform/EditText.h"

#include <wx/textctrl.h>

#include "platform/CodePage.h"

#include <gtk/gtk.h>

CString LfToCrLf(const CString& text) {
    std::string out;
    const std::string& in = text.str();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        // 0x0A is never the second byte of a double-byte character.
        if (in[i] == '\n' && (i == 0 || in[i - 1] != '\r')) out += '\r';
        out += in[i];
    }
    return CString(out);
}

CString CrLfToLf(const CString& text) {
    std::string out;
    const std::string& in = text.str();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
        out += in[i];
    }
    return CString(out);
}

CString GetEditText(const wxTextCtrl& edit) {
    const CString text = FromWx(edit.GetValue());
    return edit.IsMultiLine() ? LfToCrLf(text) : text;
}

void SetEditText(wxTextCtrl& edit, const CString& text) {
    edit.ChangeValue(ToWx(edit.IsMultiLine() ? CrLfToLf(text) : text));
}

wxTextCtrl* CreateMultiLineEdit(wxWindow* parent, int id) {
    auto* edit = new wxTextCtrl(parent, id, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxTE_MULTILINE);
    // The toolkit puts its text view inside a scrolled window.
    GtkWidget* outer = static_cast<GtkWidget*>(edit->GetHandle());
    GtkWidget* inner = outer && GTK_IS_BIN(outer) ? gtk_bin_get_child(GTK_BIN(outer)) : nullptr;
    if (inner && GTK_IS_TEXT_VIEW(inner)) {
        GtkTextView* view = GTK_TEXT_VIEW(inner);
        gtk_text_view_set_left_margin(view, 4);
        gtk_text_view_set_right_margin(view, 4);
        gtk_text_view_set_top_margin(view, 2);
        gtk_text_view_set_bottom_margin(view, 2);
    }
    return edit;
}
