#include "audio/WaveFile.h"

#include <gtest/gtest.h>

#include <string>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

const std::string kSamples = SamplesToBytes({1, -2, 3, -4});
const std::string kFmt = Chunk("fmt ", PcmFmt(1, 16000, 16)), kData = Chunk("data", kSamples);
const std::string kPcmGuid = Le16(1) + std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
// A 40-byte extensible record (18 bytes are read) with the sub-format `guid`.
std::string Extensible(uint32_t bytesPerSecond, uint16_t align, uint16_t bits, const std::string& guid) {
    return FmtRecord(0xFFFE, 1, 16000, bytesPerSecond, align, bits) + Le16(22) + Le16(bits) + Le32(4) + guid;
}

struct HeaderCase {
    const char* what;
    std::string bytes;
    int result;
    uint32_t dataSize = 0, dataOffset = 0;  // checked when the result is kWaveHeaderOk
    uint16_t channels = 1;
};

}  // namespace

TEST(ReadWaveHeader, LayoutsAndDamageReadAsExpected) {
    const std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "name"));
    const std::string whole = WaveBytes(PcmFmt(1, 16000, 16), SamplesToBytes(std::vector<int16_t>(100)));
    const HeaderCase cases[] = {
        {"16-byte format", WaveBytes(PcmFmt(1, 22050, 16), kSamples), kWaveHeaderOk, 8, 44},
        {"18-byte format", RiffWave(Chunk("fmt ", PcmFmt(2, 44100, 16) + Le16(0)) + kData), kWaveHeaderOk, 8, 46, 2},
        {"extensible PCM", RiffWave(Chunk("fmt ", Extensible(32000, 2, 16, kPcmGuid)) + kData), kWaveHeaderOk, 8, 68},
        {"odd chunk before fmt, LIST before data", RiffWave(Chunk("junk", "abc") + kFmt + list + kData), kWaveHeaderOk,
         8, static_cast<uint32_t>(12 + 12 + 24 + list.size() + 8)},
        {"odd data with pad and a chunk after it",
         RiffWave(kFmt + Chunk("data", SamplesToBytes({7, 8}) + "\x05") + Chunk("LIST", "INFO")), kWaveHeaderOk, 5, 44},
        // A truncated file: cut inside the samples, the data chunk keeps its claimed size.
        {"cut in the samples", whole.substr(0, 60), kWaveHeaderOk, 200, 44},
        {"cut in the format", whole.substr(0, 30), kWaveHeaderBadFormat},
        {"empty", "", kWaveHeaderNoRiff},
        {"data before fmt", RiffWave(kData + kFmt), kWaveHeaderNoData},
        {"no fmt", RiffWave(kData), kWaveHeaderNoFmt},
        {"AVI form", "RIFF" + Le32(static_cast<uint32_t>(kFmt.size() + kData.size() + 4)) + "AVI " + kFmt + kData,
         kWaveHeaderNoRiff},
        {"MP3", "ID3\x03" + std::string(100, '\0'), kWaveHeaderNoRiff},
        // Formats the callers refuse themselves are still read.
        {"8-bit stereo", WaveBytes(PcmFmt(2, 44100, 8), kSamples), kWaveHeaderOk, 8, 44, 2},
        {"24-bit", WaveBytes(PcmFmt(1, 48000, 24), kSamples), kWaveHeaderOk, 8, 44},
        // Untrustworthy or foreign formats.
        {"no bytes per second", WaveBytes(FmtRecord(1, 1, 22050, 0, 2, 16), kSamples), kWaveHeaderCannotOpen},
        {"no block align", WaveBytes(FmtRecord(1, 1, 22050, 44100, 0, 16), kSamples), kWaveHeaderCannotOpen},
        {"too many bytes", WaveBytes(FmtRecord(1, 1, 22050, 9999999, 2, 16), kSamples), kWaveHeaderCannotOpen},
        {"align of stereo", WaveBytes(FmtRecord(1, 1, 22050, 44100, 4, 16), kSamples), kWaveHeaderCannotOpen},
        {"no rate", WaveBytes(FmtRecord(1, 1, 0, 0, 2, 16), kSamples), kWaveHeaderCannotOpen},
        {"no channels", WaveBytes(FmtRecord(1, 0, 22050, 0, 0, 16), kSamples), kWaveHeaderCannotOpen},
        {"12 bits", WaveBytes(FmtRecord(1, 1, 22050, 33075, 2, 12), kSamples), kWaveHeaderCannotOpen},
        {"ADPCM", WaveBytes(FmtRecord(2, 1, 22050, 11155, 512, 4), kSamples), kWaveHeaderCannotOpen},
        {"floats", WaveBytes(FmtRecord(3, 1, 22050, 88200, 4, 32), kSamples), kWaveHeaderCannotOpen},
        {"extensible floats", RiffWave(Chunk("fmt ", Extensible(64000, 4, 32, Le16(3) + kPcmGuid.substr(2))) + kData),
         kWaveHeaderCannotOpen},
        {"extensible without extension", WaveBytes(FmtRecord(0xFFFE, 1, 16000, 32000, 2, 16), kSamples),
         kWaveHeaderCannotOpen},
        {"record cut short", WaveBytes(PcmFmt(1, 22050, 16).substr(0, 14), kSamples), kWaveHeaderCannotOpen},
    };
    ScratchFolder folder;
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(folder.Path("t.wav"), c.bytes);
        WaveFormatEx format{};
        uint32_t size = 0xDEAD, offset = 0xBEEF;
        ASSERT_EQ(ReadWaveHeader(folder.CPath("t.wav"), format, size, offset), c.result);
        if (c.result != kWaveHeaderOk) continue;
        EXPECT_EQ(size, c.dataSize);
        EXPECT_EQ(offset, c.dataOffset);
        EXPECT_EQ(format.nChannels, c.channels);
    }
    WaveFormatEx format{};
    uint32_t size = 0, offset = 0;
    EXPECT_EQ(ReadWaveHeader(folder.CPath("missing.wav"), format, size, offset), kWaveHeaderCannotOpen);
    // Every field of a plain record.
    WriteBytes(folder.Path("t.wav"), WaveBytes(PcmFmt(1, 22050, 16), kSamples));
    ASSERT_EQ(ReadWaveHeader(folder.CPath("t.wav"), format, size, offset), kWaveHeaderOk);
    EXPECT_EQ(format.wFormatTag, 1);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    EXPECT_EQ(format.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(format.nBlockAlign, 2);
    EXPECT_EQ(format.wBitsPerSample, 16);
}
