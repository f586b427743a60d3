// Starting a phrase inside an hour of 32 kbit/s MP3 (the frames are walked from the file's
// first one): the time from the seek to the phrase's first 100 ms, at the file's start, in
// its middle and near its end. A phrase should start well within one 100 ms buffer.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SilentHost.h"
#include "audio/Mp3Encode.h"
#include "audio/Mp3Part.h"
#include "audio/WaveTaskHost.h"
#include "platform/Riff.h"

namespace fs = std::filesystem;

namespace {

// An hour of a 22050 Hz, 32 kbit/s stream: one minute encoded, its frames repeated.
const std::string& HourFile() {
    static const std::string path = [] {
        const std::string dir = fs::temp_directory_path() / ("korvane-mp3part-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::string pcm;
        for (int i = 0; i < 60 * 22050; ++i) {
            const auto v = static_cast<int16_t>(6000 * std::sin(i * 0.03) * (i / 11025 % 2));
            pcm.push_back(static_cast<char>(v & 0xFF));
            pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
        std::string wav = "RIFF";
        auto le32 = [&](uint32_t v) { for (int k = 0; k < 4; ++k) wav.push_back(static_cast<char>(v >> (8 * k))); };
        le32(36 + static_cast<uint32_t>(pcm.size()));
        wav += "WAVEfmt ";
        le32(16);
        wav += std::string("\x01\x00\x01\x00", 4);
        le32(22050);
        le32(44100);
        wav += std::string("\x02\x00\x10\x00", 4);
        wav += "data";
        le32(static_cast<uint32_t>(pcm.size()));
        std::ofstream(dir + "/minute.wav", std::ios::binary) << wav << pcm;
        SilentHost host;
        EncodeWaveToMp3(host, CString(dir + "/minute.wav"), CString(dir + "/minute.mp3"), 32000, 1, "c", "t");
        std::ifstream in(dir + "/minute.mp3", std::ios::binary);
        const std::string minute((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream out(dir + "/hour.mp3", std::ios::binary);
        for (int m = 0; m < 60; ++m) out << minute;
        return dir + "/hour.mp3";
    }();
    return path;
}

void PhraseStart(benchmark::State& state) {
    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(CString(HourFile()), RiffOpenMode::Read, error);
    MP3Decoder* decoder = nullptr;
    MP3CreateDecoder(&decoder, 0, 0, 0, 1, 0);
    CMp3PartReader reader(decoder, file.get());
    const uint64_t start = static_cast<uint64_t>(state.range(0)) * 60 * 44100;  // minutes in
    for (auto _ : state) {
        reader.Seek(start);
        uint32_t got = 0;
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        while (got < 4410 && reader.Read(data, bytes) == CMp3PartReader::kData) got += bytes;
        benchmark::DoNotOptimize(got);
    }
    decoder->Release();
    file->Close();
}
BENCHMARK(PhraseStart)->Arg(0)->Arg(30)->Arg(59)->Unit(benchmark::kMillisecond);

}  // namespace
