#include "daisy/DiscInfoDlg.h"

#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/KorvaneView.h"
#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/FolderSize.h"
#include "platform/FontMap.h"

namespace {

struct Row {
    int labelId;
    const char* label;
    int editId;
    int labelY;
    int editY;
};

// Top to bottom.
const Row kRows[5] = {
    {1092, "フォーマット", 1097, 9, 8},
    {1093, "録音時間", 1098, 38, 36},
    {1094, "プロジェクト容量", 1100, 66, 64},
    {1095, "ドライブ残時間", 1102, 94, 92},
    {1096, "ドライブ残容量", 1104, 122, 120},
};

}  // namespace

CDiscInfoDlg::CDiscInfoDlg(wxWindow* parent, const CKorvaneView& view)
    : wxDialog(parent, IDD, ToWx("ディスク情報")), m_view(view) {
    const wxFont labelFont = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    const wxFont valueFont = KvCreateFont(15, FW_NORMAL, "ＭＳ ゴシック");
    for (int i = 0; i < 5; ++i) {
        m_label[i] = new wxStaticText(this, kRows[i].labelId, ToWx(kRows[i].label));
        m_label[i]->SetFont(labelFont);
        m_edit[i] = new wxTextCtrl(this, kRows[i].editId, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxTE_READONLY);
        m_edit[i]->SetFont(valueFont);
        SetAccessibleLabel(*m_label[i], *m_edit[i]);
    }
    m_btnOk = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_btnOk->SetFont(labelFont);
    m_btnOk->SetDefault();
    SetClientSize(366, 186);
    LayoutControls();
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& e) {
        e.Skip();
        ComputeDiscInfo();
    });
}

void CDiscInfoDlg::LayoutControls() {
    for (int i = 0; i < 5; ++i) {
        m_label[i]->SetSize(12, kRows[i].labelY, 104, 19);
        m_edit[i]->SetSize(125, kRows[i].editY, 223, 23);
    }
    m_btnOk->SetSize(248, 150, 100, 26);
}

CString CDiscInfoDlg::SizeText(uint64_t bytes) {
    if (bytes >= 1073741824ull) return CString::Formatted("%.2fGB", static_cast<double>(bytes) / 1073741824.0);
    if (bytes >= 1048576ull) return CString::Formatted("%.2fMB", static_cast<double>(bytes) / 1048576.0);
    if (bytes >= 1024ull) return CString::Formatted("%.2fKB", static_cast<double>(bytes) / 1024.0);
    return "0 KB";
}

CString CDiscInfoDlg::TimeText(uint64_t seconds) {
    return CString::Formatted("%02llu：%02llu：%02llu", static_cast<unsigned long long>(seconds / 3600),
                              static_cast<unsigned long long>(seconds % 3600 / 60),
                              static_cast<unsigned long long>(seconds % 60));
}

void CDiscInfoDlg::ComputeDiscInfo() {
    uint64_t folderBytes = 0;
    // An unreadable folder shows what could be counted; the dialog only informs.
    GetFolderFilesSize(m_strProjectFolder, folderBytes);
    m_strProjectSize = SizeText(folderBytes);

    const uint64_t audio = m_view.GetTotalBytes();
    m_strRecordTime = TimeText(m_nProjectBytesPerSec ? audio / m_nProjectBytesPerSec : 0);

    uint64_t freeBytes = 0;
    if (m_nOutputBytesPerSec != 0 && GetFreeBytes(m_strProjectFolder, freeBytes)) {
        m_strDriveSpace = SizeText(freeBytes);
        m_strDriveTime = TimeText(freeBytes / m_nOutputBytesPerSec);
    } else {
        m_strDriveSpace = "不明";
        m_strDriveTime = "--：--：--";
    }
    const CString* texts[5] = {&m_strFormat, &m_strRecordTime, &m_strProjectSize, &m_strDriveTime, &m_strDriveSpace};
    for (int i = 0; i < 5; ++i) m_edit[i]->ChangeValue(ToWx(*texts[i]));
}
