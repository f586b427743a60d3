// The DAISY book reader on hostile books: the input is an NCC file and up to two SMIL
// files, separated by lines "--SMIL--". The NCC's links name "a.smil" and "b.smil"; a
// short WAV file "a.wav" and a short MP3 file "a.mp3" beside them give clips something
// to point at. The markup parsers also see the whole input on its own.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "daisy/DaisyBookReader.h"
#include "platform/DialogHost.h"
#include "platform/MarkupDocument.h"

namespace {

std::string g_folder;

void WriteFile(const std::string& path, std::string_view bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void WriteWav(const std::string& path) {
    const uint32_t rate = 16000, bytes = 16000;
    std::string h = "RIFF";
    auto u32 = [&h](uint32_t v) { for (int i = 0; i < 4; ++i) h += static_cast<char>(v >> (8 * i)); };
    auto u16 = [&h](uint16_t v) { h += static_cast<char>(v), h += static_cast<char>(v >> 8); };
    u32(36 + bytes);
    h += "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    h += "data";
    u32(bytes);
    h += std::string(bytes, '\0');
    WriteFile(path, h);
}

// One second of silent frames: MPEG-2 Layer III, 32 kbit/s, 22050 Hz, mono.
void WriteMp3(const std::string& path) {
    std::string frames;
    for (int i = 0; i < 38; ++i) frames += std::string("\xFF\xF3\x40\xC4", 4) + std::string(100, '\0');
    WriteFile(path, frames);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = "/tmp/ncc_smil_fuzz_" + std::to_string(::getpid());
    ::mkdir(g_folder.c_str(), 0700);
    WriteWav(g_folder + "/a.wav");
    WriteMp3(g_folder + "/a.mp3");
    // Every message the reader shows is answered by nobody and goes nowhere.
    CUiScript::SetFaultReporter([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        CMarkupDocument doc;
        if (doc.LoadHtml(input) == EMarkupLoad::Ok)
            for (auto node : doc.ElementsByTagName("a")) CMarkupDocument::OuterText(node);
        if (doc.LoadXml(input) == EMarkupLoad::Ok)
            for (auto node : doc.ElementsByTagName("audio")) CMarkupDocument::ChildElements(node);
    }

    std::vector<std::string_view> parts;
    std::string_view rest(input);
    for (size_t at; parts.size() < 2 && (at = rest.find("\n--SMIL--\n")) != std::string_view::npos;) {
        parts.push_back(rest.substr(0, at));
        rest.remove_prefix(at + 10);
    }
    parts.push_back(rest);
    WriteFile(g_folder + "/ncc.html", parts[0]);
    WriteFile(g_folder + "/a.smil", parts.size() > 1 ? parts[1] : std::string_view());
    WriteFile(g_folder + "/b.smil", parts.size() > 2 ? parts[2] : std::string_view());

    CUiScript script;
    CDaisyBookReader reader;
    reader.m_strProjectFolder = CString(g_folder);
    BookInfo info;
    CRecordList<CSectionInformation> sections;
    reader.LoadNcc(CString(g_folder + "/ncc.html"), &info, &sections, size > 0 ? data[0] & 1 : 0);
    return 0;
}
