#pragma once
// Every modal dialog, file chooser and folder chooser of the program runs through this
// file, and every message box through MessageBox.h. A test installs a CUiScript, which
// answers them in order in place of a person and records what was shown, so that whole
// commands run in tests; without a script the real windows appear.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/CString.h"

class wxDialog;
class wxWindow;

// What the program asks of the file chooser (the original's file dialog parameters).
struct CFileChooser {
    CString title;
    CString folder;        // folder it opens in; empty: the toolkit's choice
    CString fileName;      // name proposed
    CString filter;        // "text|pattern|text|pattern|" as the original writes it; empty: all files
    bool save = false;     // a save chooser (the name may be new) rather than an open chooser
    bool multiple = false; // open chooser: several files may be chosen
    bool mustExist = false;
    bool overwritePrompt = false;
};

// Runs `dlg` modally and returns its end code: IDOK, IDCANCEL, IDYES or IDNO for the
// toolkit's standard ids, otherwise the code the dialog ended with.
int RunModal(wxDialog& dlg);

// Runs the file chooser. True with at least one path when the user chose; paths are
// CP932 with "/" separators. A chosen name that CP932 cannot spell is refused with a
// message (it could only be opened as a different file) and counts as no choice.
bool ChooseFile(wxWindow* parent, const CFileChooser& request, std::vector<CString>& paths);

// Runs the folder chooser, opening in `folder`. True when the user chose one.
bool ChooseFolder(wxWindow* parent, const CString& title, const CString& folder, CString& path);

// The toolkit's wildcard for an original filter ("Wave(*.wav)|*.wav|All|*.*||"). The
// original matches names without case and lets "*.*" match every name; the toolkit
// matches case and needs a dot, so open choosers get "[wW][aA][vV]" and "*". A text
// without a pattern shows every file. The "|" is found only between characters, as it
// can be the second byte of a double-byte one.
CString WildcardFromFilter(const CString& filter, bool foldCase);

// The end code of a dialog in the original's terms, and back.
int DialogResultFromWx(int wxId);
int WxIdFromDialogResult(int result);

enum class CUiKind { Box, Dialog, File, Folder };

// One thing shown while a script was installed.
struct CUiRecord {
    CUiKind kind = CUiKind::Box;
    CString caption;              // box caption, dialog title, chooser title
    CString text;                 // box text
    long style = 0;               // box style
    int result = 0;               // box button, dialog end code; choosers: IDOK or IDCANCEL
    std::vector<CString> paths;   // what a chooser returned
    CFileChooser chooser;         // what a chooser was asked (a folder chooser: title and folder)
    bool scripted = false;        // false: nothing in the script answered it
};

class CUiScript {
public:
    // Fills the dialog's controls (it is shown, initialised, and modal) and may press its
    // buttons with ClickButton; returns the end code for a dialog that is still open then.
    using DialogFiller = std::function<int(wxDialog&)>;
    using FaultReporter = std::function<void(const std::string&)>;

    // Installs the script until it is destroyed (scripts nest: the previous one returns).
    CUiScript();
    // Reports the answers that nothing asked for.
    ~CUiScript();
    CUiScript(const CUiScript&) = delete;
    CUiScript& operator=(const CUiScript&) = delete;

    CUiScript& AnswerBox(int button);
    CUiScript& AnswerDialog(DialogFiller fill);
    CUiScript& AnswerDialog(int endCode);  // closes the dialog at once with that code
    CUiScript& AnswerFile(std::vector<CString> paths);
    CUiScript& CancelFile();
    CUiScript& AnswerFolder(const CString& path);
    CUiScript& CancelFolder();

    const std::vector<CUiRecord>& Records() const { return m_records; }
    // Texts of the boxes shown, in order.
    std::vector<CString> BoxTexts() const;
    size_t PendingAnswers() const { return m_answers.size(); }
    int Faults() const { return m_faults; }

    // Presses button `id` of `window` as a user would (enabled buttons only); false when
    // there is no such enabled button.
    static bool ClickButton(wxWindow& window, int id);

    // Where faults go: an unexpected box, dialog or chooser, an answer of the wrong kind or
    // one that is not a button of the box, answers left unused. The default writes the
    // fault to stderr and aborts, so that no test passes over one; test programs install
    // their framework's failure instead. Returns the previous reporter.
    static FaultReporter SetFaultReporter(FaultReporter reporter);

    // The installed script, or null. Used by the layer's entry points.
    static CUiScript* Active();

    int OnBox(const CString& text, const CString& caption, long style);
    int OnDialog(wxDialog& dlg);
    bool OnFile(const CFileChooser& request, std::vector<CString>& paths);
    bool OnFolder(const CString& title, const CString& folder, CString& path);

private:
    struct Answer {
        CUiKind kind;
        int result = 0;
        DialogFiller fill;
        std::vector<CString> paths;
    };
    // Takes the next answer when it is of `kind`; otherwise reports a fault and leaves it.
    bool Next(CUiKind kind, const CString& what, Answer& out);
    void Fault(const std::string& message);

    std::deque<Answer> m_answers;
    std::vector<CUiRecord> m_records;
    int m_faults = 0;
    CUiScript* m_previous = nullptr;
};
