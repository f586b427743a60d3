#include "app/SectionDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/KorvaneView.h"
#include "audio/LevelMeter.h"
#include "audio/PlayerRange.h"
#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogKeys.h"
#include "platform/DropDown.h"
#include "platform/EditText.h"
#include "platform/FontMap.h"
#include "platform/InputMethod.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"

namespace {

void ShowError(wxWindow* parent, const char* text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

}  // namespace

CSectionDlg::CSectionDlg(CKorvaneView* view)
    : wxDialog(view && view->HasWindow() ? view : nullptr, IDD, ToWx("セクションプロパティ")), m_pView(view) {
    SetFont(KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック"));
    // Created in the order Tab should walk them.
    new wxStaticText(this, 1064, ToWx("レベル"));
    m_cmbLevel = new wxChoice(this, IDC_LEVEL);
    for (const char* item : {"レベル１", "レベル２", "レベル３", "レベル４", "レベル５", "レベル６"})
        m_cmbLevel->Append(ToWx(item));
    m_btnPlay = new wxButton(this, IDC_PLAY, wxASCII_STR("PLAY(F4)"));
    new wxStaticText(this, 1065, ToWx("見出し"));
    m_edtHeading = CreateMultiLineEdit(this, IDC_HEADING);
    new wxStaticText(this, 1066, ToWx("開始ページ"));
    m_edtStartPage = new wxTextCtrl(this, IDC_START_PAGE);
    new wxStaticText(this, 1067, ToWx("終了ページ"));
    m_edtEndPage = new wxTextCtrl(this, IDC_END_PAGE);
    new wxStaticText(this, 1068, ToWx("コメント"));
    m_edtComment = CreateMultiLineEdit(this, IDC_COMMENT);
    m_btnPrev = new wxButton(this, IDC_PREV, ToWx("前へ(F2)"));
    m_btnNext = new wxButton(this, IDC_NEXT, ToWx("次へ(F3)"));
    auto* ok = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    SetAccessibleLabels(*this, {{1064, IDC_LEVEL}, {1065, IDC_HEADING}, {1066, IDC_START_PAGE},
                                {1067, IDC_END_PAGE}, {1068, IDC_COMMENT}});
    for (wxWindow* w : GetChildren()) w->SetFont(GetFont());
    ok->SetDefault();
    SetClientSize(398 - 6, 292 - 3);
    LayoutControls();

    for (wxWindow* w : {static_cast<wxWindow*>(m_cmbLevel), static_cast<wxWindow*>(m_edtStartPage),
                        static_cast<wxWindow*>(m_edtEndPage)})
        w->Bind(wxEVT_SET_FOCUS, [w](wxFocusEvent& e) {
            e.Skip();
            DetachInputMethod(w);
        });
    for (wxWindow* w : {static_cast<wxWindow*>(m_edtHeading), static_cast<wxWindow*>(m_edtComment)})
        w->Bind(wxEVT_SET_FOCUS, [w](wxFocusEvent& e) {
            e.Skip();
            OpenInputMethodNative(w);
        });
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnButtonPlay(); }, IDC_PLAY);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnButtonPrev(); }, IDC_PREV);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnButtonNext(); }, IDC_NEXT);
    Bind(wxEVT_BUTTON, &CSectionDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CSectionDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        wxCommandEvent cancel;
        OnCancel(cancel);
    });
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent&) {
        // The fields are filled before anything plays: a playback failure shows its
        // message over the dialog, which must then show the section it is about.
        TransferDataToWindow();
        UpdateStepButtons();
        m_wavePlayer.Initialize();
        m_mp3Player.Initialize();
        // The first phrase plays as the dialog opens.
        OnButtonPlay();
    });
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent& e) {
        if (e.ControlDown() || e.AltDown()) return false;
        return OnKey(vk);
    });
}

CSectionDlg::~CSectionDlg() {
    StopOpenDevice();
    m_wavePlayer.FreeBuffers();
    m_mp3Player.FreeBuffers();
}

bool CSectionDlg::OnKey(int vk) {
    switch (vk) {
    case VK_F2:
        if (m_btnPrev->IsEnabled()) OnButtonPrev();
        return true;
    case VK_F3:
        if (m_btnNext->IsEnabled()) OnButtonNext();
        return true;
    case VK_F4:
        OnButtonPlay();
        return true;
    case VK_RETURN: {
        // The two multi-line fields take Enter as a line break.
        wxWindow* focus = wxWindow::FindFocus();
        if (focus == m_edtHeading || focus == m_edtComment) return false;
        return PressButtonForEnter(*this, vk);
    }
    default:
        return false;
    }
}

bool CSectionDlg::TransferDataToWindow() {
    m_cmbLevel->SetSelection(m_nLevel);
    SetEditText(*m_edtHeading, m_strHeading);
    SetEditText(*m_edtStartPage, m_strStartPage);
    SetEditText(*m_edtEndPage, m_strEndPage);
    SetEditText(*m_edtComment, m_strComment);
    return true;
}

bool CSectionDlg::TransferDataFromWindow() {
    m_nLevel = m_cmbLevel->GetSelection();
    m_strHeading = GetEditText(*m_edtHeading);
    m_strStartPage = GetEditText(*m_edtStartPage);
    m_strEndPage = GetEditText(*m_edtEndPage);
    m_strComment = GetEditText(*m_edtComment);
    return true;
}

void CSectionDlg::UpdateStepButtons() {
    const int count = m_pView ? m_pView->m_lstSection.GetCount() : 0;
    m_btnPrev->Enable(m_nSectionIndex != 0);
    m_btnNext->Enable(m_nSectionIndex != count - 1);
}

int CSectionDlg::CheckInputLength() {
    TransferDataFromWindow();
    const char* tooLong = "入力桁数を超えています。";
    auto refuse = [this](const char* text, wxWindow* field) {
        ShowError(this, text);
        field->SetFocus();
        return 0;
    };
    if (m_strHeading.GetLength() > 500) return refuse(tooLong, m_edtHeading);
    if (m_strStartPage.GetLength() > 10) return refuse(tooLong, m_edtStartPage);
    if (m_strEndPage.GetLength() > 10) return refuse(tooLong, m_edtEndPage);
    if (m_strComment.GetLength() > 500) return refuse(tooLong, m_edtComment);
    if (!m_strEndPage.IsEmpty() && m_strStartPage.IsEmpty()) return refuse("開始ページを入力して下さい。", m_edtStartPage);
    return 1;
}

void CSectionDlg::StopOpenDevice() {
    const int state = m_nAudioKind == 1 ? m_wavePlayer.GetDeviceState() : m_mp3Player.GetDeviceState();
    if (state == kAudioDeviceOpen) StopPlayer();
}

void CSectionDlg::OnOK(wxCommandEvent&) {
    StopOpenDevice();
    if (CheckInputLength() == 1) EndModal(wxID_OK);
}

void CSectionDlg::OnCancel(wxCommandEvent&) {
    StopOpenDevice();
    if (IsModal()) EndModal(wxID_CANCEL);
}

void CSectionDlg::OnButtonPrev() { Step(-1); }

void CSectionDlg::OnButtonNext() { Step(+1); }

void CSectionDlg::Step(int delta) {
    StopOpenDevice();
    if (CheckInputLength() == 0) return;
    CSectionInformation* section = m_pView->m_lstSection.GetAt(m_nSectionIndex);
    const int target = m_nSectionIndex + delta;
    if (!section || !m_pView->m_lstSection.GetAt(target)) return;
    m_pView->m_nSectionUndoKind = 2;
    m_pView->SaveUndoSections();
    section->m_nLevel = m_nLevel;
    section->m_strHeading = m_strHeading;
    section->m_strHeading.Replace("\r\n", "");
    section->m_strStartPage = m_strStartPage;
    section->m_strEndPage = m_strEndPage;
    section->m_strComment = m_strComment;
    section->m_strComment.Replace("\r\n", "");
    m_nSectionIndex = target;
    m_pView->SelectSection(target);
    LoadFromSection();
    TransferDataToWindow();
    m_edtHeading->SetFocus();
    m_edtHeading->SelectAll();
    m_edtHeading->ShowPosition(0);
    UpdateStepButtons();
    OnButtonPlay();
}

void CSectionDlg::LoadFromSection() {
    const CSectionInformation* section = m_pView->m_lstSection.GetAt(m_nSectionIndex);
    if (!section) return;
    m_nLevel = section->m_nLevel;
    m_strHeading = section->m_strHeading;
    m_strComment = section->m_strComment;
    m_strStartPage.Empty();
    m_strEndPage.Empty();
    // The pages the section spans: the first and the last numbered page among its phrases.
    int numbered = 0;
    for (const auto& phrase : section->m_lstPhrase) {
        if (phrase->m_nPageKind != 1 && phrase->m_nPageKind != 2) continue;
        if (numbered++ == 0) m_strStartPage = phrase->m_strPageText;
        else m_strEndPage = phrase->m_strPageText;
    }
}

void CSectionDlg::OnButtonPlay() {
    const int state = m_nAudioKind == 1 ? m_wavePlayer.GetDeviceState() : m_mp3Player.GetDeviceState();
    if (state == kAudioDeviceOpen) StopPlayer();
    else PlayPhrase();
}

namespace {

template <class Player>
int StartPlayer(Player& player, const CKorvaneView& view, const CPhraseInformation& phrase, IWaveOutOwner* owner) {
    const CString path = view.m_strProjectFolder + "/" + phrase.m_strFileName;
    player.SetSampleRate(static_cast<uint32_t>(view.m_nSamplePerSec));
    int r = player.SetSpeed(2);
    if (r == kAudioOk) r = SetPhraseRange(player, phrase.m_nStart, phrase.m_nLength);
    if (r == kAudioOk) r = player.OpenFile(path.c_str());
    if (r == kAudioOk) r = player.QueryDevice(WAVE_MAPPER);
    if (r == kAudioOk) r = player.OpenDevice(WAVE_MAPPER, owner);
    if (r == kAudioOk) r = player.Start();
    return r;
}

}  // namespace

void CSectionDlg::PlayPhrase() {
    const CSectionInformation* section = m_pView ? m_pView->m_lstSection.GetAt(m_nSectionIndex) : nullptr;
    const CPhraseInformation* phrase = section ? section->m_lstPhrase.GetHead() : nullptr;
    if (!phrase) return;
    StopOpenDevice();
    int r;
    if (m_nAudioKind == 1) {
        r = StartPlayer(m_wavePlayer, *m_pView, *phrase, this);
    } else {
        m_mp3Player.SetDataFolder(m_pView->m_strExeFolder);
        r = StartPlayer(m_mp3Player, *m_pView, *phrase, this);
    }
    if (r != kAudioOk && r != kAudioNothingQueued) {
        if (m_nAudioKind != 1) ShowError(this, "再生処理でエラーが発生しました");
        StopPlayer();
        return;
    }
    m_btnPlay->SetLabel(wxASCII_STR("STOP(F4)"));
    // A range with nothing to read queued no buffer; nothing would ever end it.
    const int queued = m_nAudioKind == 1 ? m_wavePlayer.GetPlayState() : m_mp3Player.GetPlayState();
    if (queued == kAudioNothingQueued) StopPlayer();
}

void CSectionDlg::StopPlayer() {
    const bool failed = m_nAudioKind == 1 ? (m_wavePlayer.Stop() != kAudioOk || m_wavePlayer.CloseFile() != kAudioOk ||
                                             m_wavePlayer.CloseDevice() != kAudioOk)
                                          : (m_mp3Player.Stop() != kAudioOk || m_mp3Player.CloseFile() != kAudioOk ||
                                             m_mp3Player.CloseDevice() != kAudioOk);
    if (failed) ShowError(this, "再生処理でエラーが発生しました");
    m_btnPlay->SetLabel(wxASCII_STR("PLAY(F4)"));
    if (m_pView && m_pView->m_staticLevelMeter) m_pView->m_staticLevelMeter->SetLevel(-96);
}

void CSectionDlg::OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) {
    const int level = CWavePlayOperation::GetPeakLevel(header);
    const bool wave = m_nAudioKind == 1;
    const int r = wave ? m_wavePlayer.OnBufferDone(device, header) : m_mp3Player.OnBufferDone(device, header);
    if (r == kAudioOk || r == kAudioNothingQueued) {
        if (m_pView && m_pView->m_staticLevelMeter) m_pView->m_staticLevelMeter->SetLevel(level);
    } else if (r == 10 || r == 26 || r == 27 || r == 28 || r == 31) {
        StopPlayer();
        return;
    }
    // Only the first phrase plays: its end ends playback.
    const int deviceState = wave ? m_wavePlayer.GetDeviceState() : m_mp3Player.GetDeviceState();
    const int playState = wave ? m_wavePlayer.GetPlayState() : m_mp3Player.GetPlayState();
    if (deviceState == kAudioDeviceOpen && playState == kAudioNothingQueued) StopPlayer();
}

void CSectionDlg::LayoutControls() {
    const struct { int id, x, y, w, h; } rects[] = {
        {1064, 8, 15, 80, 23},           {1065, 8, 49, 80, 23},           {1066, 8, 116, 80, 23},
        {1067, 208, 116, 80, 23},        {1068, 8, 154, 80, 23},          {IDC_LEVEL, 92, 15, 120, 23},
        {IDC_HEADING, 92, 49, 292, 56},  {IDC_START_PAGE, 92, 116, 92, 23}, {IDC_END_PAGE, 292, 116, 92, 23},
        {IDC_COMMENT, 92, 150, 292, 90}, {IDC_PLAY, 300, 13, 84, 26},     {IDC_PREV, 8, 251, 72, 26},
        {IDC_NEXT, 84, 251, 72, 26},     {wxID_OK, 180, 251, 100, 26},    {wxID_CANCEL, 284, 251, 100, 26},
    };
    for (const auto& r : rects)
        if (auto* choice = wxDynamicCast(FindWindow(r.id), wxChoice))
            choice->SetSize(FitDropDown(*choice, wxRect(r.x, r.y, r.w, r.h)));
        else if (wxWindow* w = FindWindow(r.id))
            w->SetSize(r.x, r.y, r.w, r.h);
}
