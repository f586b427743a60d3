#include "DaisyTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "platform/DialogHost.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace daisytest {

namespace {

// An unexpected box or dialog fails the test that showed it instead of ending the run.
const bool g_faultsReported = [] {
    CUiScript::SetFaultReporter([](const std::string& message) { ADD_FAILURE() << message; });
    return true;
}();

std::string Le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
uint32_t ReadLe32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& leaf) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    m_root = "/tmp/korvane-daisy-" + std::to_string(::getpid()) + "-" + name + (leaf.empty() ? "" : "-" + leaf);
    fs::remove_all(m_root);
    fs::create_directories(m_root);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string DataPath(const std::string& relative) { return std::string(KORVANE_TEST_DATA) + "/" + relative; }

void WriteWav(const std::string& path, uint32_t rate, const std::string& data) {
    std::string fmt = Le16(1) + Le16(1) + Le32(rate) + Le32(rate * 2) + Le16(2) + Le16(16);
    std::string body = "WAVEfmt " + Le32(16) + fmt + "data" + Le32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() % 2) body += '\0';
    WriteBytes(path, "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body);
}

std::string WavData(const std::string& path, uint32_t* rate) {
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0) {
        ADD_FAILURE() << path << " is not a canonical WAV file";
        return {};
    }
    if (rate) *rate = ReadLe32(bytes, 24);
    const uint32_t size = ReadLe32(bytes, 40);
    EXPECT_EQ(ReadLe32(bytes, 4), bytes.size() - 8) << path;
    EXPECT_LE(44u + size, bytes.size()) << path;
    return bytes.substr(44, size);
}

std::string Pattern(uint32_t count, unsigned seed) {
    std::string s(count, '\0');
    for (uint32_t i = 0; i < count; ++i) s[i] = static_cast<char>((i * 7 + seed * 31 + (i >> 8)) & 0xFF);
    return s;
}

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}

std::string DiffFiles(const std::map<std::string, std::string>& actual,
                      const std::map<std::string, std::string>& expected) {
    std::string diff;
    for (const auto& [name, bytes] : actual) {
        auto it = expected.find(name);
        if (it == expected.end()) diff += " +" + name;
        else if (it->second != bytes) diff += " ~" + name;
    }
    for (const auto& [name, bytes] : expected)
        if (!actual.count(name)) diff += " -" + name;
    return diff;
}

std::string DescribeBook(const CRecordList<CSectionInformation>& sections) {
    std::ostringstream s;
    for (const auto& sec : sections) {
        s << "S " << sec->m_nLevel << '|' << sec->m_strHeading.str() << '|' << sec->m_strStartPage.str() << '|'
          << sec->m_strEndPage.str() << '|' << sec->m_strComment.str() << '|' << sec->m_nPhraseCount << '|'
          << sec->m_nSectionTime << '\n';
        for (const auto& p : sec->m_lstPhrase)
            s << "  P " << p->m_nStart << '|' << p->m_nLength << '|' << p->m_nPause << '|' << p->m_strFileName.str()
              << '|' << p->m_nPageKind << '|' << p->m_strPageText.str() << '|' << p->m_nGroup << '|' << p->m_nMark
              << '|' << p->m_strComment.str() << '|' << p->m_nBytesPerSec << '\n';
    }
    return s.str();
}

std::vector<std::string> CheckBookLinks(const std::string& folder) {
    const std::string ncc = ReadBytes(folder + "/NCC.html");
    if (ncc.empty()) return {"no NCC.html"};
    auto each = [](const std::string& text, const char* pattern, auto f) {
        const std::regex re(pattern);
        for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) f(*it);
    };
    std::vector<std::string> problems;
    std::set<std::string> nccIds, smilIds;  // smilIds: "file#id"
    each(ncc, "id=\"(\\w+)\"", [&](const std::smatch& m) { nccIds.insert(m[1]); });
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".smil") continue;
        const std::string name = entry.path().filename().string(), text = ReadBytes(entry.path().string());
        each(text, "id=\"(\\w+)\"", [&](const std::smatch& m) { smilIds.insert(name + "#" + m[1].str()); });
        each(text, "<text src=\"NCC\\.html#(\\w+)\"", [&](const std::smatch& m) {
            if (!nccIds.count(m[1])) problems.push_back(name + " points at missing NCC id " + m[1].str());
        });
    }
    each(ncc, "href=\"([^\"#]+#\\w+)\"", [&](const std::smatch& m) {
        if (!smilIds.count(m[1])) problems.push_back("NCC link " + m[1].str() + " does not resolve");
    });
    return problems;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> SchemaErrors(const std::string& folder) {
    std::string output;
    const int status = RunCommand(std::string(KORVANE_SHARED_DIR) + "/daisy202/validate '" + folder + "'", &output);
    if (status != 0 && status != 1) return {"(not run) " + output};
    std::vector<std::string> errors;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.rfind("valid:", 0) != 0) errors.push_back(line);
    if (status == 1 && errors.empty()) errors.push_back("invalid, without a reason");
    return errors;
}

ScopedClock::ScopedClock()
    : m_previous(SetBookClock([] {
          std::tm t{};
          t.tm_year = 2024 - 1900, t.tm_mon = 2, t.tm_mday = 15, t.tm_wday = 5, t.tm_yday = 74;
          t.tm_hour = 9, t.tm_min = 30, t.tm_sec = 5;
          return t;
      })) {}

ScopedFault::ScopedFault(EBookFileStep step, int occurrence) : m_occurrence(occurrence) {
    m_previous = SetBookFileFault([step, occurrence, uses = m_uses](EBookFileStep s, const CString&) {
        return s == step && ++*uses == occurrence;
    });
}

ScopedFault::ScopedFault(std::vector<std::pair<EBookFileStep, std::string>> byName) {
    m_previous = SetBookFileFault([byName](EBookFileStep step, const CString& path) {
        for (const auto& [s, name] : byName)
            if (s == step && (name.empty() || path.str().ends_with("/" + name))) return true;
        return false;
    });
}

void SetUpProject(CKorvaneView& view, const std::string& folder) {
    view.SetProjectFormat(1);
    view.m_strProjectFolder = CString(folder);
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    view.m_lstSection.RemoveAll();
    view.m_bookInfo.Clear();
    view.m_bProjectOpen = 1;
}

CSectionInformation* AddClipSection(CKorvaneView& view, int level, const char* heading, const char* file,
                                    const std::vector<uint32_t>& lengths, uint32_t firstStart) {
    auto* s = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    s->m_nLevel = level;
    s->m_strHeading = heading;
    for (uint32_t length : lengths) {
        auto* p = s->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
        p->m_nStart = firstStart + s->m_nSectionTime;
        p->m_nLength = length;
        p->m_nPause = 4410;
        p->m_strFileName = file;
        p->m_nBytesPerSec = static_cast<uint32_t>(view.m_nProjectBytesPerSec);
        s->m_nSectionTime += length;
    }
    s->m_nPhraseCount = static_cast<uint32_t>(lengths.size());
    return s;
}

void FillGoldenBook(CKorvaneView& view) {
    SetUpProject(view, "");
    BookInfo& b = view.m_bookInfo;
    b.m_strTitle = "ソフトウェア表現の本 & <上>";
    b.m_strAuthor = "表 太郎";
    b.m_strIsbn = "978-4-00-000000-0";
    b.m_strPublisher = "点字図書館\"声\"";
    b.m_strReader = "読み手's";
    b.m_strEditor = "編集室";
    b.m_strOrgPublisher = "ソ出版";
    b.m_strOrgPublishDate = "19990102";
    b.m_strGenre = "技術書";
    b.m_strScheme = "NDC";
    AddClipSection(view, 0, "表紙とソース", "A000001.wav", {88200, 66150});
    AddClipSection(view, 1, "第1章　ソフトの表", "A000002.wav", {44100, 22050, 110250, 30870});
    AddClipSection(view, 2, "1.1 表計算ソフト", "A000003.wav", {2205000, 441000, 132300, 88200});
    struct Mark {
        int section, phrase;
        uint32_t pageKind;
        const char* pageText;
        uint32_t group;
    };
    const Mark marks[] = {{0, 0, 3, "i", 0},     {1, 0, 1, "1", 1},        {1, 1, 0, "", 1}, {1, 2, 2, "2", 1},
                          {1, 3, 4, "付録<A>", 0}, {2, 1, 1, "3", 0}, {2, 2, 0, "", 1},  {2, 3, 3, "ii", 0}};
    for (const Mark& m : marks) {
        CPhraseInformation* p = view.m_lstSection.GetAt(m.section)->m_lstPhrase.GetAt(m.phrase);
        p->m_nPageKind = m.pageKind;
        p->m_strPageText = m.pageText;
        p->m_nGroup = m.group;
    }
}

void SmallProject::SetUp() {
    view.AttachLists(&sectionList, &phraseList);
    SetUpProject(view, folder.Root());
    view.m_bookInfo.m_strTitle = "表とソフト";
    WriteWav(folder.Path("A000001.wav"), 22050, rec1);
    WriteWav(folder.Path("A000002.wav"), 22050, rec2);
    WriteBytes(folder.Path("memo.txt"), "not part of the book");
    fs::create_directories(folder.Path("sub"));
    WriteBytes(folder.Path("sub/keep.txt"), "a folder of the user's");
    AddClipSection(view, 0, "表紙", "A000001.wav", {10000, 8000});
    CSectionInformation* s2 = AddClipSection(view, 1, "ソフト", "A000001.wav", {12000, 20000}, 18000);
    s2->m_lstPhrase.GetAt(1)->m_nPageKind = 1;
    s2->m_lstPhrase.GetAt(1)->m_strPageText = "1";
    AddClipSection(view, 2, "表", "A000002.wav", {15000, 15000, 10000})->m_lstPhrase.GetAt(2)->m_nGroup = 1;
    // Selecting a row plays it; no player is wanted here.
    view.m_bSuppressPlay = 1;
    view.RefreshSectionList(0);
    view.m_bSuppressPlay = 0;
    ASSERT_EQ(view.SaveProject(), 0);
    before = FolderFiles(folder.Root());
    book = DescribeBook(view.m_lstSection);
}

void SmallProject::TearDown() { SetCurrentFolder("/"); }

std::vector<CString> SmallProject::Build(const std::vector<int>& answers) {
    CUiScript script;
    for (int a : answers) script.AnswerBox(a);
    view.OnDaisyBuild();
    return script.BoxTexts();
}

}  // namespace daisytest
