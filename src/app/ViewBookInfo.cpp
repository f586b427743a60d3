// "書誌情報(&I)... Ctrl+I": edits the book's bibliographic record in its dialog.

#include "app/BookInfoDlg.h"
#include "app/KorvaneView.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

void CKorvaneView::OnBookInfo() {
    OnButtonStop();
    CBookInfoDlg dlg(HasWindow() ? this : nullptr);
    CString* const record[CBookInfoDlg::kFieldCount] = {
        &m_bookInfo.m_strTitle,     &m_bookInfo.m_strAuthor,         &m_bookInfo.m_strIsbn,
        &m_bookInfo.m_strDiscrimination, &m_bookInfo.m_strPublisher, &m_bookInfo.m_strReader,
        &m_bookInfo.m_strEditor,    &m_bookInfo.m_strOrgPublisher,   &m_bookInfo.m_strOrgPublishDate,
        &m_bookInfo.m_strPublishDate, &m_bookInfo.m_strGenre,        &m_bookInfo.m_strScheme};
    for (int i = 0; i < CBookInfoDlg::kFieldCount; ++i) dlg.FieldText(i) = *record[i];
    if (RunModal(dlg) != IDOK) return;
    // Every field ends up in the book's markup; the special characters are stored already
    // replaced, so the dialog shows them as they will be written.
    for (int i = 0; i < CBookInfoDlg::kFieldCount; ++i) *record[i] = EscapeMarkup(dlg.FieldText(i));
}
