#pragma once
// A view with two fake lists and a small book, for the editing commands' tests, and a
// plain-value picture of the whole book to compare a book field by field with what it
// was before an edit.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "platform/DialogHost.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"

struct PhraseData {
    uint32_t start = 0, length = 0, pause = 0;
    std::string file;
    uint32_t pageKind = 0;
    std::string pageText;
    uint32_t group = 0, mark = 0;
    std::string comment;
    uint32_t bytesPerSec = 0;
    bool operator==(const PhraseData&) const = default;
};

struct SectionData {
    int level = 0;
    std::string heading, startPage, endPage, comment;
    uint32_t phraseCount = 0, sectionTime = 0;
    std::vector<PhraseData> phrases;
    bool operator==(const SectionData&) const = default;
};

using BookData = std::vector<SectionData>;

inline std::ostream& operator<<(std::ostream& os, const PhraseData& p) {
    return os << "{" << p.file << "@" << p.start << "+" << p.length << " pause " << p.pause << " page " << p.pageKind
              << ":" << p.pageText << " g" << p.group << " m" << p.mark << " " << p.comment << " " << p.bytesPerSec << "}";
}

inline std::ostream& operator<<(std::ostream& os, const SectionData& s) {
    os << "[L" << s.level << " " << s.heading << " " << s.startPage << "-" << s.endPage << " " << s.comment << " n"
       << s.phraseCount << " t" << s.sectionTime << ":";
    for (const PhraseData& p : s.phrases) os << " " << p;
    return os << "]";
}

inline PhraseData Capture(const CPhraseInformation& p) {
    return {p.m_nStart,    p.m_nLength,     p.m_nPause, p.m_strFileName.str(), p.m_nPageKind, p.m_strPageText.str(),
            p.m_nGroup,    p.m_nMark,       p.m_strComment.str(), p.m_nBytesPerSec};
}

inline SectionData Capture(const CSectionInformation& s) {
    SectionData d{s.m_nLevel, s.m_strHeading.str(), s.m_strStartPage.str(), s.m_strEndPage.str(),
                  s.m_strComment.str(), s.m_nPhraseCount, s.m_nSectionTime, {}};
    for (const auto& p : s.m_lstPhrase) d.phrases.push_back(Capture(*p));
    return d;
}

inline BookData Capture(const CRecordList<CSectionInformation>& book) {
    BookData d;
    for (const auto& s : book) d.push_back(Capture(*s));
    return d;
}

class EditBook : public ::testing::Test {
protected:
    void SetUp() override { view.AttachLists(&sections, &phrases); }

    // A section of `phrases` phrases cut one after the other from one recording, each of
    // `length` bytes followed by a pause of a tenth of it; its audio length is their sum.
    CSectionInformation* AddSection(const char* heading, int phraseCount, uint32_t length = 32000,
                                    const char* file = "A000001.wav", uint32_t firstStart = 0) {
        auto section = std::make_unique<CSectionInformation>();
        section->m_strHeading = heading;
        section->m_strComment = CString("注 ") + heading;
        section->m_nPhraseCount = static_cast<uint32_t>(phraseCount);
        uint32_t start = firstStart;
        for (int i = 0; i < phraseCount; ++i) {
            auto phrase = std::make_unique<CPhraseInformation>();
            phrase->m_nStart = start;
            phrase->m_nLength = length;
            phrase->m_nPause = length / 10;
            phrase->m_strFileName = file;
            phrase->m_nBytesPerSec = 32000;
            phrase->m_strComment = CString::Formatted("%s-%d", heading, i + 1);
            start += length;
            section->m_nSectionTime += length;
            section->m_lstPhrase.Add(std::move(phrase));
        }
        return view.m_lstSection.Add(std::move(section));
    }

    CPhraseInformation* PhraseAt(int section, int phrase) const {
        return view.m_lstSection.GetAt(section)->m_lstPhrase.GetAt(phrase);
    }

    // The lists as after opening the book, with section `row` selected.
    void Show(int row = 0) { view.RefreshSectionList(row); }

    // The user clicks section `first` and shift-clicks `last` (the section list gets the focus).
    void PickSections(int first, int last) {
        sections.UserClick(first);
        if (last != first) sections.UserClick(last, false, true);
    }

    // The user clicks the phrases `first` to `last` of the shown section.
    void PickPhrases(int first, int last) {
        phrases.UserClick(first);
        if (last != first) phrases.UserClick(last, false, true);
    }

    BookData Book() const { return Capture(view.m_lstSection); }

    // Four sections with levels, pages, flags and comments; the third is recorded in
    // another file and carries an audio length that is not the sum of its phrases (as
    // imported books do). No undo is recorded; the lists show section 0.
    void BuildSampleBook() {
        view.m_lstSection.RemoveAll();
        AddSection("序章", 3);
        CSectionInformation* one = AddSection("第一章", 4, 16000, "A000001.wav", 96000);
        one->m_nLevel = 1;
        one->m_strStartPage = "1";
        one->m_strEndPage = "9";
        CSectionInformation* two = AddSection("第二章", 2, 44100, "A000002.WAV");
        two->m_nLevel = 2;
        two->m_nSectionTime += 777;
        AddSection("付録", 2, 8000, "A000003.wav");
        PhraseAt(1, 0)->m_nGroup = 1;
        PhraseAt(1, 1)->m_nPageKind = 2;
        PhraseAt(1, 1)->m_strPageText = "5";
        PhraseAt(1, 2)->m_nPageKind = 1;
        PhraseAt(1, 3)->m_nMark = 1;
        PhraseAt(2, 0)->m_nPageKind = 3;
        PhraseAt(2, 0)->m_strPageText = "i";
        PhraseAt(2, 1)->m_nPageKind = 4;
        PhraseAt(2, 1)->m_strPageText = "A";
        PhraseAt(3, 1)->m_nGroup = 1;
        PhraseAt(3, 1)->m_nMark = 1;
        view.ClearSectionUndo();
        view.ClearPhraseUndo();
        Show(0);
    }

    CFakeListView sections{IDC_LIST_SECTION};
    CFakeListView phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
};

