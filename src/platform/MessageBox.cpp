#include "platform/MessageBox.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include <wx/app.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>

#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FocusKeeper.h"

#include <gtk/gtk.h>

namespace {

// The generic dialog is a plain window to assistive technology: a frame named by its
// caption, which a screen reader does not read out when it appears. The native message
// boxes are alerts, whose labels a screen reader speaks as they appear; this one becomes
// the same, keeping its icon.
class CAlertDialog : public wxGenericMessageDialog {
public:
    using wxGenericMessageDialog::wxGenericMessageDialog;

protected:
    // Called while the box is built: the window exists and is not yet shown, so the
    // role is in place before anything announces the window.
    void AddMessageDialogDetails(wxSizer* sizer) override {
        wxGenericMessageDialog::AddMessageDialogDetails(sizer);
        if (AtkObject* accessible = gtk_widget_get_accessible(GetHandle()))
            atk_object_set_role(accessible, ATK_ROLE_ALERT);
    }
};

// Letters and digits of a Latin word, which is not broken.
bool IsWordChar(wxUniChar c) {
    return c.IsAscii() && (std::isalnum(static_cast<unsigned char>(c.GetValue())) != 0 || c == '_' || c == '-');
}

// Characters that never begin a line.
bool ClosesLine(wxUniChar c) {
    static const wxString closing = ToWx("、。，．・：；？！）］｝〕〉》」』】ー,.:;?!)]}");
    return closing.Find(c) != wxNOT_FOUND;
}

// `line` broken into lines no wider than `maxWidth` pixels in `dc`'s font: after the last
// blank that fits, else (Japanese has no blanks) after the last character that fits.
void WrapLine(const wxString& line, wxDC& dc, int maxWidth, wxString& out) {
    wxArrayInt widths;  // widths[i]: the width of characters 0..i
    if (line.empty() || !dc.GetPartialTextExtents(line, widths) || widths.back() <= maxWidth) {
        out += line;
        return;
    }
    const size_t n = line.length();
    size_t start = 0;
    while (start < n) {
        const int base = start > 0 ? widths[start - 1] : 0;
        size_t end = start;  // one past the last character that fits
        while (end < n && widths[end] - base <= maxWidth) ++end;
        if (end == n) {
            out += line.Mid(start);
            break;
        }
        if (end == start) end = start + 1;  // a character wider than the line still goes
        size_t next = end;
        const size_t blank = line.find_last_of(' ', end);
        if (blank != wxString::npos && blank > start && blank <= end) {
            end = blank;
            next = blank + 1;
        } else {
            // A word in Latin letters moves whole to the next line, unless it fills the
            // line alone; a closing mark takes the character before it along.
            for (size_t before = 0; before != end;) {
                before = end;
                size_t wordStart = end;
                while (wordStart > start && IsWordChar(line[wordStart]) && IsWordChar(line[wordStart - 1]))
                    --wordStart;
                if (wordStart > start) end = wordStart;
                if (end > start + 1 && ClosesLine(line[end])) --end;
            }
            next = end;
        }
        out += line.Mid(start, end - start);
        out += '\n';
        start = next;
    }
}

}  // namespace

int MessageTextWidth() {
    // The system's own boxes wrap their text before it takes more than five eighths of
    // the screen's width.
    const int screen = wxDisplay(static_cast<unsigned>(0)).GetGeometry().GetWidth();
    return std::max(320, screen * 5 / 8);
}

wxString WrapMessageText(const wxString& text, const wxFont& font, int maxWidth) {
    wxScreenDC dc;
    dc.SetFont(font);
    wxString out;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        WrapLine(text.Mid(start, end == wxString::npos ? wxString::npos : end - start), dc, maxWidth, out);
        if (end == wxString::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

int DefaultBoxResult(long style) {
    switch (style & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

bool IsBoxButton(long style, int result) {
    switch (style & MB_TYPEMASK) {
    case MB_OK: return result == IDOK;
    case MB_OKCANCEL: return result == IDOK || result == IDCANCEL;
    case MB_YESNO: return result == IDYES || result == IDNO;
    case MB_YESNOCANCEL: return result == IDYES || result == IDNO || result == IDCANCEL;
    default: return result == IDOK;  // other button sets are shown as a plain OK box
    }
}

int BoxResultFromWx(long style, int wxId) {
    int result = 0;
    switch (wxId) {
    case wxID_OK: result = IDOK; break;
    case wxID_CANCEL: result = IDCANCEL; break;
    case wxID_YES: result = IDYES; break;
    case wxID_NO: result = IDNO; break;
    default: break;
    }
    // The toolkit lets Esc or the window's close button end any box with "cancel".
    return IsBoxButton(style, result) ? result : DefaultBoxResult(style);
}

std::unique_ptr<wxMessageDialogBase> MakeMessageDialog(wxWindow* parent, const CString& text,
                                                   const CString& caption, long style) {
    long wxStyle = wxCENTRE;
    const long buttons = style & MB_TYPEMASK;
    const bool second = (style & MB_DEFMASK) == MB_DEFBUTTON2;
    switch (buttons) {
    case MB_OKCANCEL: wxStyle |= wxOK | wxCANCEL | (second ? wxCANCEL_DEFAULT : 0); break;
    case MB_YESNO: wxStyle |= wxYES_NO | (second ? wxNO_DEFAULT : 0); break;
    case MB_YESNOCANCEL: wxStyle |= wxYES_NO | wxCANCEL | (second ? wxNO_DEFAULT : 0); break;
    default: wxStyle |= wxOK; break;
    }
    switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: wxStyle |= wxICON_ERROR; break;
    case MB_ICONQUESTION: wxStyle |= wxICON_QUESTION; break;
    case MB_ICONWARNING: wxStyle |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: wxStyle |= wxICON_INFORMATION; break;
    // Without this the toolkit picks an icon of its own for Yes/No boxes.
    default: wxStyle |= wxICON_NONE; break;
    }
    // GTK's own message dialog draws no icon, so errors, questions and notices would look
    // alike; the toolkit's generic one draws the icon the style names (and is made an
    // alert above).
    auto dlg = std::make_unique<CAlertDialog>(parent, ToWx(text), ToWx(caption), wxStyle);
    // The toolkit breaks long lines at blanks only, and Japanese has none: a long line
    // would run off the screen.
    const wxString wrapped = WrapMessageText(ToWx(text), dlg->GetFont(), MessageTextWidth());
    if (wrapped != dlg->GetMessage()) dlg->SetMessage(wrapped);
    const wxString yes = ToWx("はい"), no = ToWx("いいえ"), ok = ToWx("OK"), cancel = ToWx("キャンセル");
    switch (buttons) {
    case MB_OKCANCEL: dlg->SetOKCancelLabels(ok, cancel); break;
    case MB_YESNO: dlg->SetYesNoLabels(yes, no); break;
    case MB_YESNOCANCEL: dlg->SetYesNoCancelLabels(yes, no, cancel); break;
    default: dlg->SetOKLabel(ok); break;
    }
    return dlg;
}

int KvMessageBox(wxWindow* parent, const CString& text, const CString& caption, long style) {
    if (CUiScript* script = CUiScript::Active()) return script->OnBox(text, caption, style);
    if (!wxTheApp || !wxTheApp->IsGUI()) {
        // No display to ask on (a tool or a test without a script): say it and go on
        // with the answer that changes least.
        std::fprintf(stderr, "%s: %s\n", Cp932ToUtf8(caption).c_str(), Cp932ToUtf8(text).c_str());
        return DefaultBoxResult(style);
    }
    CFocusKeeper focus;
    return BoxResultFromWx(style, MakeMessageDialog(parent, text, caption, style)->ShowModal());
}

int AfxMessageBox(const CString& text, long type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL: type |= MB_ICONQUESTION; break;
        default: type |= MB_ICONEXCLAMATION; break;
        }
    }
    wxWindow* parent = wxTheApp && wxTheApp->IsGUI() ? wxTheApp->GetTopWindow() : nullptr;
    return KvMessageBox(parent, text, kAppTitle, type);
}
