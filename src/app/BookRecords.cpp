#include "app/AppStrings.h"
#include "app/BookInfo.h"
#include "app/PhraseInformation.h"
#include "app/SectionInformation.h"

namespace {
// Both operands as double, so that values of 2^31 and above stay positive. A phrase
// without a byte rate has no measurable time: count it as 0 rather than dividing by zero.
double Seconds(uint32_t bytes, uint32_t bytesPerSec) {
    return bytesPerSec == 0 ? 0.0 : static_cast<double>(bytes) / static_cast<double>(bytesPerSec);
}
}  // namespace

void CPhraseInformation::Reset() {
    m_nStart = m_nLength = m_nPause = 0;
    m_strFileName.Empty();
    m_nPageKind = 0;
    m_strPageText.Empty();
    m_nGroup = m_nMark = 0;
    m_strComment.Empty();
    m_nBytesPerSec = 0;
}

CString CPhraseInformation::GetLengthText() const { return CString::Formatted("%0.1f", Seconds(m_nLength, m_nBytesPerSec)); }
CString CPhraseInformation::GetPauseText() const { return CString::Formatted("%0.1f", Seconds(m_nPause, m_nBytesPerSec)); }
CString CPhraseInformation::GetGroupText() const { return m_nGroup == 1 ? CString("*") : CString(); }
CString CPhraseInformation::GetMarkText() const { return m_nMark == 1 ? CString("*") : CString(); }

CString CPhraseInformation::GetPageText() const {
    switch (m_nPageKind) {
    case 1: return m_strPageText.IsEmpty() ? CString("*") : m_strPageText;
    case 2: return CString::Formatted("(%s)", m_strPageText.c_str());
    case 3: return CString::Formatted("[%s]", m_strPageText.c_str());
    case 4: return CString::Formatted("<%s>", m_strPageText.c_str());
    default: return CString();
    }
}

void CSectionInformation::Reset() {
    m_nLevel = 0;
    m_strHeading = g_strDefaultHeading;
    m_strStartPage.Empty();
    m_strEndPage.Empty();
    m_strComment.Empty();
    m_nPhraseCount = 0;
    m_nSectionTime = 0;
    m_lstPhrase.RemoveAll();
}

CString CSectionInformation::GetLevelText() const { return CString::Formatted("%d", m_nLevel + 1); }
CString CSectionInformation::GetPhraseCountText() const { return CString::Formatted("%d", m_lstPhrase.GetCount()); }

CString CSectionInformation::GetTimeText() const {
    double sum = 0.0;
    for (const auto& phrase : m_lstPhrase) sum += Seconds(phrase->m_nLength, phrase->m_nBytesPerSec);
    // Truncation toward zero; 64 bits so that a very long book cannot wrap.
    long long t = static_cast<long long>(sum);
    long long hours = t / 3600;
    long long minutes = (t - hours * 3600) / 60;
    long long seconds = t - (t / 60) * 60;
    return CString::Formatted("%02lld:%02lld:%02lld", hours, minutes, seconds);
}

CString CSectionInformation::GetPageText() const {
    CString first, last;
    int count = 0;
    for (const auto& phrase : m_lstPhrase) {
        if (phrase->m_nPageKind != 1 && phrase->m_nPageKind != 2) continue;
        ++count;
        if (first.IsEmpty()) first = phrase->m_strPageText;
        else last = phrase->m_strPageText;
    }
    CString range;
    if (!first.IsEmpty() && !last.IsEmpty()) range.Format("%s - %s", first.c_str(), last.c_str());
    else if (!first.IsEmpty()) range = first;
    else if (!last.IsEmpty()) range = last;
    CString countText;
    if (count > 0) countText.Format("(%d)", count);
    if (!range.IsEmpty()) return CString::Formatted("%s %s", range.c_str(), countText.c_str());
    return countText;
}

void BookInfo::Clear() {
    for (CString* s : {&m_strTitle, &m_strAuthor, &m_strIsbn, &m_strDiscrimination, &m_strPublisher, &m_strReader,
                       &m_strEditor, &m_strOrgPublisher, &m_strOrgPublishDate, &m_strPublishDate, &m_strGenre, &m_strScheme})
        s->Empty();
}
