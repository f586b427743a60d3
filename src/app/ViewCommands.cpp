// The view's commands: which handler runs for a menu command, accelerator or button,
// and when the command is enabled.

#include <wx/button.h>

#include "app/CommandIds.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"

namespace {

struct CommandEntry {
    int id;
    void (CKorvaneView::*handler)();
};

// Commands whose handlers exist. A menu item that is not listed here stays disabled.
const CommandEntry kCommands[] = {
    {ID_PROJECT_NEW, &CKorvaneView::OnProjectNew},
    {ID_PROJECT_OPEN, &CKorvaneView::OnProjectOpen},
    {ID_HELP_CONTENTS, &CKorvaneView::OnHelpContents},
    {ID_EDIT_SELECT_ALL, &CKorvaneView::OnEditSelectAll},
    {ID_SECTION_ADD, &CKorvaneView::OnSectionAdd},
    {ID_PREV_PHRASE, &CKorvaneView::OnButtonBack},
    {ID_NEXT_PHRASE, &CKorvaneView::OnButtonNext},
    {ID_PLAY, &CKorvaneView::OnButtonPlay},
    {ID_STOP, &CKorvaneView::OnButtonStop},
    {ID_PAUSE_SETTINGS, &CKorvaneView::OnPauseSetting},
    {ID_SPEED_UP, &CKorvaneView::OnPlaySpeedUp},
    {ID_SPEED_DOWN, &CKorvaneView::OnPlaySpeedDown},
    {ID_VOLUME_UP, &CKorvaneView::OnVolumeUp},
    {ID_VOLUME_DOWN, &CKorvaneView::OnVolumeDown},
    {ID_MP3_QUALITY_SPEED, &CKorvaneView::OnMp3QualitySpeed},
    {ID_MP3_QUALITY_STANDARD, &CKorvaneView::OnMp3QualityStandard},
    {ID_MP3_QUALITY_BEST, &CKorvaneView::OnMp3QualityHigh},
    {ID_LIST_FONT_LARGE, &CKorvaneView::OnListFontLarge},
    {ID_LIST_FONT_STANDARD, &CKorvaneView::OnListFontStandard},
    {ID_LIST_FONT_SMALL, &CKorvaneView::OnListFontSmall},
    {ID_MOVE_HEAD, &CKorvaneView::OnMoveHead},
    {ID_MOVE_TAIL, &CKorvaneView::OnMoveTail},
    {ID_PREV_GROUP, &CKorvaneView::OnPrevGroup},
    {ID_NEXT_GROUP, &CKorvaneView::OnNextGroup},
    {ID_PREV_PAGE, &CKorvaneView::OnPrevPage},
    {ID_NEXT_PAGE, &CKorvaneView::OnNextPage},
    {ID_PREV_MARK, &CKorvaneView::OnPrevMark},
    {ID_NEXT_MARK, &CKorvaneView::OnNextMark},
    {ID_PREV_EVENT, &CKorvaneView::OnPrevEvent},
    {ID_NEXT_EVENT, &CKorvaneView::OnNextEvent},
    {ID_EDIT_UNDO, &CKorvaneView::OnEditUndo},
    {ID_EDIT_CUT, &CKorvaneView::OnEditCut},
    {ID_EDIT_COPY, &CKorvaneView::OnEditCopy},
    {ID_EDIT_PASTE, &CKorvaneView::OnEditPaste},
    {ID_EDIT_DELETE, &CKorvaneView::OnEditDelete},
    {ID_EDIT_DELETE_ALL, &CKorvaneView::OnEditDeleteAll},
    {ID_EDIT_JOIN, &CKorvaneView::OnEditJoin},
    {ID_SECTION_SPLIT, &CKorvaneView::OnSectionSplit},
    {ID_LEVEL_UP, &CKorvaneView::OnLevelUp},
    {ID_LEVEL_DOWN, &CKorvaneView::OnLevelDown},
    {ID_GROUP, &CKorvaneView::OnGroup},
    {ID_PAGE, &CKorvaneView::OnPage},
    {ID_MARK, &CKorvaneView::OnMark},
    {ID_GROUP_DELETE_ALL, &CKorvaneView::OnDeleteAllGroups},
    {ID_PAGE_DELETE_ALL, &CKorvaneView::OnDeleteAllPages},
    {ID_MARK_DELETE_ALL, &CKorvaneView::OnDeleteAllMarks},
    {ID_REFRESH, &CKorvaneView::OnRefresh},
    {ID_BOOK_INFO, &CKorvaneView::OnBookInfo},
    {ID_DAISY_BUILD, &CKorvaneView::OnDaisyBuild},
    {ID_AUDIO_IMPORT, &CKorvaneView::OnAudioImport},
    {ID_DAISY_IMPORT, &CKorvaneView::OnDaisyImport},
    {ID_DAISY_EXPORT, &CKorvaneView::OnDaisyBookExport},
    {ID_DISC_INFO, &CKorvaneView::OnDiscInfo},
    {ID_CD_WRITE, &CKorvaneView::OnDiscWrite},
    {ID_HEADING_SEARCH, &CKorvaneView::OnTitleSearch},
    {ID_PAGE_SEARCH, &CKorvaneView::OnPageSearch},
    {ID_SECTION_SEARCH, &CKorvaneView::OnSectionSearch},
    {ID_PROPERTIES, &CKorvaneView::OnProperties},
    {ID_PHRASE_SPLIT, &CKorvaneView::OnPhraseSplit},
    {ID_SILENCE_DETECT, &CKorvaneView::OnSilenceDetect},
};

// The form's buttons and the handlers they run.
const CommandEntry kButtons[] = {
    {IDC_BUTTON_LEVELUP, &CKorvaneView::OnButtonLevelUp},
    {IDC_BUTTON_LEVELDOWN, &CKorvaneView::OnButtonLevelDown},
    {IDC_BUTTON_GROUP, &CKorvaneView::OnButtonGroup},
    {IDC_BUTTON_PAGE, &CKorvaneView::OnButtonPage},
    {IDC_BUTTON_MARK, &CKorvaneView::OnButtonMark},
    {IDC_BUTTON_HEAD, &CKorvaneView::OnMoveHead},
    {IDC_BUTTON_TAIL, &CKorvaneView::OnMoveTail},
    {IDC_BUTTON_BACK, &CKorvaneView::OnButtonBack},
    {IDC_BUTTON_NEXT, &CKorvaneView::OnButtonNext},
    {IDC_BUTTON_PLAY, &CKorvaneView::OnButtonPlay},
    {IDC_BUTTON_STOP, &CKorvaneView::OnButtonStop},
};

const CommandEntry* Find(int id) {
    for (const CommandEntry& e : kCommands)
        if (e.id == id) return &e;
    return nullptr;
}

// Every edit, move, search, play, build, import, export, silence-detection, disc and
// book-information command needs an open project.
bool NeedsProject(int id) {
    return (id >= 32773 && id <= 32801) || (id >= 32806 && id <= 32810) || id == 32812 || id == 32816 ||
           (id >= 32820 && id <= 32826) || id == 32850 || id == 32851;
}

}  // namespace

bool CKorvaneView::IsCommandEnabled(int id) const {
    if (!Find(id)) return false;
    if (id == ID_CD_WRITE) return m_bProjectOpen == 1 && m_bDiscWriteAllowed == 1;
    // Books of MP3 projects (build, import, export) need the encoder, which this build
    // does not carry yet.
    if (id == ID_DAISY_BUILD || id == ID_DAISY_IMPORT || id == ID_DAISY_EXPORT)
        return m_bProjectOpen == 1 && m_nAudioKind == 1;
    return !NeedsProject(id) || m_bProjectOpen == 1;
}

int CKorvaneView::GetCommandCheck(int id) const {
    switch (id) {
    case ID_MP3_QUALITY_SPEED: return m_nMp3Quality == 0;
    case ID_MP3_QUALITY_STANDARD: return m_nMp3Quality == 1;
    case ID_MP3_QUALITY_BEST: return m_nMp3Quality == 2;
    case ID_LIST_FONT_LARGE: return m_nListFont == 2;
    case ID_LIST_FONT_STANDARD: return m_nListFont == 1;
    case ID_LIST_FONT_SMALL: return m_nListFont == 0;
    default: return -1;
    }
}

bool CKorvaneView::RunCommand(int id) {
    const CommandEntry* e = Find(id);
    if (!e || !IsCommandEnabled(id)) return false;
    (this->*(e->handler))();
    return true;
}

void CKorvaneView::BindButtons() {
    for (const CommandEntry& e : kButtons) {
        auto handler = e.handler;
        Bind(wxEVT_BUTTON, [this, handler](wxCommandEvent&) { (this->*handler)(); }, e.id);
    }
}

// The original opens its HTML help here; there is no such help on this platform.
void CKorvaneView::OnHelpContents() {}
