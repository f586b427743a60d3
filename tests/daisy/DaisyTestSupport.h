#pragma once
// Helpers of the book production tests: scratch folders, WAV files made byte by byte,
// snapshots of a folder and of the book, the fixed book of the golden files, the small
// project the build tests start from, and scoped settings of the build's clock and faults.

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../app/FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "daisy/BookClock.h"
#include "daisy/BookFileFaults.h"
#include "platform/CodePage.h"

// Boxes and messages show as their text in a failed expectation, not as the bytes of
// the object.
inline void PrintTo(const CString& text, std::ostream* out) { *out << '"' << Cp932ToUtf8(text) << '"'; }

namespace daisytest {

// A fresh folder in /tmp named after the running test and `leaf` (ASCII: the same in
// CP932 and UTF-8), removed with the object.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& leaf = "");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& name) const { return m_root + "/" + name; }

private:
    std::string m_root;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string DataPath(const std::string& relative);  // a file of the checked-in test data

// A canonical 16-bit mono PCM WAV file holding `data` as its sample bytes.
void WriteWav(const std::string& path, uint32_t rate, const std::string& data);
// Sample bytes of a WAV file written by the program (canonical 44-byte header, checked).
std::string WavData(const std::string& path, uint32_t* rate = nullptr);
// `count` bytes whose values run from `seed` so that every clip is recognisable.
std::string Pattern(uint32_t count, unsigned seed);

// Name -> bytes of every plain file of a folder (sub-folders left out).
std::map<std::string, std::string> FolderFiles(const std::string& folder);
// The files in which two snapshots differ ("+name" only in `actual`, "-name" only in
// `expected`, "~name" different bytes); empty when they are equal.
std::string DiffFiles(const std::map<std::string, std::string>& actual,
                      const std::map<std::string, std::string>& expected);
// Every field of every section and phrase, one line per record, for comparing books.
std::string DescribeBook(const CRecordList<CSectionInformation>& sections);

// Problems with the links of the book in `folder` (empty when none): every NCC link must
// name an id of its SMIL file, and every SMIL text element must point at an id of the NCC.
std::vector<std::string> CheckBookLinks(const std::string& folder);

// Runs a shell command and returns its exit status; its output goes to `output`.
int RunCommand(const std::string& command, std::string* output = nullptr);

// What the DAISY 2.02 validator says against the book in `folder`, one line per fault,
// nothing filtered; empty when the book is valid, "(not run) ..." when it could not run.
std::vector<std::string> SchemaErrors(const std::string& folder);

// Sets the build's clock to the local time of the golden files, 2024-03-15 09:30:05.
class ScopedClock {
public:
    ScopedClock();
    ~ScopedClock() { SetBookClock(m_previous); }

private:
    BookClock m_previous;
};

// Makes a file step fail while it lives: `step` at its `occurrence`-th use (from 1), each
// step of `byName` on the file it names (any file when the name is empty), or whatever
// `fault` says.
class ScopedFault {
public:
    explicit ScopedFault(BookFileFault fault) : m_previous(SetBookFileFault(std::move(fault))) {}
    ScopedFault(EBookFileStep step, int occurrence = 1);
    explicit ScopedFault(std::vector<std::pair<EBookFileStep, std::string>> byName);
    ~ScopedFault() { SetBookFileFault(m_previous); }
    bool Fired() const { return *m_uses >= m_occurrence; }

private:
    BookFileFault m_previous;
    std::shared_ptr<int> m_uses = std::make_shared<int>(0);
    int m_occurrence = 1;
};

// The fixed book of the golden files, in a 22050 Hz PCM project: three sections at
// levels 1 to 3 with headings holding "ソ" and "表" (second byte 0x5C), every page kind,
// groups (one on a section's first phrase, which the book leaves out), texts that need
// escaping, and audio lengths summed into each section.
void FillGoldenBook(CKorvaneView& view);

// A PCM project in `folder`: format 1 (22050 Hz), project paths set, the book emptied.
void SetUpProject(CKorvaneView& view, const std::string& folder);

// Adds a section whose phrases are consecutive clips of one recording `file`, with the
// given lengths in bytes.
CSectionInformation* AddClipSection(CKorvaneView& view, int level, const char* heading, const char* file,
                                    const std::vector<uint32_t>& lengths, uint32_t firstStart = 0);

// A saved 22050 Hz project with the lists attached, in a folder "...-SoftBook": recordings
// A000001.wav (`rec1`, 60000 bytes) and A000002.wav (`rec2`, 40000 bytes), a file and a
// sub-folder of the user's, and three sections at levels 1 to 3 cut from the recordings
// (18000, 32000 and 40000 bytes) with a page and a group.
class SmallProject : public ::testing::Test {
protected:
    void SetUp() override;
    // The build leaves its project folder current; it is removed after the test.
    void TearDown() override;
    // Runs the build with the boxes answered in turn; returns the texts of the boxes.
    std::vector<CString> Build(const std::vector<int>& answers);

    ScratchFolder folder{"SoftBook"};
    ScopedClock clock;
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};
    CKorvaneView view;
    std::string rec1 = Pattern(60000, 1), rec2 = Pattern(40000, 2);
    std::map<std::string, std::string> before;  // the folder's files before the build
    std::string book;                           // the book before the build
};

}  // namespace daisytest
