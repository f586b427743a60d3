#pragma once
// A view with two fake lists and a small book, for the editing commands' tests, and a
// plain-value picture of the whole book to compare a book field by field with what it
// was before an edit.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
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
// The boxes a command showed: "?text" for a yes/no question captioned "確認", "!text"
// for an error captioned "エラー", "caption|style|text" for any other box.
using Boxes = std::vector<std::string>;
using V = CKorvaneView;

// Failures show the book as "[level heading pages n count t time: {file@start+length ...}]".
inline std::ostream& operator<<(std::ostream& os, const SectionData& s) {
    os << "[L" << s.level << " " << s.heading << " " << s.startPage << "-" << s.endPage << " " << s.comment << " n"
       << s.phraseCount << " t" << s.sectionTime << ":";
    for (const PhraseData& p : s.phrases)
        os << " {" << p.file << "@" << p.start << "+" << p.length << " pause " << p.pause << " page " << p.pageKind << ":"
           << p.pageText << " g" << p.group << " m" << p.mark << " " << p.comment << " " << p.bytesPerSec << "}";
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

// Runs `action` with the boxes answered by `answers` in order; unused answers and
// unanswered boxes fail the test.
inline Boxes Answering(std::initializer_list<int> answers, const std::function<void()>& action) {
    CUiScript script;
    for (int answer : answers) script.AnswerBox(answer);
    action();
    Boxes boxes;
    for (const CUiRecord& r : script.Records()) {
        if (r.caption == "確認" && r.style == (MB_YESNO | MB_ICONQUESTION)) boxes.push_back("?" + r.text.str());
        else if (r.caption == "エラー" && r.style == (MB_OK | MB_ICONSTOP)) boxes.push_back("!" + r.text.str());
        else boxes.push_back(r.caption.str() + "|" + std::to_string(r.style) + "|" + r.text.str());
    }
    return boxes;
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
    // `count` fresh sections at the end of the book.
    void AddBlankSections(int count) {
        for (int i = 0; i < count; ++i) view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    }

    CPhraseInformation* PhraseAt(int section, int phrase) const {
        return view.m_lstSection.GetAt(section)->m_lstPhrase.GetAt(phrase);
    }
    CSectionInformation* SectionAt(int section) const { return view.m_lstSection.GetAt(section); }
    int SectionCount() const { return view.m_lstSection.GetCount(); }
    // The phrase counts of the sections, in order.
    std::vector<int> Shape() const {
        std::vector<int> counts;
        for (const auto& section : view.m_lstSection) counts.push_back(section->m_lstPhrase.GetCount());
        return counts;
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
    // The user clicks section `section`, then its phrase `phrase`.
    void Pick(int section, int phrase) {
        sections.UserClick(section);
        phrases.UserClick(phrase);
    }

    Boxes Run(void (CKorvaneView::*command)(), std::initializer_list<int> answers = {}) {
        return Answering(answers, [&] { (view.*command)(); });
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
        const struct { int s, p; uint32_t kind; const char* text; uint32_t group, mark; } flags[] = {
            {1, 0, 0, "", 1, 0}, {1, 1, 2, "5", 0, 0}, {1, 2, 1, "", 0, 0}, {1, 3, 0, "", 0, 1},
            {2, 0, 3, "i", 0, 0}, {2, 1, 4, "A", 0, 0}, {3, 1, 0, "", 1, 1}};
        for (const auto& f : flags) {
            CPhraseInformation* phrase = PhraseAt(f.s, f.p);
            phrase->m_nPageKind = f.kind;
            phrase->m_strPageText = f.text;
            phrase->m_nGroup = f.group;
            phrase->m_nMark = f.mark;
        }
        view.ClearSectionUndo();
        view.ClearPhraseUndo();
        Show(0);
    }

    CFakeListView sections{IDC_LIST_SECTION};
    CFakeListView phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
};
