#include "audio/WaveImportDlg.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/stattext.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FontMap.h"
#include "platform/MessageBox.h"

namespace {
enum { IDD_WAVE_IMPORT = 146, IDC_STATIC_IMPORT_LABEL = 1038, IDC_LIST_IMPORT_FILES = 1078, IDC_BUTTON_ADD_FILE = 1079 };

void ShowError(wxWindow* parent, const char* text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }
}  // namespace

CWaveImportDlg::CWaveImportDlg(wxWindow* parent) : wxDialog(parent, IDD_WAVE_IMPORT, ToWx("音声インポート")) {
    m_stcLabel = new wxStaticText(this, IDC_STATIC_IMPORT_LABEL, ToWx("インポートする音声ファイル"));
    // Paths are long: the list scrolls sideways rather than cutting them.
    m_lstFiles = new wxListBox(this, IDC_LIST_IMPORT_FILES, wxDefaultPosition, wxDefaultSize, 0, nullptr,
                               wxLB_EXTENDED | wxLB_HSCROLL);
    SetAccessibleLabel(*m_stcLabel, *m_lstFiles);
    m_btnAdd = new wxButton(this, IDC_BUTTON_ADD_FILE, ToWx("ファイル追加"));
    m_btnOk = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_btnCancel = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    m_btnOk->SetDefault();
    SetControlFont();
    SetClientSize(524, 232);
    Layout();
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnAddFile(); }, IDC_BUTTON_ADD_FILE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
        if (CheckOK()) e.Skip();  // the dialog ends with OK
    }, wxID_OK);
    Bind(wxEVT_CHAR_HOOK, &CWaveImportDlg::OnCharHook, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        Layout();
    });
}

void CWaveImportDlg::SetControlFont() {
    wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    for (wxWindow* w : {static_cast<wxWindow*>(m_stcLabel), static_cast<wxWindow*>(m_lstFiles),
                        static_cast<wxWindow*>(m_btnAdd), static_cast<wxWindow*>(m_btnOk),
                        static_cast<wxWindow*>(m_btnCancel)})
        w->SetFont(font);
}

bool CWaveImportDlg::Layout() {
    if (!m_btnCancel) return false;  // called by the toolkit before the controls exist
    m_stcLabel->SetSize(12, 8, 188, 19);
    m_lstFiles->SetSize(12, 34, 500, 154);
    m_btnAdd->SetSize(14, 195, 100, 26);
    m_btnOk->SetSize(308, 195, 100, 26);
    m_btnCancel->SetSize(412, 195, 100, 26);
    return true;
}

void CWaveImportDlg::OnAddFile() {
    CFileChooser request;
    request.title = "ファイルを開く";
    request.folder = m_strFolder;
    request.filter = "音声ファイル(*.wav, *.mp3)|*.wav;*.mp3|";  // the chooser folds the case
    request.multiple = true;
    request.mustExist = true;
    request.overwritePrompt = true;
    std::vector<CString> paths;
    if (!ChooseFile(this, request, paths)) return;
    AddPaths(paths);
}

bool CWaveImportDlg::AddPaths(const std::vector<CString>& paths) {
    for (const CString& path : paths) {
        if (static_cast<int>(m_arrPaths.size()) >= kMaxFiles) {
            ShowError(this, "選択可能なファイル数（100）を超えたため追加出来ません。");
            return false;
        }
        m_lstFiles->Append(ToWx(path));
        m_arrPaths.push_back(path);
    }
    return true;
}

void CWaveImportDlg::RemoveSelected() {
    // From the bottom, so that the indexes still to come stay valid.
    for (int i = static_cast<int>(m_arrPaths.size()) - 1; i >= 0; --i) {
        if (!m_lstFiles->IsSelected(i)) continue;
        m_lstFiles->Delete(static_cast<unsigned>(i));
        m_arrPaths.erase(m_arrPaths.begin() + i);
    }
}

bool CWaveImportDlg::CheckOK() {
    if (!m_arrPaths.empty()) return true;
    ShowError(this, "インポートする音声ファイルを選択して下さい。");
    return false;
}

void CWaveImportDlg::OnCharHook(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_DELETE && !m_arrPaths.empty()) RemoveSelected();
    event.Skip();
}
