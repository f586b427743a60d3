// The three search commands: each stops playback and runs its dialog, which selects what
// it finds while it stays open.

#include "app/KorvaneView.h"
#include "app/SearchDlgs.h"
#include "platform/DialogHost.h"

void CKorvaneView::OnTitleSearch() {
    OnButtonStop();
    CTitleSearchDlg dlg(this);
    RunModal(dlg);
}

void CKorvaneView::OnPageSearch() {
    OnButtonStop();
    CPageSearchDlg dlg(this);
    RunModal(dlg);
}

void CKorvaneView::OnSectionSearch() {
    OnButtonStop();
    CSectionSearchDlg dlg(this);
    RunModal(dlg);
}
