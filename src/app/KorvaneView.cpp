#include "app/KorvaneView.h"

#include <sys/stat.h>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/settings.h>

#include "app/AppStrings.h"
#include "app/ButtonIcons.h"
#include "app/ControlIds.h"
#include "audio/LevelMeter.h"
#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FocusKeeper.h"
#include "platform/FileSystem.h"
#include "platform/FontMap.h"
#include "platform/MessageBox.h"
#include "platform/ReportList.h"

namespace {

// Buttons in the order of their ids 1001..1011, with the key that each answers to (the
// accelerator of the same command, which the key filter lets through).
const char* const kKeys[11] = {"Q", "W", "G", "P", "M", "E", "R", "D", "H", "C", "V"};
const char* const kButtonNames[11] = {"レベルUp", "レベルDown", "グループ", "ページ", "マーク", "BACK",
                                      "NEXT", "Play", "Stop", "Head", "Tail"};

void Place(wxWindow* w, int x, int y, int width, int height) {
    // Before the first real size the form is tiny and the formulas go negative.
    if (w) w->SetSize(x, y, std::max(0, width), std::max(0, height));
}

}  // namespace

CKorvaneView::CKorvaneView(wxWindow* parent)
    : wxPanel(parent, IDD_KORVANE_FORM, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxWANTS_CHARS),
      m_bHasWindow(true) {
    CreateControls();
    BindButtons();
    Bind(wxEVT_SIZE, &CKorvaneView::OnSize, this);
    Bind(wxEVT_PAINT, &CKorvaneView::OnPaint, this);
    // After a modal window, a window without a focused control takes no keys at all: the
    // list the user worked in gets the focus back, else the section list.
    CFocusKeeper::SetFallback(this, [this]() -> wxWindow* {
        IListView* list = m_hFocusList ? m_hFocusList : m_listSection;
        return list ? list->GetWindow() : nullptr;
    });
}

CKorvaneView::CKorvaneView() = default;

void CKorvaneView::AttachLists(IListView* sectionList, IListView* phraseList) {
    m_listSection = sectionList;
    m_listPhrase = phraseList;
    if (m_listSection) m_listSection->SetOwner(this);
    if (m_listPhrase) m_listPhrase->SetOwner(this);
}

void CKorvaneView::SetControlText(int id, const CString& text) {
    m_mapControlText[id] = text;
    if (!m_bHasWindow) return;
    if (auto* label = wxDynamicCast(FindWindow(id), wxStaticText)) {
        wxString shown = ToWx(text);
        if (label->GetLabel() != shown) label->SetLabel(shown);
    }
}

CString CKorvaneView::GetControlText(int id) const {
    auto it = m_mapControlText.find(id);
    return it == m_mapControlText.end() ? CString() : it->second;
}

CKorvaneView::~CKorvaneView() {
    CFocusKeeper::ClearFallback(this);
    m_wavePlayer.Stop();
    m_wavePlayer.CloseFile();
    m_wavePlayer.CloseDevice();
    m_wavePlayer.FreeBuffers();
    DeleteAllLists();
}

wxStaticText* CKorvaneView::MakeLabel(int id, const char* text, bool blackBackground) {
    auto* label = new wxStaticText(this, id, ToWx(text), wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
    if (blackBackground) {
        label->SetBackgroundColour(*wxBLACK);
        label->SetForegroundColour(*wxWHITE);
    }
    return label;
}

wxButton* CKorvaneView::MakeButton(int id) {
    auto* button = new wxButton(this, id, wxEmptyString, wxDefaultPosition, wxSize(44, 41), wxBU_EXACTFIT | wxBU_NOTEXT);
    // The picture carries the meaning; the caption is what a screen reader reads and
    // what the tooltip shows.
    const char* caption = kButtonNames[id - IDC_BUTTON_LEVELUP];
    button->SetName(ToWx(caption));
    button->SetToolTip(ToWx(caption));
    SetAccessibleName(*button, caption);
    // The key is shown in a label of its own under the button, which a screen reader does
    // not read with it: the button tells it.
    const CString key = kKeys[id - IDC_BUTTON_LEVELUP];
    SetAccessibleKeyBinding(*button, key);
    SetAccessibleDescription(*button, key + "キー");
    return button;
}

void CKorvaneView::CreateControls() {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    auto* sectionList = new CReportList(this, IDC_LIST_SECTION);
    m_btnLevelUp = MakeButton(IDC_BUTTON_LEVELUP);
    m_btnLevelDown = MakeButton(IDC_BUTTON_LEVELDOWN);
    m_btnGroup = MakeButton(IDC_BUTTON_GROUP);
    m_btnPage = MakeButton(IDC_BUTTON_PAGE);
    m_btnMark = MakeButton(IDC_BUTTON_MARK);
    m_btnBack = MakeButton(IDC_BUTTON_BACK);
    m_btnNext = MakeButton(IDC_BUTTON_NEXT);
    m_btnPlay = MakeButton(IDC_BUTTON_PLAY);
    m_btnStop = MakeButton(IDC_BUTTON_STOP);
    m_btnHead = MakeButton(IDC_BUTTON_HEAD);
    m_btnTail = MakeButton(IDC_BUTTON_TAIL);
    for (int i = 0; i < 11; ++i) {
        m_staticKey[i] = MakeLabel(IDC_STATIC_KEY_FIRST + i, ("(" + CString(kKeys[i]) + ")").GetString(), false);
        m_staticKey[i]->SetWindowStyleFlag(m_staticKey[i]->GetWindowStyleFlag() | wxALIGN_CENTRE_HORIZONTAL);
    }
    m_staticSectionLabel = MakeLabel(IDC_STATIC_SECTION_LABEL, " セクション：", true);
    m_staticSectionNo = MakeLabel(IDC_STATIC_SECTION_NO, "", true);
    m_staticSlash1 = MakeLabel(IDC_STATIC_SLASH1, "/", true);
    m_staticSectionCount = MakeLabel(IDC_STATIC_SECTION_COUNT, "", true);
    m_staticPhraseLabel = MakeLabel(IDC_STATIC_PHRASE_LABEL, " フレーズ　：", true);
    m_staticPhraseNo = MakeLabel(IDC_STATIC_PHRASE_NO, "", true);
    m_staticSlash2 = MakeLabel(IDC_STATIC_SLASH2, "/", true);
    m_staticPhraseCount = MakeLabel(IDC_STATIC_PHRASE_COUNT, "", true);
    auto* phraseList = new CReportList(this, IDC_LIST_PHRASE);
    // A screen reader names each list after the label beside it.
    sectionList->SetAccessibleName("セクション");
    phraseList->SetAccessibleName("フレーズ");
    AttachLists(sectionList, phraseList);
    m_staticLevelScale = new CLMScaleStatic(this, IDC_STATIC_LEVEL_SCALE);
    m_staticLevelMeter = new CLMRectStatic(this, IDC_STATIC_LEVEL_METER);
    m_staticFormatLabel = MakeLabel(IDC_STATIC_FORMAT_LABEL, " フォーマット：", true);
    m_staticFormat = MakeLabel(IDC_STATIC_FORMAT, "", true);
    m_staticSpeedLabel = MakeLabel(IDC_STATIC_SPEED_LABEL, " スピード ：", true);
    m_staticSpeed = MakeLabel(IDC_STATIC_SPEED, "", true);
    m_staticVolumeLabel = MakeLabel(IDC_STATIC_VOLUME_LABEL, " 再生音量 ：", true);
    m_staticVolume = MakeLabel(IDC_STATIC_VOLUME, "", true);
    // Values stand in front of their black label boxes.
    for (wxWindow* w : {static_cast<wxWindow*>(m_staticSectionNo), static_cast<wxWindow*>(m_staticSlash1),
                        static_cast<wxWindow*>(m_staticSectionCount), static_cast<wxWindow*>(m_staticPhraseNo),
                        static_cast<wxWindow*>(m_staticSlash2), static_cast<wxWindow*>(m_staticPhraseCount),
                        static_cast<wxWindow*>(m_staticFormat), static_cast<wxWindow*>(m_staticSpeed),
                        static_cast<wxWindow*>(m_staticVolume), static_cast<wxWindow*>(m_staticLevelMeter)})
        w->Raise();
}

void CKorvaneView::MeasureFrameBars() {
    if (!m_bHasWindow) return;
    wxFrame* frame = wxDynamicCast(wxGetTopLevelParent(this), wxFrame);
    if (!frame) return;
    wxMenuBar* menu = frame->GetMenuBar();
    int menuRow = menu ? menu->GetBestSize().y : 0;
    int menuTotal = menu ? menu->GetSize().y : 0;
    // A menu bar that wraps counts as several rows.
    m_nMenuHeight = (menuRow > 0 && menuTotal > menuRow) ? menuRow * (menuTotal / menuRow) : std::max(menuRow, menuTotal);
    int caption = frame->GetSize().y - frame->GetClientSize().y - menuTotal;
    m_nCaptionHeight = std::max(0, caption);
}

void CKorvaneView::OnInitialUpdate() {
    MeasureFrameBars();
    m_brWhite = wxBrush(*wxWHITE);
    m_brBlack = wxBrush(*wxBLACK);
    LoadColumnWidths();
    CreateListColumns();
    LoadSettings();
    LoadPrevVersionFolder();
    SetButtonIcons();
    CreateFonts();
    ApplyListFont();
    if (m_bHasWindow) {
        wxSize client = GetClientSize();
        LayoutControls(client.x, client.y);
    }
    DisableButtons();
    m_bookInfo.Clear();
    m_bProjectOpen = 0;
    m_nSectionUndoKind = 0;
    m_nPhraseUndoKind = 0;
    m_strProjectFile.Empty();
    m_wavePlayer.Initialize();
    m_mp3Player.Initialize();
    InitOutputVolume();
    m_bContinuousPlay = 0;
    m_bSuppressPlay = 0;
    m_nAudioKind = 0;
    ResizeMainWindow();
    // A current system: disc writing is always offered.
    m_bDiscWriteAllowed = 1;
    m_strExeFolder = GetExeFolder();
}

void CKorvaneView::CreateFonts() {
    if (!m_bHasWindow) return;
    m_fontButton = KvCreateFont(12, FW_NORMAL, "ＭＳＰ ゴシック");
    m_fontValue = KvCreateFont(12, FW_BOLD, "ＭＳＰ ゴシック");
    m_fontLabel = KvCreateFont(14, FW_BOLD, "ＭＳ ゴシック");
    m_fontListLarge = KvCreateFont(24, FW_NORMAL, "ＭＳＰ ゴシック");
    m_fontListStandard = KvCreateFont(18, FW_NORMAL, "ＭＳＰ ゴシック");
    m_fontListSmall = KvCreateFont(12, FW_NORMAL, "ＭＳＰ ゴシック");
    for (wxWindow* w : {static_cast<wxWindow*>(m_btnLevelUp), static_cast<wxWindow*>(m_btnLevelDown),
                        static_cast<wxWindow*>(m_btnGroup), static_cast<wxWindow*>(m_btnPage),
                        static_cast<wxWindow*>(m_btnMark), static_cast<wxWindow*>(m_btnBack),
                        static_cast<wxWindow*>(m_btnNext), static_cast<wxWindow*>(m_btnPlay),
                        static_cast<wxWindow*>(m_btnStop), static_cast<wxWindow*>(m_btnHead),
                        static_cast<wxWindow*>(m_btnTail), static_cast<wxWindow*>(m_staticSpeedLabel),
                        static_cast<wxWindow*>(m_staticVolumeLabel)})
        w->SetFont(m_fontButton);
    for (wxStaticText* key : m_staticKey) key->SetFont(m_fontButton);
    m_staticSpeed->SetFont(m_fontValue);
    m_staticVolume->SetFont(m_fontValue);
    for (wxWindow* w : {m_staticSectionLabel, m_staticSectionNo, m_staticSectionCount, m_staticSlash1,
                        m_staticPhraseLabel, m_staticPhraseNo, m_staticSlash2, m_staticPhraseCount,
                        m_staticFormatLabel, m_staticFormat})
        w->SetFont(m_fontLabel);
}

void CKorvaneView::SetButtonIcons() {
    if (!m_bHasWindow) return;
    for (wxButton* b : {m_btnLevelUp, m_btnLevelDown, m_btnGroup, m_btnPage, m_btnMark, m_btnBack, m_btnNext,
                        m_btnPlay, m_btnStop, m_btnHead, m_btnTail})
        b->SetBitmap(DrawButtonIcon(b->GetId(), 32));
}

void CKorvaneView::LayoutControls(int W, int H) {
    if (!m_bHasWindow) return;
    const int h2 = H / 2;
    Place(m_listSection->GetWindow(), 5, 5, W - 10, h2 - 65);
    Place(m_listPhrase->GetWindow(), 5, h2 + 15, W - 10, h2 - 65);
    wxButton* const buttons[11] = {m_btnLevelUp, m_btnLevelDown, m_btnGroup, m_btnPage, m_btnMark, m_btnBack,
                                   m_btnNext, m_btnPlay, m_btnStop, m_btnHead, m_btnTail};
    for (int i = 0; i < 11; ++i) {
        Place(buttons[i], 7 + 47 * i, h2 - 55, 44, 41);
        Place(m_staticKey[i], 7 + 47 * i, h2 - 10, 44, 16);
    }
    Place(m_staticSectionLabel, W - 235, h2 - 55, 230, 30);
    Place(m_staticSectionNo, W - 140, h2 - 53, 60, 26);
    Place(m_staticSlash1, W - 80, h2 - 53, 12, 26);
    Place(m_staticSectionCount, W - 68, h2 - 53, 60, 26);
    Place(m_staticPhraseLabel, W - 235, h2 - 24, 230, 30);
    Place(m_staticPhraseNo, W - 140, h2 - 22, 60, 26);
    Place(m_staticSlash2, W - 80, h2 - 22, 12, 26);
    Place(m_staticPhraseCount, W - 68, h2 - 22, 60, 26);
    Place(m_staticLevelScale, 8, H - 45, 366, 41);
    Place(m_staticLevelMeter, 36, H - 26, 324, 15);
    Place(m_staticFormatLabel, 385, H - 45, 280, 41);
    Place(m_staticFormat, 500, H - 43, 160, 36);
    Place(m_staticSpeedLabel, 675, H - 45, 110, 20);
    Place(m_staticSpeed, 730, H - 43, 50, 17);
    Place(m_staticVolumeLabel, 675, H - 24, 110, 20);
    Place(m_staticVolume, 735, H - 22, 45, 17);
}

void CKorvaneView::OnSize(wxSizeEvent& event) {
    event.Skip();
    wxSize client = GetClientSize();
    LayoutControls(client.x, client.y);
    Refresh(false);
}

CString CKorvaneView::GetTitleText() const {
    if (m_strProjectFile.IsEmpty()) return CString(g_strMainTitle);
    return CString(g_strMainTitle) + " - " + m_strProjectFile;
}

void CKorvaneView::UpdateTitle() {
    if (!m_bHasWindow) return;
    wxWindow* top = wxGetTopLevelParent(this);
    if (!top) return;
    wxString title = ToWx(GetTitleText());
    if (top->GetLabel() != title) top->SetLabel(title);
}

void CKorvaneView::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    // The meter is not invalidated here: the toolkit draws the form's area under a child
    // window too, so the meter's redraw would paint the form again, and so on for ever.
    // The toolkit redraws the meter itself wherever it was uncovered.
    MeasureFrameBars();
    UpdateTitle();
}

void CKorvaneView::ResizeMainWindow() {
    if (!m_bHasWindow) return;
    wxWindow* top = wxGetTopLevelParent(this);
    if (!top) return;
    wxPoint at = top->GetPosition();
    top->SetSize(at.x, at.y, 800, 555 + m_nCaptionHeight + m_nMenuHeight);
}

void CKorvaneView::EnableButtons() {
    m_bButtonsEnabled = true;
    if (!m_bHasWindow) return;
    for (wxButton* b : {m_btnLevelUp, m_btnLevelDown, m_btnGroup, m_btnPage, m_btnMark, m_btnBack, m_btnNext,
                        m_btnPlay, m_btnStop, m_btnHead, m_btnTail})
        b->Enable(true);
}

void CKorvaneView::DisableButtons() {
    m_bButtonsEnabled = false;
    if (!m_bHasWindow) return;
    for (wxButton* b : {m_btnLevelUp, m_btnLevelDown, m_btnGroup, m_btnPage, m_btnMark, m_btnBack, m_btnNext,
                        m_btnPlay, m_btnStop, m_btnHead, m_btnTail})
        b->Enable(false);
}

void CKorvaneView::DeleteAllLists() {
    m_lstSection.RemoveAll();
    m_lstSectionUndo.RemoveAll();
    m_lstSectionClipboard.RemoveAll();
    m_lstPhraseUndo.RemoveAll();
    m_lstPhraseClipboard.RemoveAll();
}

bool CKorvaneView::SaveOnClose() {
    if (!m_strProjectFile.IsEmpty() && SaveProject() != 0) {
        const CString text = "プロジェクトの保存時にエラーが発生しました。\n" + m_strProjectFolder +
                             "\n\n保存せずに終了しますか？";
        // "No" is the default: a key pressed by mistake must not throw the changes away.
        if (KvMessageBox(m_bHasWindow ? this : nullptr, text, "確認", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES)
            return false;
    }
    SaveSettings();
    SaveColumnWidths();
    return true;
}

CString CKorvaneView::GetExeFolder() const { return GetProgramFolder(); }
