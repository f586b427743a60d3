// The question for the bibliographic information, asked by the build and the export
// while the book has no title.

#include "app/BookInfoDlg.h"
#include "app/KorvaneView.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

int CKorvaneView::AskBookInfo() {
    CBookInfoDlg dlg(m_bHasWindow ? this : nullptr);
    const BookInfo& b = m_bookInfo;
    dlg.m_strTitle = b.m_strTitle;
    dlg.m_strAuthor = b.m_strAuthor;
    dlg.m_strIsbn = b.m_strIsbn;
    dlg.m_strDiscrimination = b.m_strDiscrimination;
    dlg.m_strPublisher = b.m_strPublisher;
    dlg.m_strReader = b.m_strReader;
    dlg.m_strEditor = b.m_strEditor;
    dlg.m_strOrgPublisher = b.m_strOrgPublisher;
    dlg.m_strOrgPublishDate = b.m_strOrgPublishDate;
    dlg.m_strPublishDate = b.m_strPublishDate;
    dlg.m_strGenre = b.m_strGenre;
    dlg.m_strScheme = b.m_strScheme;
    if (RunModal(dlg) != IDOK) return 2;

    // The first seven are kept as typed; the writers escape them where they go into
    // markup. The last five are stored escaped, as they always have been, so that
    // project files keep their form.
    BookInfo& out = m_bookInfo;
    out.m_strTitle = dlg.m_strTitle;
    out.m_strAuthor = dlg.m_strAuthor;
    out.m_strIsbn = dlg.m_strIsbn;
    out.m_strDiscrimination = dlg.m_strDiscrimination;
    out.m_strPublisher = dlg.m_strPublisher;
    out.m_strReader = dlg.m_strReader;
    out.m_strEditor = dlg.m_strEditor;
    out.m_strOrgPublisher = EscapeMarkup(dlg.m_strOrgPublisher);
    out.m_strOrgPublishDate = EscapeMarkup(dlg.m_strOrgPublishDate);
    out.m_strPublishDate = EscapeMarkup(dlg.m_strPublishDate);
    out.m_strGenre = EscapeMarkup(dlg.m_strGenre);
    out.m_strScheme = EscapeMarkup(dlg.m_strScheme);
    return 0;
}
