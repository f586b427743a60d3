#pragma once
// The format record of a WAV file: the leading bytes of its "fmt " chunk, in the
// layout the file stores them (16 bytes, or 18 with the extension size).

#include <cstdint>

#pragma pack(push, 1)
struct WaveFormatEx {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// Bytes of one sample frame and of one second, from rate, channels and bits alone:
// the fields that say so in a file are not to be trusted.
uint32_t WaveBlockAlign(const WaveFormatEx& format);
uint32_t WaveBytesPerSecond(const WaveFormatEx& format);

// True for integer PCM whose fields agree with each other: 1 to 16 channels, 8, 16,
// 24 or 32 bits, a rate of 1 to 768000 Hz, block align and bytes per second as the
// rate, channels and bits give them.
bool IsSupportedWaveFormat(const WaveFormatEx& format);

// The project's format: 16-bit PCM, one channel, at `rate`.
WaveFormatEx MakePcmMono16Format(uint32_t rate);
