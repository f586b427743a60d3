#pragma once
// The input of the import benchmarks: one hour of speech-like 44100 Hz mono audio, the same
// samples whether it is imported as WAV or, encoded by a peer, as MP3.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

constexpr int kSpeechSeconds = 3600;
constexpr int kSpeechRate = 44100;

// 2.4 s of voiced sound (a few partials under a syllable-rate swell), then a pause; every
// tenth pause is long enough to start a section.
inline int16_t SpeechSample(long i) {
    const double pi = std::numbers::pi;
    const long period = kSpeechRate * 3;
    const long within = i % period;
    const bool longPause = (i / period) % 10 == 9;
    if (within >= kSpeechRate * 24 / 10 || (longPause && within >= kSpeechRate / 2)) return 0;
    const double t = static_cast<double>(i) / kSpeechRate;
    const double v = (0.3 * std::sin(2 * pi * 180 * t) + 0.1 * std::sin(2 * pi * 1270 * t) +
                      0.04 * std::sin(2 * pi * 3400 * t)) *
                     (0.55 + 0.45 * std::sin(2 * pi * 4 * t));
    return static_cast<int16_t>(std::lround(v * 32767));
}

// Writes the hour as a 16-bit WAV file; false when it could not be written whole.
inline bool WriteSpeechHour(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    auto le = [&](uint32_t v, int n) {
        for (int k = 0; k < n; ++k) out.put(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    const uint32_t dataSize = static_cast<uint32_t>(kSpeechSeconds) * kSpeechRate * 2;
    out.write("RIFF", 4);
    le(36 + dataSize, 4);
    out.write("WAVEfmt ", 8);
    le(16, 4);
    le(1, 2);
    le(1, 2);
    le(kSpeechRate, 4);
    le(kSpeechRate * 2, 4);
    le(2, 2);
    le(16, 2);
    out.write("data", 4);
    le(dataSize, 4);
    std::vector<char> block(kSpeechRate * 2);
    for (long second = 0; second < kSpeechSeconds; ++second) {
        for (long j = 0; j < kSpeechRate; ++j) {
            const uint16_t v = static_cast<uint16_t>(SpeechSample(second * kSpeechRate + j));
            block[2 * j] = static_cast<char>(v & 0xFF);
            block[2 * j + 1] = static_cast<char>(v >> 8);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.close();
    return static_cast<bool>(out);
}
