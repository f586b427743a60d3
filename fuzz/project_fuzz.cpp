// libFuzzer target over the project loader: the input is a project file and its section
// files (separated by a line "@@SEC"), written to a scratch folder. The damage check and
// the loader must take anything; a project loaded and saved must save and load again to
// the same book, and a second save must write the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/KorvaneView.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Scratch() {
    static const fs::path root = [] {
        fs::path p = fs::path(fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") /
                     ("korvane-project-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p / "in");
        fs::create_directories(p / "out");
        return p;
    }();
    return root;
}

void Clear(const fs::path& folder) {
    for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
}

std::string Read(const fs::path& p) {
    std::ostringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

// Every field of the book, one line per record. Line breaks inside a text are not kept
// by the saver (a line break would end the line); `asSaved` describes the texts without
// them.
std::string Describe(const CKorvaneView& view, bool asSaved = false) {
    std::ostringstream s;
    s << view.m_nCompression << "|" << view.m_nSamplePerSec << "|" << view.m_wChannels << "|" << view.m_wBits << "|"
      << view.m_wBitrate << "|" << view.m_nWaveImportCount << "\n";
    const BookInfo& b = view.m_bookInfo;
    for (const CString* v : {&b.m_strTitle, &b.m_strAuthor, &b.m_strIsbn, &b.m_strDiscrimination, &b.m_strPublisher,
                             &b.m_strReader, &b.m_strEditor, &b.m_strOrgPublisher, &b.m_strOrgPublishDate,
                             &b.m_strPublishDate, &b.m_strGenre, &b.m_strScheme})
        s << v->str() << "|";
    s << "\n";
    for (const auto& sec : view.m_lstSection) {
        s << sec->m_nLevel << "|" << sec->m_strHeading.str() << "|" << sec->m_nSectionTime << "|"
          << sec->m_strStartPage.str() << "|" << sec->m_strEndPage.str() << "|" << sec->m_strComment.str() << "\n";
        for (const auto& p : sec->m_lstPhrase)
            s << "  " << p->m_nStart << "|" << p->m_nLength << "|" << p->m_nPause << "|" << p->m_strFileName.str() << "|"
              << p->m_nPageKind << "|" << p->m_strPageText.str() << "|" << p->m_nGroup << "|" << p->m_nMark << "|"
              << p->m_strComment.str() << "|" << p->m_nBytesPerSec << "\n";
    }
    std::string text = s.str();
    if (asSaved) std::erase(text, '\r');
    return text;
}

void Load(CKorvaneView& view, const fs::path& folder) {
    view.m_strProjectFolder = CString(folder.string());
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    view.m_lstSection.RemoveAll();
    TheAppProfile().SetProfileFile(view.m_strProjectFile);
    view.LoadProject();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path in = Scratch() / "in", out = Scratch() / "out";
    Clear(in);
    Clear(out);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (size_t pos = 0;;) {
        const size_t next = bytes.find("\n@@SEC\n", pos);
        parts.push_back(bytes.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos || parts.size() > 8) break;
        pos = next + 7;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i == 0 ? "Korvane.ncc" : "SEC%06zu.sec", i);
        std::ofstream(in / name, std::ios::binary) << parts[i];
    }

    (void)CKorvaneView::FindProjectDamage(CString((in / "Korvane.ncc").string()));

    CKorvaneView first;
    Load(first, in);
    const std::string book = Describe(first, true);
    first.m_strProjectFolder = CString(out.string());
    first.m_strProjectFile = first.m_strProjectFolder + "/Korvane.ncc";
    if (first.SaveProject() != 0) std::abort();  // a scratch folder always takes a save
    if (!CKorvaneView::FindProjectDamage(first.m_strProjectFile).empty()) std::abort();  // its own save is whole

    CKorvaneView second;
    Load(second, out);
    if (Describe(second, true) != book) std::abort();
    std::vector<std::pair<std::string, std::string>> saved;
    for (const auto& e : fs::directory_iterator(out)) saved.emplace_back(e.path().filename(), Read(e.path()));
    if (second.SaveProject() != 0) std::abort();
    std::vector<std::pair<std::string, std::string>> again;
    for (const auto& e : fs::directory_iterator(out)) again.emplace_back(e.path().filename(), Read(e.path()));
    std::sort(saved.begin(), saved.end());
    std::sort(again.begin(), again.end());
    if (saved != again) std::abort();
    return 0;
}
