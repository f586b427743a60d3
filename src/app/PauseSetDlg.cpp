#include "app/PauseSetDlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogKeys.h"
#include "platform/DropDown.h"
#include "platform/FontMap.h"

CPauseSetDlg::CPauseSetDlg(wxWindow* parent) : wxDialog(parent, 145, ToWx("区切り設定")) {
    wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    SetFont(font);
    new wxStaticBox(this, 1072, ToWx("フレーズ検知"));
    new wxStaticBox(this, 1075, ToWx("セクション検知"));
    new wxStaticBox(this, 1076, ToWx("ノイズ検知"));
    new wxStaticText(this, 1073, ToWx("ポーズ時間"));
    new wxStaticText(this, 1074, ToWx("ポーズ時間"));
    new wxStaticText(this, 1077, ToWx("ノイズレベル"));
    m_cmbPhrasePause = new wxChoice(this, 1069);
    for (const char* item : {"０．２秒", "０．３秒", "０．４秒", "０．５秒", "０．６秒", "０．７秒", "０．８秒", "０．９秒",
                             "１．０秒", "１．５秒", "２．０秒"})
        m_cmbPhrasePause->Append(ToWx(item));
    m_cmbSectionPause = new wxChoice(this, 1070);
    for (const char* item : {"なし", "１秒", "２秒", "３秒", "４秒", "５秒", "６秒", "７秒"})
        m_cmbSectionPause->Append(ToWx(item));
    m_cmbNoiseLevel = new wxChoice(this, 1071);
    for (const char* item : {"高い（-25dB）", "標準（-35dB）", "低い（-45dB）"}) m_cmbNoiseLevel->Append(ToWx(item));
    // Each drop-down is read by its label, and by its group as the group box shows it.
    SetAccessibleLabels(*this, {{1073, 1069}, {1074, 1070}, {1077, 1071}});
    SetAccessibleDescription(*m_cmbPhrasePause, "フレーズ検知");
    SetAccessibleDescription(*m_cmbSectionPause, "セクション検知");
    SetAccessibleDescription(*m_cmbNoiseLevel, "ノイズ検知");
    new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    for (wxWindow* w : GetChildren()) w->SetFont(font);
    if (auto* ok = wxDynamicCast(FindWindow(wxID_OK), wxButton)) ok->SetDefault();
    // The group boxes and the window grow with the widest drop-down.
    for (wxChoice* combo : {m_cmbPhrasePause, m_cmbSectionPause, m_cmbNoiseLevel})
        m_nWiden = std::max(m_nWiden, FitDropDownWidth(*combo, 132) - 132);
    SetClientSize(274 + m_nWiden, 267);
    LayoutControls();
    // Enter chooses OK (or the focused button) rather than opening the drop-down.
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent&) { return PressButtonForEnter(*this, vk); });
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) { e.Skip(); LayoutControls(); });
}

bool CPauseSetDlg::TransferDataToWindow() {
    m_cmbPhrasePause->SetSelection(m_nPhrasePause);
    m_cmbSectionPause->SetSelection(m_nSectionPause);
    m_cmbNoiseLevel->SetSelection(m_nNoiseLevel);
    return true;
}

bool CPauseSetDlg::TransferDataFromWindow() {
    m_nPhrasePause = m_cmbPhrasePause->GetSelection();
    m_nSectionPause = m_cmbSectionPause->GetSelection();
    m_nNoiseLevel = m_cmbNoiseLevel->GetSelection();
    return true;
}

void CPauseSetDlg::LayoutControls() {
    const int groups[3] = {1072, 1075, 1076};
    const int labels[3] = {1073, 1074, 1077};
    const int combos[3] = {1069, 1070, 1071};
    const int tops[3] = {11, 83, 154};
    for (int i = 0; i < 3; ++i) {
        if (wxWindow* w = FindWindow(groups[i])) w->SetSize(12, tops[i], 244 + m_nWiden, 64);
        if (wxWindow* w = FindWindow(labels[i])) w->SetSize(24, tops[i] + 27, 88, 23);
        if (auto* w = wxDynamicCast(FindWindow(combos[i]), wxChoice))
            w->SetSize(FitDropDown(*w, wxRect(116, tops[i] + 27, 132 + m_nWiden, 23)));
    }
    if (wxWindow* ok = FindWindow(wxID_OK)) ok->SetSize(52, 229, 100, 26);
    if (wxWindow* cancel = FindWindow(wxID_CANCEL)) cancel->SetSize(158, 229, 100, 26);
}
