// The SMIL files: one per section, "A%06d.smil". Each plays the section's phrases in
// order and ties the heading, the page marks and the group marks to the anchors of
// NCC.html. The counters run over the book exactly as the NCC writer's do.

#include "app/AppStrings.h"
#include "app/KorvaneView.h"
#include "daisy/BookTextFile.h"

double CKorvaneView::BytesToSeconds(uint64_t bytes) const {
    if (m_nProjectBytesPerSec <= 0) return 0.0;
    return static_cast<double>(bytes) / static_cast<double>(m_nProjectBytesPerSec);
}

CString CKorvaneView::FormatTime(uint64_t bytes) const {
    const uint64_t s = m_nProjectBytesPerSec > 0 ? bytes / static_cast<uint64_t>(m_nProjectBytesPerSec) : 0;
    return CString::Formatted("%02llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                              static_cast<unsigned long long>(s % 3600 / 60), static_cast<unsigned long long>(s % 60));
}

int CKorvaneView::WriteSmilFiles(const CString& folder) {
    int b = 1, p = 1, g = 1;
    uint64_t elapsed = 0;  // 64 bits, as the NCC's total time
    const CString title = EscapeMarkup(m_bookInfo.m_strTitle);
    const CString identifier = EscapeMarkup(m_bookInfo.m_strDiscrimination);
    CString line;

    for (int n = 1; n <= m_lstSection.GetCount(); ++n) {
        const CSectionInformation* section = m_lstSection.GetAt(n - 1);
        const uint64_t before = elapsed;
        elapsed += section->m_nSectionTime;

        CBookTextFile file(EBookFileStep::Smil);
        if (!file.Open(folder + "/" + CString::Formatted("A%06d.smil", n))) return 4;

        file.Line(0, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
        file.Line(0, "<!DOCTYPE smil PUBLIC \"-//W3C//DTD SMIL 1.0//EN\" \"http://www.w3.org/TR/REC-smil/SMIL10.dtd\">");
        file.Line(0, "<smil>");
        file.Line(0, "<head>");
        line.Format("<meta name=\"dc:title\" content=\"%s\"/>", title.c_str()); file.Line(1, line);
        file.Line(1, "<meta name=\"dc:format\" content=\"Daisy 2.02\"/>");
        line.Format("<meta name=\"dc:identifier\" content=\"%s\"/>", identifier.c_str()); file.Line(1, line);
        line.Format("<meta name=\"ncc:generator\" content=\"%s\"/>", g_strProductName); file.Line(1, line);
        line.Format("<meta name=\"ncc:totalElapsedTime\" content=\"%s\"/>", FormatTime(before).c_str()); file.Line(1, line);
        line.Format("<meta name=\"ncc:timeInThisSmil\" content=\"%s\"/>", FormatTime(section->m_nSectionTime).c_str());
        file.Line(1, line);
        line.Format("<meta name=\"title\" content=\"%s\"/>", EscapeMarkup(section->m_strHeading).c_str()); file.Line(1, line);
        file.Line(1, "<layout>");
        file.Line(2, "<region id=\"txtView\"/>");
        file.Line(1, "</layout>");
        file.Line(0, "</head>");
        file.Line(0, "<body>");
        line.Format("<seq dur=\"%.3fs\">", BytesToSeconds(section->m_nSectionTime)); file.Line(0, line);
        file.Line(1, "<par endsync=\"last\">");
        line.Format("<text src=\"NCC.html#heading_%06d\" id=\"bookid_%06d\"/>", n, b); file.Line(2, line);
        ++b;

        bool seqOpen = false;
        auto closeSeq = [&] {
            if (!seqOpen) return;
            file.Line(2, "</seq>");
            seqOpen = false;
        };
        int j = 0;
        for (const auto& phrase : section->m_lstPhrase) {
            if (phrase->m_nPageKind >= 1 && phrase->m_nPageKind <= 4) {
                closeSeq();
                file.Line(1, "</par>");
                file.Line(1, "<par endsync=\"last\">");
                line.Format("<text src=\"NCC.html#page_%06d\" id=\"bookid_%06d\"/>", p, b); file.Line(2, line);
                ++p;
                ++b;
            }
            // The first phrase's group flag has no div in the NCC, so no par here either.
            if (j > 0 && phrase->m_nGroup == 1) {
                closeSeq();
                file.Line(1, "</par>");
                file.Line(1, "<par endsync=\"last\">");
                line.Format("<text src=\"NCC.html#group_%06d\" id=\"bookid_%06d\"/>", g, b); file.Line(2, line);
                ++g;
                ++b;
            }
            if (!seqOpen) {
                file.Line(2, "<seq>");
                seqOpen = true;
            }
            line.Format("<audio src=\"%s\" clip-begin=\"npt=%.3fs\" clip-end=\"npt=%.3fs\" id=\"phrase_%06d\"/>",
                        phrase->m_strFileName.c_str(), BytesToSeconds(phrase->m_nStart),
                        BytesToSeconds(static_cast<uint64_t>(phrase->m_nStart) + phrase->m_nLength), j + 1);
            file.Line(3, line);
            ++j;
        }
        closeSeq();
        file.Line(1, "</par>");
        file.Line(0, "</seq>");
        file.Line(0, "</body>");
        file.Line(0, "</smil>");
        if (!file.Close()) return 5;
    }
    return 0;
}
