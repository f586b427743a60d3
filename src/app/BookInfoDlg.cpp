#include "app/BookInfoDlg.h"

#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FontMap.h"
#include "platform/InputMethod.h"
#include "platform/MessageBox.h"

namespace {

struct FieldInfo {
    int editId;
    int labelId;  // 0: the field shares the label of the field before it
    const char* caption;
    int maxBytes;
    bool nativeInput;  // Japanese text; otherwise Latin letters and digits
    int labelX, y, editX, editWidth;
};

// In the order of the book record.
const FieldInfo kFields[CBookInfoDlg::kFieldCount] = {
    {1043, 1038, "タイトル", 500, true, 14, 11, 150, 260},
    {1044, 1058, "著者", 500, true, 14, 41, 150, 260},
    {1046, 1059, "ＩＳＢＮ", 50, false, 14, 131, 150, 260},
    {1048, 1060, "識別名", 500, false, 12, 161, 150, 260},
    {1050, 1061, "DAISY発行者", 500, true, 12, 191, 150, 260},
    {1052, 1062, "朗読者", 500, true, 12, 251, 150, 260},
    {1054, 1063, "編集者", 500, true, 12, 281, 150, 260},
    {1051, 1064, "原本発行者", 500, true, 14, 71, 150, 260},
    {1053, 1065, "原本発行年月日", 8, false, 14, 101, 150, 260},
    {1055, 1066, "DAISY発行年月日", 8, false, 14, 221, 150, 260},
    {1056, 1067, "ジャンルとスキーム", 500, true, 14, 311, 150, 128},
    {1057, 0, nullptr, 500, true, 14, 311, 282, 128},
};

// The fields top to bottom, the order in which Tab walks them.
const int kScreenOrder[CBookInfoDlg::kFieldCount] = {0, 1, 7, 8, 2, 3, 4, 9, 5, 6, 10, 11};

}  // namespace

CBookInfoDlg::CBookInfoDlg(wxWindow* parent) : wxDialog(parent, IDD, ToWx("書誌情報")) {
    const wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    SetFont(font);
    for (int field : kScreenOrder) {
        const FieldInfo& info = kFields[field];
        if (info.labelId != 0) {
            m_label[field] = new wxStaticText(this, info.labelId, ToWx(info.caption));
            m_label[field]->SetFont(font);
        }
        m_edit[field] = new wxTextCtrl(this, info.editId);
        m_edit[field]->SetFont(font);
        m_edit[field]->Bind(wxEVT_SET_FOCUS, &CBookInfoDlg::OnEditSetFocus, this);
    }
    for (int field = 0; field < kFieldCount; ++field) {
        // Genre and Scheme share one label; each says which of the two it is.
        const int shared = field == kFieldCount - 1 ? field - 1 : field;
        if (m_label[shared]) SetAccessibleLabel(*m_label[shared], *m_edit[field]);
    }
    SetAccessibleDescription(*m_edit[kFieldCount - 2], "ジャンル");
    SetAccessibleDescription(*m_edit[kFieldCount - 1], "スキーム");
    m_btnOk = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_btnCancel = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    m_btnOk->SetFont(font);
    m_btnCancel->SetFont(font);
    m_btnOk->SetDefault();
    SetClientSize(428, 383);
    LayoutControls();
    Bind(wxEVT_BUTTON, &CBookInfoDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
}

int CBookInfoDlg::GetEditId(int field) { return kFields[field].editId; }

int CBookInfoDlg::GetMaxBytes(int field) { return kFields[field].maxBytes; }

CString& CBookInfoDlg::FieldText(int field) {
    CString* const texts[kFieldCount] = {
        &m_strTitle,  &m_strAuthor,       &m_strIsbn,           &m_strDiscrimination,
        &m_strPublisher, &m_strReader,    &m_strEditor,         &m_strOrgPublisher,
        &m_strOrgPublishDate, &m_strPublishDate, &m_strGenre,   &m_strScheme};
    return *texts[field];
}

bool CBookInfoDlg::TransferDataToWindow() {
    for (int i = 0; i < kFieldCount; ++i) m_edit[i]->ChangeValue(ToWx(FieldText(i)));
    return true;
}

bool CBookInfoDlg::TransferDataFromWindow() {
    for (int i = 0; i < kFieldCount; ++i) FieldText(i) = FromWx(m_edit[i]->GetValue());
    return true;
}

void CBookInfoDlg::OnOK(wxCommandEvent&) {
    TransferDataFromWindow();
    for (int i = 0; i < kFieldCount; ++i) {
        if (FieldText(i).GetLength() > kFields[i].maxBytes) {
            KvMessageBox(this, "入力桁数を超えています。", "エラー", MB_OK | MB_ICONSTOP);
            m_edit[i]->SetFocus();
            return;
        }
    }
    EndModal(wxID_OK);
}

void CBookInfoDlg::OnEditSetFocus(wxFocusEvent& event) {
    event.Skip();
    auto* edit = wxDynamicCast(event.GetEventObject(), wxWindow);
    for (const FieldInfo& info : kFields) {
        if (!edit || edit->GetId() != info.editId) continue;
        if (info.nativeInput) OpenInputMethodNative(edit);
        else CloseInputMethod(edit);
    }
}

void CBookInfoDlg::LayoutControls() {
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldInfo& info = kFields[i];
        if (info.labelId != 0) m_label[i]->SetSize(info.labelX, info.y, 128, 23);
        m_edit[i]->SetSize(info.editX, info.y, info.editWidth, 23);
    }
    m_btnOk->SetSize(206, 347, 100, 26);
    m_btnCancel->SetSize(314, 347, 100, 26);
}
