// Numbering of the automatic pages, and the check of the book that runs before a build
// or an export writes anything.

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "app/KorvaneView.h"
#include "app/RecordBlock.h"
#include "app/ViewEditCommon.h"

namespace {

constexpr int64_t kMaxAutomaticPage = 999999;

// The number a manual page text begins with, read as the C library reads an integer
// (leading blanks, a sign, digits; 0 when there are none), except that a number too
// large for the counter stops at the largest value instead of wrapping to a negative one.
int64_t ReadPageNumber(const CString& text) {
    const char* s = text.c_str();
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
    int64_t n = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        const int digit = *s - '0';
        n = n > (kLimit - digit) / 10 ? kLimit : n * 10 + digit;
    }
    return negative ? -n : n;
}

}  // namespace

int CKorvaneView::RenumberPages() {
    // Undoing a renumbering empties the automatic page texts again; it needs no snapshot.
    ClearSectionUndo();
    ClearPhraseUndo();
    m_nSectionUndoKind = 9;
    const int sectionRow = GetFirstSelectedSection();
    const int phraseRow = GetFirstSelectedPhrase();
    int64_t counter = 1;
    for (int s = 0; s < m_lstSection.GetCount(); ++s) {
        const CRecordList<CPhraseInformation>& phrases = m_lstSection.GetAt(s)->m_lstPhrase;
        for (int p = 0; p < phrases.GetCount(); ++p) {
            CPhraseInformation& phrase = *phrases.GetAt(p);
            const char* error = nullptr;
            if (phrase.m_nPageKind == 1) {
                if (counter > kMaxAutomaticPage) error = "ページ番号が最大になりました。";
                else phrase.m_strPageText = CString::Formatted("%d", static_cast<int>(counter++));
            } else if (phrase.m_nPageKind == 2) {
                const int64_t n = ReadPageNumber(phrase.m_strPageText);
                if (n < counter) error = "ページ番号が正しくありません。";
                else counter = n == std::numeric_limits<int64_t>::max() ? n : n + 1;
            }
            if (error) {
                ShowEditError(*this, error);
                SelectSection(s);
                RefreshPhraseList(p);
                return 1;
            }
        }
    }
    RefreshSectionList(sectionRow < 0 ? 0 : sectionRow);
    RefreshPhraseList(phraseRow < 0 ? 0 : phraseRow);
    return 0;
}

void CKorvaneView::OnRefresh() {
    m_bSuppressPlay = 1;
    RenumberPages();
    m_bSuppressPlay = 0;
}

int CKorvaneView::ValidateBook() {
    bool anyPhrase = false, anyEmpty = false;
    for (const auto& section : m_lstSection) {
        if (section->m_lstPhrase.IsEmpty()) anyEmpty = true;
        else anyPhrase = true;
    }
    if (!anyPhrase) {
        ShowEditError(*this, "音声データがありません。");
        return 1;
    }
    if (anyEmpty) {
        if (!AskEditQuestion(*this, "空のセクションがあります。\n\n削除しますか？")) return 1;
        std::vector<std::unique_ptr<CSectionInformation>> all = TakeRecordBlock(m_lstSection, 0, m_lstSection.GetCount());
        for (auto& section : all)
            if (!section->m_lstPhrase.IsEmpty()) m_lstSection.Add(std::move(section));
        // The recorded undo names sections by index; after this deletion those indices
        // point at other sections, and applying it would change the wrong ones.
        ClearSectionUndo();
        ClearPhraseUndo();
        RefreshSectionList(0);
    }
    if (m_lstSection.GetHead()->m_nLevel != 0) {
        ShowEditError(*this, "セクション1はレベル1を設定して下さい。");
        return 1;
    }
    for (int i = 1; i < m_lstSection.GetCount(); ++i) {
        if (m_lstSection.GetAt(i)->m_nLevel > m_lstSection.GetAt(i - 1)->m_nLevel + 1) {
            SelectSection(i);
            ShowEditError(*this, CString::Formatted("セクション%dのレベルが正しくありません。", i + 1));
            return 1;
        }
    }
    if (RenumberPages() != 0) return 1;
    for (const auto& section : m_lstSection) {
        if (section->m_lstPhrase.GetHead()->m_nGroup == 1) {
            if (!AskEditQuestion(*this,
                                 "先頭フレーズにグループが設定されているセクションが存在します。\n"
                                 "Daisy図書作成を続けてよろしいですか？\n"
                                 "※先頭フレーズのグループはDaisy図書に出力されません。"))
                return 1;
            break;
        }
    }
    return 0;
}
