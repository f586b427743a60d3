// NCC.html: the book's navigation file. Its head carries the bibliographic record and
// the book's counts; its body has one heading per section, one span per page mark and
// one div per group mark, each linking to its text element in the section's SMIL file.
// The SMIL writer walks the book in the same order with the same counters, so that the
// numbers on both sides agree.

#include <climits>
#include <cstdlib>

#include "app/AppStrings.h"
#include "app/KorvaneView.h"
#include "daisy/BookClock.h"
#include "daisy/BookTextFile.h"

namespace {

const char* const kHeadingLines[6] = {
    "<h1 id=\"heading_%06d\" class=\"section\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h1>",
    "<h2 id=\"heading_%06d\" class=\"chapter\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h2>",
    "<h3 id=\"heading_%06d\" class=\"sub-section\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h3>",
    "<h4 id=\"heading_%06d\" class=\"sub-section\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h4>",
    "<h5 id=\"heading_%06d\" class=\"sub-section\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h5>",
    "<h6 id=\"heading_%06d\" class=\"sub-section\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h6>",
};

// A date of eight bytes is taken as yyyymmdd and written yyyy-mm-dd; anything else is
// written as it stands. Escaped like every other text: the field takes any characters.
CString NccDate(const CString& stored) {
    CString date = stored.GetLength() == 8 ? stored.Left(4) + "-" + stored.Mid(4, 2) + "-" + stored.Mid(6) : stored;
    return CKorvaneView::EscapeMarkup(date);
}

CString FormatLocal(const std::tm& time, const char* format) {
    char text[64];
    size_t n = std::strftime(text, sizeof text, format, &time);
    return CString(text, static_cast<int>(n));
}

// The number a page text starts with (blanks, a sign, digits), 0 when none; kept within
// int so that a long run of digits cannot turn into a negative count.
int LeadingNumber(const CString& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool IsNumberedPage(uint32_t kind) { return kind == 1 || kind == 2; }

}  // namespace

int CKorvaneView::CountTocItems() const {
    int items = 0;
    for (const auto& section : m_lstSection) {
        ++items;
        int j = 0;
        for (const auto& phrase : section->m_lstPhrase) {
            if (phrase->m_nPageKind >= 1 && phrase->m_nPageKind <= 4) ++items;
            if (j > 0 && phrase->m_nGroup == 1) ++items;
            ++j;
        }
    }
    return items;
}

void CKorvaneView::CountPages(int* front, int* normal, int* special) const {
    *front = *normal = *special = 0;
    for (const auto& section : m_lstSection) {
        for (const auto& phrase : section->m_lstPhrase) {
            if (phrase->m_nPageKind == 3) ++*front;
            else if (IsNumberedPage(phrase->m_nPageKind)) ++*normal;
            else if (phrase->m_nPageKind == 4) ++*special;
        }
    }
}

int CKorvaneView::GetMaxPageNormal() const {
    int maxPage = 0;
    bool any = false;
    for (const auto& section : m_lstSection) {
        for (const auto& phrase : section->m_lstPhrase) {
            if (!IsNumberedPage(phrase->m_nPageKind)) continue;
            int value = LeadingNumber(phrase->m_strPageText);
            if (!any || value > maxPage) maxPage = value;
            any = true;
        }
    }
    return maxPage;
}

int CKorvaneView::GetMaxDepth() const {
    int depth = 1;
    for (const auto& section : m_lstSection)
        if (section->m_nLevel + 1 > depth) depth = section->m_nLevel + 1;
    return depth;
}

// Summed in 64 bits: 32 bits wrap after about 13.5 hours of 44.1 kHz audio.
uint64_t CKorvaneView::GetTotalBytes() const {
    uint64_t total = 0;
    for (const auto& section : m_lstSection) total += section->m_nSectionTime;
    return total;
}

CString CKorvaneView::GetTotalTimeText() const { return FormatTime(GetTotalBytes()); }

int CKorvaneView::WriteNcc(const CString& folder) {
    // One instant for both defaults: the date and the identifier belong together.
    const std::tm now = BookLocalTime();

    CBookTextFile file(EBookFileStep::Ncc);
    if (!file.Open(folder + "/NCC.html")) return 4;

    BookInfo& info = m_bookInfo;
    if (info.m_strDiscrimination.IsEmpty()) info.m_strDiscrimination = FormatLocal(now, "%y%m%d%H%M%S");
    const CString publishDate = info.m_strPublishDate.IsEmpty() ? FormatLocal(now, "%Y-%m-%d") : NccDate(info.m_strPublishDate);
    int front = 0, normal = 0, special = 0;
    CountPages(&front, &normal, &special);

    CString line;
    file.Line(0, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
    file.Line(0, "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                 "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">");
    file.Line(0, "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"ja\" lang=\"ja\">");
    file.Line(0, "<head>");
    line.Format("<title>%s</title>", EscapeMarkup(info.m_strTitle).c_str()); file.Line(1, line);
    file.Line(1, "<meta http-equiv=\"Content-type\" content=\"text/html; charset=Shift_JIS\"/>");
    line.Format("<meta name=\"dc:creator\" content=\"%s\"/>", EscapeMarkup(info.m_strAuthor).c_str()); file.Line(1, line);
    line.Format("<meta name=\"dc:date\" content=\"%s\" scheme=\"yyyy-mm-dd\"/>", publishDate.c_str()); file.Line(1, line);
    file.Line(1, "<meta name=\"dc:format\" content=\"Daisy 2.02\"/>");
    line.Format("<meta name=\"dc:identifier\" content=\"%s\"/>", EscapeMarkup(info.m_strDiscrimination).c_str()); file.Line(1, line);
    file.Line(1, "<meta name=\"dc:language\" content=\"ja\" scheme=\"ISO 639\"/>");
    line.Format("<meta name=\"dc:publisher\" content=\"%s\"/>", EscapeMarkup(info.m_strPublisher).c_str()); file.Line(1, line);
    line.Format("<meta name=\"dc:subject\" content=\"%s\" scheme=\"%s\"/>", EscapeMarkup(info.m_strGenre).c_str(),
                EscapeMarkup(info.m_strScheme).c_str());
    file.Line(1, line);
    line.Format("<meta name=\"dc:source\" content=\"%s\" scheme=\"ISBN\"/>", EscapeMarkup(info.m_strIsbn).c_str()); file.Line(1, line);
    line.Format("<meta name=\"dc:title\" content=\"%s\"/>", EscapeMarkup(info.m_strTitle).c_str()); file.Line(1, line);
    file.Line(1, "<meta name=\"ncc:charset\" content=\"Shift_JIS\"/>");
    line.Format("<meta name=\"ncc:generator\" content=\"%s\"/>", g_strProductName); file.Line(1, line);
    line.Format("<meta name=\"ncc:narrator\" content=\"%s\"/>", EscapeMarkup(info.m_strReader).c_str()); file.Line(1, line);
    line.Format("<meta name=\"ncc:sourcePublisher\" content=\"%s\"/>", EscapeMarkup(info.m_strOrgPublisher).c_str()); file.Line(1, line);
    // The standard wants a date here; a book without an original publication date says
    // nothing rather than something invalid.
    if (!info.m_strOrgPublishDate.IsEmpty()) {
        line.Format("<meta name=\"ncc:sourceDate\" content=\"%s\" scheme=\"yyyy-mm-dd\"/>",
                    NccDate(info.m_strOrgPublishDate).c_str());
        file.Line(1, line);
    }
    line.Format("<meta name=\"ncc:producer\" content=\"%s\"/>", EscapeMarkup(info.m_strEditor).c_str()); file.Line(1, line);
    line.Format("<meta name=\"ncc:tocItems\" content=\"%d\"/>", CountTocItems()); file.Line(1, line);
    line.Format("<meta name=\"ncc:totalTime\" content=\"%s\" scheme=\"hh:mm:ss\"/>", GetTotalTimeText().c_str()); file.Line(1, line);
    line.Format("<meta name=\"ncc:pageFront\" content=\"%d\"/>", front); file.Line(1, line);
    line.Format("<meta name=\"ncc:pageNormal\" content=\"%d\"/>", normal); file.Line(1, line);
    line.Format("<meta name=\"ncc:pageSpecial\" content=\"%d\"/>", special); file.Line(1, line);
    line.Format("<meta name=\"ncc:maxPageNormal\" content=\"%d\"/>", GetMaxPageNormal()); file.Line(1, line);
    line.Format("<meta name=\"ncc:depth\" content=\"%d\"/>", GetMaxDepth()); file.Line(1, line);
    file.Line(1, "<meta name=\"ncc:multimediaType\" content=\"audioNcc\"/>");
    file.Line(0, "</head>");
    file.Line(0, "<body>");

    int b = 0, p = 1, g = 1;
    for (int i = 1; i <= m_lstSection.GetCount(); ++i) {
        const CSectionInformation* section = m_lstSection.GetAt(i - 1);
        ++b;
        // The first heading is the book's title heading, whatever its level.
        const char* templ = i == 1 ? "<h1 id=\"heading_%06d\" class=\"title\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></h1>"
                                   : kHeadingLines[section->m_nLevel < 0 ? 0 : section->m_nLevel > 5 ? 5 : section->m_nLevel];
        line.Format(templ, i, i, b, EscapeMarkup(section->m_strHeading).c_str());
        file.Line(1, line);

        int j = 0;
        for (const auto& phrase : section->m_lstPhrase) {
            const char* pageLine = nullptr;
            if (IsNumberedPage(phrase->m_nPageKind))
                pageLine = "<span id=\"page_%06d\" class=\"page-normal\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></span>";
            else if (phrase->m_nPageKind == 3)
                pageLine = "<span id=\"page_%06d\" class=\"page-front\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></span>";
            else if (phrase->m_nPageKind == 4)
                pageLine = "<span id=\"page_%06d\" class=\"page-special\"><a href=\"A%06d.smil#bookid_%06d\">%s</a></span>";
            if (pageLine) {
                ++b;
                line.Format(pageLine, p, i, b, EscapeMarkup(phrase->m_strPageText).c_str());
                file.Line(1, line);
                ++p;
            }
            if (j > 0 && phrase->m_nGroup == 1) {
                ++b;
                line.Format("<div id=\"group_%06d\" class=\"group\"><a href=\"A%06d.smil#bookid_%06d\">!</a></div>", g, i, b);
                file.Line(1, line);
                ++g;
            }
            ++j;
        }
    }

    file.Line(0, "</body>");
    file.Line(0, "</html>");
    return file.Close() ? 0 : 5;
}
