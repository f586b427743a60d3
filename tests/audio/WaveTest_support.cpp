#include "audio/WaveTestSupport.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

namespace wavetest {

ScratchFolder::ScratchFolder() {
    char pattern[] = "/tmp/korvane-wav-XXXXXX";
    if (::mkdtemp(pattern)) m_root = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    if (!m_root.empty()) std::filesystem::remove_all(m_root, ec);
}

std::string Le16(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string Le32(uint32_t v) { return Le16(v) + Le16(v >> 16); }

std::string Chunk(const std::string& id, const std::string& data, int64_t size) {
    std::string out = id + Le32(static_cast<uint32_t>(size < 0 ? data.size() : size)) + data;
    if (data.size() % 2) out += '\0';
    return out;
}

std::string FmtRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t blockAlign,
                      uint16_t bits) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(bytesPerSecond) + Le16(blockAlign) + Le16(bits);
}

std::string PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return FmtRecord(1, channels, rate, rate * align, align, bits);
}

std::string RiffWave(const std::string& body, int64_t size) {
    return "RIFF" + Le32(static_cast<uint32_t>(size < 0 ? body.size() + 4 : size)) + "WAVE" + body;
}

std::string SamplesToBytes(const std::vector<int16_t>& samples) {
    std::string out;
    out.reserve(samples.size() * 2);
    for (int16_t s : samples) out += Le16(static_cast<uint16_t>(s));
    return out;
}

std::vector<int16_t> BytesToSamples(const std::string& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return out;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteWav(const std::string& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples) {
    WriteBytes(path, RiffWave(Chunk("fmt ", PcmFmt(channels, rate, 16)) + Chunk("data", SamplesToBytes(samples))));
}

std::vector<int16_t> ReadCanonicalWav(const std::string& path, uint32_t& rate) {
    const std::string bytes = ReadBytes(path);
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0) {
        ADD_FAILURE() << path << " is not a canonical WAV file";
        return {};
    }
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    rate = u32(24);
    const uint32_t size = u32(40);
    EXPECT_EQ(u32(4), bytes.size() - 8);
    EXPECT_EQ(size + (size & 1), bytes.size() - 44);
    return BytesToSamples(bytes.substr(44, size));
}

std::vector<double> Tone(double frequency, double rate, long count, double amplitude, double phase) {
    std::vector<double> out(count);
    for (long i = 0; i < count; ++i) out[i] = amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate + phase);
    return out;
}

std::vector<int16_t> TonePcm(double frequency, double rate, long count, double amplitude) {
    std::vector<int16_t> out(count);
    const std::vector<double> tone = Tone(frequency, rate, count, amplitude);
    for (long i = 0; i < count; ++i) out[i] = static_cast<int16_t>(std::lround(tone[i] * 32767.0));
    return out;
}

namespace {

// Least-squares fit of a cos + b sin at `frequency`; returns the residual's energy too.
template <typename Get>
double FitTone(Get get, double frequency, double rate, long first, long count, double* residualEnergy,
               double* signalEnergy) {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (long i = first; i < first + count; ++i) {
        const double c = std::cos(w * i), s = std::sin(w * i), x = get(i);
        cc += c * c;
        ss += s * s;
        cs += c * s;
        xc += x * c;
        xs += x * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    if (residualEnergy) {
        double r = 0, e = 0;
        for (long i = first; i < first + count; ++i) {
            const double fit = a * std::cos(w * i) + b * std::sin(w * i);
            r += (get(i) - fit) * (get(i) - fit);
            e += fit * fit;
        }
        *residualEnergy = r;
        *signalEnergy = e;
    }
    return std::hypot(a, b);
}

}  // namespace

double ToneAmplitude(const std::vector<double>& values, double frequency, double rate, long first, long count) {
    return FitTone([&](long i) { return values[i]; }, frequency, rate, first, count, nullptr, nullptr);
}

double ToneAmplitude(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count) {
    return FitTone([&](long i) { return samples[i] / 32768.0; }, frequency, rate, first, count, nullptr, nullptr);
}

double Rms(const std::vector<double>& values, long first, long count) {
    double sum = 0;
    for (long i = first; i < first + count; ++i) sum += values[i] * values[i];
    return std::sqrt(sum / count);
}

double SnrAgainstTone(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count) {
    double residual = 0, signal = 0;
    FitTone([&](long i) { return samples[i] / 32768.0; }, frequency, rate, first, count, &residual, &signal);
    return 10.0 * std::log10(signal / residual);
}

}  // namespace wavetest
