// DiscInfo.html: the one-link page at a disc's root that leads to the book's NCC in
// the folder named after the project.

#include "app/KorvaneView.h"
#include "daisy/BookTextFile.h"

int CKorvaneView::WriteDiscInfo(const CString& folder, const CString& projectName) {
    CBookTextFile file(EBookFileStep::DiscInfo);
    if (!file.Open(folder + "/DiscInfo.html")) return 4;

    const CString link = "./" + projectName + "/NCC.html";
    file.Line(0, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
    file.Line(0, "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                 "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">");
    file.Line(0, "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"ja\" lang=\"ja\">");
    file.Line(0, "<head>");
    file.Line(0, "<title>CD Information</title>");
    file.Line(0, "<meta http-equiv=\"Content-type\" content=\"text/html; charset=Shift_JIS\"/>");
    file.Line(0, "</head>");
    file.Line(0, "<body>");
    // The title is escaped here too: a record read from an older project file or from
    // an imported book may hold the raw characters, and one "&" makes the page invalid.
    if (!m_bookInfo.m_strTitle.IsEmpty())
        file.Line(0, CString::Formatted("<a href=\"%s\">%s</a>", link.c_str(),
                                        EscapeMarkup(m_bookInfo.m_strTitle).c_str()));
    else
        file.Line(0, CString::Formatted("<a href=\"%s\">タイトルなし</a>", link.c_str()));
    file.Line(0, "</body>");
    file.Line(0, "</html>");
    return file.Close() ? 0 : 5;
}
