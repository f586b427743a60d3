#include "DaisyTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/DialogHost.h"

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
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& leaf) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "-" + info->name() : "bench";
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
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

std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 15;
    t.tm_hour = 9;
    t.tm_min = 30;
    t.tm_sec = 5;
    t.tm_wday = 5;
    t.tm_yday = 74;
    return t;
}

ScopedClock::ScopedClock(const std::tm& time) : m_previous(SetBookClock([time] { return time; })) {}
ScopedClock::~ScopedClock() { SetBookClock(m_previous); }

ScopedFault::ScopedFault(EBookFileStep step, int occurrence)
    : m_uses(std::make_shared<int>(0)), m_occurrence(occurrence) {
    m_previous = SetBookFileFault([step, occurrence, uses = m_uses](EBookFileStep s, const CString&) {
        return s == step && ++*uses == occurrence;
    });
}
ScopedFault::~ScopedFault() { SetBookFileFault(m_previous); }

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
    uint32_t start = firstStart;
    for (uint32_t length : lengths) {
        auto* p = s->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
        p->m_nStart = start;
        p->m_nLength = length;
        p->m_nPause = 4410;
        p->m_strFileName = file;
        p->m_nBytesPerSec = static_cast<uint32_t>(view.m_nProjectBytesPerSec);
        start += length;
        s->m_nSectionTime += length;
    }
    s->m_nPhraseCount = static_cast<uint32_t>(lengths.size());
    return s;
}

void FillGoldenBook(CKorvaneView& view) {
    view.SetProjectFormat(1);
    view.m_lstSection.RemoveAll();
    BookInfo& b = view.m_bookInfo;
    b.Clear();
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

    struct P {
        uint32_t length;
        uint32_t pageKind;
        const char* pageText;
        uint32_t group;
    };
    auto add = [&](int n, int level, const char* heading, std::vector<P> phrases) {
        auto* s = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        s->m_nLevel = level;
        s->m_strHeading = heading;
        uint32_t start = 0;
        for (const P& d : phrases) {
            auto* p = s->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
            p->m_nStart = start;
            p->m_nLength = d.length;
            p->m_nPause = 8820;
            p->m_strFileName = CString::Formatted("A%06d.wav", n);
            p->m_nPageKind = d.pageKind;
            p->m_strPageText = d.pageText;
            p->m_nGroup = d.group;
            p->m_nBytesPerSec = 44100;
            start += d.length;
        }
        s->m_nSectionTime = start;
        s->m_nPhraseCount = static_cast<uint32_t>(phrases.size());
    };
    add(1, 0, "表紙とソース", {{88200, 3, "i", 0}, {66150, 0, "", 0}});
    add(2, 1, "第1章　ソフトの表", {{44100, 1, "1", 1}, {22050, 0, "", 1}, {110250, 2, "2", 1}, {30870, 4, "付録<A>", 0}});
    add(3, 2, "1.1 表計算ソフト", {{2205000, 0, "", 0}, {441000, 1, "3", 0}, {132300, 0, "", 1}, {88200, 3, "ii", 0}});
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace daisytest

#include <regex>
#include <set>

namespace daisytest {

std::vector<std::string> CheckBookLinks(const std::string& folder) {
    std::vector<std::string> problems;
    const std::string ncc = ReadBytes(folder + "/NCC.html");
    if (ncc.empty()) return {"no NCC.html"};

    std::set<std::string> nccIds;
    const std::regex idRe("id=\"([A-Za-z0-9_]+)\"");
    for (std::sregex_iterator it(ncc.begin(), ncc.end(), idRe), end; it != end; ++it) nccIds.insert((*it)[1]);

    std::map<std::string, std::set<std::string>> smilIds;
    auto idsOf = [&](const std::string& smil) -> const std::set<std::string>& {
        auto found = smilIds.find(smil);
        if (found != smilIds.end()) return found->second;
        std::set<std::string>& ids = smilIds[smil];
        const std::string text = ReadBytes(folder + "/" + smil);
        if (text.empty()) problems.push_back("missing " + smil);
        for (std::sregex_iterator it(text.begin(), text.end(), idRe), end; it != end; ++it) ids.insert((*it)[1]);
        const std::regex srcRe("<text src=\"NCC\\.html#([A-Za-z0-9_]+)\"");
        for (std::sregex_iterator it(text.begin(), text.end(), srcRe), end; it != end; ++it)
            if (!nccIds.count((*it)[1])) problems.push_back(smil + " points at missing NCC id " + (*it)[1].str());
        return ids;
    };

    const std::regex hrefRe("href=\"([^\"#]+)#([A-Za-z0-9_]+)\"");
    for (std::sregex_iterator it(ncc.begin(), ncc.end(), hrefRe), end; it != end; ++it) {
        if (!idsOf((*it)[1]).count((*it)[2]))
            problems.push_back("NCC link " + (*it)[1].str() + "#" + (*it)[2].str() + " does not resolve");
    }
    // SMIL files that no NCC link names are still checked for their text sources.
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.substr(name.size() - 5) == ".smil") idsOf(name);
    }
    return problems;
}

}  // namespace daisytest

namespace daisytest {

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

}  // namespace daisytest
