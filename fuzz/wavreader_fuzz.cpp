// libFuzzer target over the WAV reader: the header reader must take any file and, when it
// accepts one, its data chunk must lie inside the file as it claims; reading the data a
// second at a time must end and never hand out more than the chunk holds.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "audio/WaveSecondReader.h"
#include "platform/Riff.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path =
        (fs::is_directory("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) + "/korvane-wav-fuzz-" +
        std::to_string(::getpid()) + ".wav";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    if (ReadWaveHeader(CString(path), format, dataSize, dataOffset) != kWaveHeaderOk) return 0;
    if (dataOffset > size) std::abort();  // the data starts inside the file

    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(CString(path), RiffOpenMode::Read, error);
    if (!file || file->Seek(dataOffset, SEEK_SET) < 0) return 0;
    const uint32_t perSecond = std::max<uint32_t>(2, WaveBytesPerSecond(format)) & ~1u;
    const uint32_t limit = std::min<uint32_t>(dataSize, 1u << 20);
    CWaveSecondReader reader(*file, limit, perSecond);
    std::vector<int16_t> samples;
    uint64_t total = 0;
    for (int calls = 0;; ++calls) {
        if (calls > (1 << 20)) std::abort();  // it must end
        const int r = reader.Next(samples);
        if (r != 1) break;
        total += samples.size() * 2;
        if (total > static_cast<uint64_t>(limit) + 1) std::abort();
    }
    file->Close();
    return 0;
}
