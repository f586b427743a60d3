#include "platform/EditText.h"

#include <wx/textctrl.h>

#include "platform/CodePage.h"

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
