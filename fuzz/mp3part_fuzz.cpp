// libFuzzer target over the MP3 part reader: from any place of any file (a tag in front,
// damaged frames, a cut end) it must end, hand out no more than the frames it walked can
// decode to, and never read outside its buffers. The first three bytes choose the place
// in bytes of the decoded stream; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "audio/Mp3Part.h"
#include "platform/Riff.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint64_t start = (uint64_t(data[0]) << 16 | uint64_t(data[1]) << 8 | data[2]) * 2;
    data += 3;
    size -= 3;
    static const std::string path =
        (fs::is_directory("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) + "/korvane-mp3part-fuzz-" +
        std::to_string(::getpid()) + ".mp3";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    (void)Id3v2TagSize(data, static_cast<int64_t>(size));
    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(CString(path), RiffOpenMode::Read, error);
    if (!file) std::abort();
    MP3Decoder* decoder = nullptr;
    if (MP3CreateDecoder(&decoder, 0, 0, 0, 1, 0) != SSC_OK) std::abort();
    {
        CMp3PartReader reader(decoder, file.get());
        if (reader.Seek(start) == CMp3PartReader::kData) {
            // Every frame takes 24 bytes at least and gives at most the decoder's largest output.
            const uint64_t most = (size / 24 + 2) * uint64_t(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
            uint64_t total = 0;
            const uint8_t* out = nullptr;
            uint32_t bytes = 0;
            for (int calls = 0;; ++calls) {
                const int r = reader.Read(out, bytes);
                if (r == CMp3PartReader::kEnd) break;
                if (r == CMp3PartReader::kFailed) {
                    if (reader.Status() == SSC_OK || SSC_SUCCESS(reader.Status())) break;
                    continue;  // a decoder error: the player decodes on
                }
                if (bytes > MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16) std::abort();
                if (bytes > 0) (void)(out[0] + out[bytes - 1]);
                total += bytes;
                if (total > most || calls > 1000000) std::abort();
            }
        }
    }
    decoder->Release();
    file->Close();
    return 0;
}
