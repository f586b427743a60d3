#pragma once
// "音声インポート": the list of recordings to import. Files are added through the file
// chooser, up to 100, in the order chosen; Delete removes the selected entries.

#include <vector>

#include <wx/dialog.h>

#include "platform/CString.h"

class wxButton;
class wxKeyEvent;
class wxListBox;
class wxStaticText;

class CWaveImportDlg : public wxDialog {
public:
    explicit CWaveImportDlg(wxWindow* parent);

    // Places the controls at their fixed rectangles.
    bool Layout() override;
    void SetControlFont();

    // Button 1079: the file chooser, opening in m_strFolder. The chosen files are added in
    // the chooser's order until the list holds 100.
    void OnAddFile();
    // Adds paths as the chooser gave them; false when the limit stopped it (message shown).
    bool AddPaths(const std::vector<CString>& paths);
    // Removes every selected entry from the list and from the paths.
    void RemoveSelected();
    // OK: refused with a message while the list is empty; true when the dialog may close.
    bool CheckOK();

    static constexpr int kMaxFiles = 100;

    std::vector<CString> m_arrPaths;  // the chosen paths, kept equal to the list box
    CString m_strFolder;              // where the file chooser opens

    wxListBox* GetFileList() const { return m_lstFiles; }

private:
    void OnCharHook(wxKeyEvent& event);

    wxStaticText* m_stcLabel = nullptr;  // 1038
    wxListBox* m_lstFiles = nullptr;     // 1078
    wxButton* m_btnAdd = nullptr;        // 1079
    wxButton* m_btnOk = nullptr;
    wxButton* m_btnCancel = nullptr;
};
