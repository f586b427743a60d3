#include "platform/DialogHost.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FocusKeeper.h"
#include "platform/MessageBox.h"

namespace {

CUiScript* g_activeScript = nullptr;

void AbortOnFault(const std::string& message) {
    std::fprintf(stderr, "user-interface script: %s\n", message.c_str());
    std::abort();
}

CUiScript::FaultReporter& Reporter() {
    static CUiScript::FaultReporter reporter = AbortOnFault;
    return reporter;
}

const char* KindName(CUiKind kind) {
    switch (kind) {
    case CUiKind::Box: return "message box";
    case CUiKind::Dialog: return "dialog";
    case CUiKind::File: return "file chooser";
    case CUiKind::Folder: return "folder chooser";
    }
    return "?";
}

// Wraps one pattern's ASCII letters in both cases ("*.wav" -> "*.[wW][aA][vV]").
CString FoldCase(const CString& pattern) {
    CString out;
    for (int i = 0; i < pattern.GetLength(); ++i) {
        const char c = pattern[i];
        if (CString::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < pattern.GetLength()) {
            out += c;
            out += pattern[++i];
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            const char lower = static_cast<char>(c | 0x20), upper = static_cast<char>(c & ~0x20);
            out += '[';
            out += lower;
            out += upper;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

// One pattern list ("*.wav;*.*") in the toolkit's terms.
CString ConvertPatterns(const CString& patterns, bool foldCase) {
    CString out;
    int start = 0;
    while (start <= patterns.GetLength()) {
        int end = patterns.Find(';', start);
        if (end < 0) end = patterns.GetLength();
        CString one = patterns.Mid(start, end - start);
        one.Trim();
        if (!one.IsEmpty()) {
            if (one == "*.*") one = "*";
            else if (foldCase) one = FoldCase(one);
            if (!out.IsEmpty()) out += ';';
            out += one;
        }
        start = end + 1;
    }
    return out.IsEmpty() ? CString("*") : out;
}

// Converts a chooser's UTF-8 path; false when CP932 cannot spell it.
bool PathFromWx(const wxString& path, CString& out) {
    return Utf8ToCp932Strict(path.utf8_string(), out);
}

void RefuseUnspellableName(wxWindow* parent) {
    KvMessageBox(parent, "選択されたファイル名には使用できない文字が含まれています。", "エラー",
                 MB_OK | MB_ICONSTOP);
}

}  // namespace

CString WildcardFromFilter(const CString& filter, bool foldCase) {
    std::vector<CString> parts;
    int start = 0;
    while (start < filter.GetLength()) {
        int end = filter.Find('|', start);
        if (end < 0) end = filter.GetLength();
        parts.push_back(filter.Mid(start, end - start));
        start = end + 1;
    }
    // The original ends the list with "|" or "||": no empty pairs at the end.
    while (!parts.empty() && parts.back().IsEmpty()) parts.pop_back();
    CString out;
    for (size_t i = 0; i < parts.size(); i += 2) {
        if (!out.IsEmpty()) out += '|';
        out += parts[i];
        out += '|';
        out += ConvertPatterns(i + 1 < parts.size() ? parts[i + 1] : CString(), foldCase);
    }
    return out;
}

int DialogResultFromWx(int wxId) {
    switch (wxId) {
    case wxID_OK: return IDOK;
    case wxID_CANCEL: return IDCANCEL;
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    default: return wxId;
    }
}

int WxIdFromDialogResult(int result) {
    switch (result) {
    case IDOK: return wxID_OK;
    case IDCANCEL: return wxID_CANCEL;
    case IDYES: return wxID_YES;
    case IDNO: return wxID_NO;
    default: return result;
    }
}

int RunModal(wxDialog& dlg) {
    CFocusKeeper focus;
    SetAccessibleDialogRole(dlg);
    if (CUiScript* script = CUiScript::Active()) return script->OnDialog(dlg);
    return DialogResultFromWx(dlg.ShowModal());
}

bool ChooseFile(wxWindow* parent, const CFileChooser& request, std::vector<CString>& paths) {
    paths.clear();
    if (CUiScript* script = CUiScript::Active()) return script->OnFile(request, paths);
    CFocusKeeper focus;
    long style = request.save ? wxFD_SAVE : wxFD_OPEN;
    if (request.multiple && !request.save) style |= wxFD_MULTIPLE;
    if (request.mustExist) style |= wxFD_FILE_MUST_EXIST;
    if (request.overwritePrompt && request.save) style |= wxFD_OVERWRITE_PROMPT;
    // A save chooser keeps the patterns as written: the toolkit appends a pattern's
    // extension to a typed name, and must not append "[nN][cC][cC]".
    const CString wildcard = WildcardFromFilter(request.filter, !request.save);
    wxFileDialog dlg(parent, ToWx(request.title), ToWx(request.folder), ToWx(request.fileName),
                     wildcard.IsEmpty() ? wxASCII_STR("*") : ToWx(wildcard),
                     style);
    if (dlg.ShowModal() != wxID_OK) return false;
    wxArrayString chosen;
    if (style & wxFD_MULTIPLE) dlg.GetPaths(chosen);
    else chosen.Add(dlg.GetPath());
    for (const wxString& one : chosen) {
        CString path;
        if (!PathFromWx(one, path)) {
            paths.clear();
            RefuseUnspellableName(parent);
            return false;
        }
        paths.push_back(path);
    }
    return !paths.empty();
}

bool ChooseFolder(wxWindow* parent, const CString& title, const CString& folder, CString& path) {
    if (CUiScript* script = CUiScript::Active()) return script->OnFolder(title, folder, path);
    CFocusKeeper focus;
    wxDirDialog dlg(parent, ToWx(title), ToWx(folder), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dlg.ShowModal() != wxID_OK) return false;
    CString chosen;
    if (!PathFromWx(dlg.GetPath(), chosen)) {
        RefuseUnspellableName(parent);
        return false;
    }
    path = chosen;
    return true;
}

// ---------------------------------------------------------------------------------
// CUiScript

CUiScript::CUiScript() : m_previous(g_activeScript) { g_activeScript = this; }

CUiScript::~CUiScript() {
    g_activeScript = m_previous;
    for (const Answer& left : m_answers)
        Fault(std::string("answer for a ") + KindName(left.kind) + " left unused");
}

CUiScript* CUiScript::Active() { return g_activeScript; }

CUiScript::FaultReporter CUiScript::SetFaultReporter(FaultReporter reporter) {
    FaultReporter previous = Reporter();
    Reporter() = reporter ? std::move(reporter) : FaultReporter(AbortOnFault);
    return previous;
}

void CUiScript::Fault(const std::string& message) {
    ++m_faults;
    Reporter()(message);
}

CUiScript& CUiScript::AnswerBox(int button) {
    m_answers.push_back({CUiKind::Box, button, {}, {}});
    return *this;
}

CUiScript& CUiScript::AnswerDialog(DialogFiller fill) {
    m_answers.push_back({CUiKind::Dialog, 0, std::move(fill), {}});
    return *this;
}

CUiScript& CUiScript::AnswerDialog(int endCode) {
    return AnswerDialog([endCode](wxDialog&) { return endCode; });
}

CUiScript& CUiScript::AnswerFile(std::vector<CString> paths) {
    m_answers.push_back({CUiKind::File, IDOK, {}, std::move(paths)});
    return *this;
}

CUiScript& CUiScript::CancelFile() {
    m_answers.push_back({CUiKind::File, IDCANCEL, {}, {}});
    return *this;
}

CUiScript& CUiScript::AnswerFolder(const CString& path) {
    m_answers.push_back({CUiKind::Folder, IDOK, {}, {path}});
    return *this;
}

CUiScript& CUiScript::CancelFolder() {
    m_answers.push_back({CUiKind::Folder, IDCANCEL, {}, {}});
    return *this;
}

std::vector<CString> CUiScript::BoxTexts() const {
    std::vector<CString> texts;
    for (const CUiRecord& r : m_records)
        if (r.kind == CUiKind::Box) texts.push_back(r.text);
    return texts;
}

bool CUiScript::Next(CUiKind kind, const CString& what, Answer& out) {
    const std::string shown = std::string(KindName(kind)) + " " + Cp932ToUtf8(what);
    if (m_answers.empty()) {
        Fault("unexpected " + shown + ": the script has no answer left");
        return false;
    }
    if (m_answers.front().kind != kind) {
        Fault("unexpected " + shown + ": the script's next answer is for a " +
              KindName(m_answers.front().kind));
        return false;
    }
    out = std::move(m_answers.front());
    m_answers.pop_front();
    return true;
}

int CUiScript::OnBox(const CString& text, const CString& caption, long style) {
    CUiRecord record;
    record.kind = CUiKind::Box;
    record.caption = caption;
    record.text = text;
    record.style = style;
    record.result = DefaultBoxResult(style);
    Answer answer;
    if (Next(CUiKind::Box, "\"" + caption + "\": \"" + text + "\"", answer)) {
        record.scripted = true;
        if (IsBoxButton(style, answer.result)) {
            record.result = answer.result;
        } else {
            Fault("scripted button " + std::to_string(answer.result) + " is not a button of box \"" +
                  Cp932ToUtf8(text) + "\"");
        }
    }
    m_records.push_back(record);
    return record.result;
}

int CUiScript::OnDialog(wxDialog& dlg) {
    CUiRecord record;
    record.kind = CUiKind::Dialog;
    record.caption = FromWx(dlg.GetTitle());
    record.result = IDCANCEL;
    Answer answer;
    if (!Next(CUiKind::Dialog, "\"" + record.caption + "\"", answer)) {
        m_records.push_back(record);
        return IDCANCEL;
    }
    record.scripted = true;
    // Recorded before it runs, so that boxes it shows come after it.
    const size_t index = m_records.size();
    m_records.push_back(record);
    // The dialog runs for real (initialised, validated, ended by its own handlers); the
    // filler plays the user from inside its modal loop.
    auto running = std::make_shared<bool>(true);
    dlg.CallAfter([&dlg, running, fill = std::move(answer.fill)] {
        if (!*running) return;
        const int code = fill ? fill(dlg) : IDCANCEL;
        if (*running && dlg.IsModal()) dlg.EndModal(WxIdFromDialogResult(code));
    });
    const int result = DialogResultFromWx(dlg.ShowModal());
    *running = false;
    m_records[index].result = result;
    return result;
}

bool CUiScript::OnFile(const CFileChooser& request, std::vector<CString>& paths) {
    CUiRecord record;
    record.kind = CUiKind::File;
    record.caption = request.title;
    record.chooser = request;
    record.result = IDCANCEL;
    Answer answer;
    if (Next(CUiKind::File, "\"" + request.title + "\"", answer)) {
        record.scripted = true;
        if (answer.result == IDOK && !answer.paths.empty()) {
            if (answer.paths.size() > 1 && !request.multiple) {
                Fault("several paths scripted for single-file chooser \"" + Cp932ToUtf8(request.title) + "\"");
                answer.paths.resize(1);
            }
            record.result = IDOK;
            record.paths = answer.paths;
        }
    }
    m_records.push_back(record);
    paths = record.paths;
    return record.result == IDOK;
}

bool CUiScript::OnFolder(const CString& title, const CString& folder, CString& path) {
    CUiRecord record;
    record.kind = CUiKind::Folder;
    record.caption = title;
    record.chooser.title = title;
    record.chooser.folder = folder;
    record.result = IDCANCEL;
    Answer answer;
    if (Next(CUiKind::Folder, "\"" + title + "\"", answer)) {
        record.scripted = true;
        if (answer.result == IDOK && !answer.paths.empty()) {
            record.result = IDOK;
            record.paths = answer.paths;
            path = answer.paths.front();
        }
    }
    m_records.push_back(record);
    return record.result == IDOK;
}

bool CUiScript::ClickButton(wxWindow& window, int id) {
    wxWindow* button = window.FindWindow(id);
    if (!button || !button->IsEnabled()) return false;
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
    return true;
}
