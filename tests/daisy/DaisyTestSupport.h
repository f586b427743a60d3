#pragma once
// Helpers of the book production tests: a scratch project folder, WAV recordings made
// byte by byte, snapshots of a folder's files and of the book's records, the fixed
// book of the golden files, and scoped settings of the build's clock and fault points.

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/KorvaneView.h"
#include "daisy/BookClock.h"
#include "daisy/BookFileFaults.h"

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
// The bytes of a file from the checked-in test data.
std::string DataPath(const std::string& relative);

// A canonical 16-bit mono PCM WAV file holding `data` as its sample bytes.
void WriteWav(const std::string& path, uint32_t rate, const std::string& data);
// Sample bytes of a WAV file written by the program (canonical 44-byte header, checked);
// `rate` receives its rate.
std::string WavData(const std::string& path, uint32_t* rate = nullptr);
// `count` bytes whose values run from `seed` so that every clip is recognisable.
std::string Pattern(uint32_t count, unsigned seed);

// Name -> bytes of every plain file of a folder (sub-folders left out).
std::map<std::string, std::string> FolderFiles(const std::string& folder);

// Every field of every section and phrase, one line per record, for comparing books.
std::string DescribeBook(const CRecordList<CSectionInformation>& sections);

// The local time of the golden files: 2024-03-15 09:30:05.
std::tm FixedTime();

class ScopedClock {
public:
    explicit ScopedClock(const std::tm& time);
    ~ScopedClock();

private:
    BookClock m_previous;
};

// Makes `step` fail (at its `occurrence`-th use, from 1) while it lives; counts the uses.
class ScopedFault {
public:
    ScopedFault(EBookFileStep step, int occurrence = 1);
    ~ScopedFault();
    int Uses() const { return *m_uses; }
    bool Fired() const { return *m_uses >= m_occurrence; }

private:
    BookFileFault m_previous;
    std::shared_ptr<int> m_uses;
    int m_occurrence;
};

// The fixed book of the golden files, in a 22050 Hz PCM project: three sections at
// levels 1 to 3 with headings holding "ソ" and "表" (second byte 0x5C), every page
// kind, groups (one on a section's first phrase, which the book leaves out), texts
// that need escaping, and audio lengths summed into each section.
void FillGoldenBook(CKorvaneView& view);

// A PCM project in `folder`: format 1 (22050 Hz), project paths set, the book emptied.
void SetUpProject(CKorvaneView& view, const std::string& folder);

// Adds a section whose phrases are consecutive clips of one recording `file` of the
// project folder (which the test writes), with the given lengths in bytes.
CSectionInformation* AddClipSection(CKorvaneView& view, int level, const char* heading, const char* file,
                                    const std::vector<uint32_t>& lengths, uint32_t firstStart = 0);

// Runs a program and returns its exit status; its output goes to `output`.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace daisytest

namespace daisytest {

// Problems with the links of the book in `folder` (empty when none): every NCC link
// must name an id of its SMIL file, and every SMIL text element must point at an id of
// the NCC.
std::vector<std::string> CheckBookLinks(const std::string& folder);

}  // namespace daisytest

namespace daisytest {

// The names of the files in which two folder snapshots differ ("+name" only in `actual`,
// "-name" only in `expected`, "~name" different bytes); empty when they are equal.
std::string DiffFiles(const std::map<std::string, std::string>& actual,
                      const std::map<std::string, std::string>& expected);

}  // namespace daisytest
