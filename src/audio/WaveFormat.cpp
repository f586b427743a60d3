#include "audio/WaveFormat.h"

uint32_t WaveBlockAlign(const WaveFormatEx& format) {
    return static_cast<uint32_t>(format.nChannels) * (format.wBitsPerSample / 8u);
}

uint32_t WaveBytesPerSecond(const WaveFormatEx& format) {
    const uint64_t bytes = static_cast<uint64_t>(format.nSamplesPerSec) * WaveBlockAlign(format);
    return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

bool IsSupportedWaveFormat(const WaveFormatEx& format) {
    if (format.wFormatTag != kWaveFormatPcm && format.wFormatTag != kWaveFormatExtensible) return false;
    if (format.nChannels < 1 || format.nChannels > 16) return false;
    switch (format.wBitsPerSample) {
    case 8: case 16: case 24: case 32: break;
    default: return false;
    }
    if (format.nSamplesPerSec < 1 || format.nSamplesPerSec > 768000) return false;
    return format.nBlockAlign == WaveBlockAlign(format) && format.nAvgBytesPerSec == WaveBytesPerSecond(format);
}

WaveFormatEx MakePcmMono16Format(uint32_t rate) {
    WaveFormatEx format{};
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<uint16_t>(WaveBlockAlign(format));
    format.nAvgBytesPerSec = WaveBytesPerSecond(format);
    format.cbSize = 0;
    return format;
}
