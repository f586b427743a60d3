#include "audio/WaveTestSupport.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
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

std::string Le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v) + Le16(v >> 16); }

std::string Chunk(const std::string& id, const std::string& data, int64_t size) {
    return id + Le32(static_cast<uint32_t>(size < 0 ? data.size() : size)) + data + std::string(data.size() % 2, '\0');
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

std::string WaveBytes(const std::string& fmt, const std::string& data) {
    return RiffWave(Chunk("fmt ", fmt) + Chunk("data", data));
}

// Samples are little-endian, as the host.
std::string SamplesToBytes(const std::vector<int16_t>& samples) {
    return std::string(reinterpret_cast<const char*>(samples.data()), 2 * samples.size());
}

std::vector<int16_t> BytesToSamples(const std::string& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), 2 * out.size());  // no null pointer for memcpy
    return out;
}

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteWav(const std::string& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples) {
    WriteBytes(path, WaveBytes(PcmFmt(channels, rate, 16), SamplesToBytes(samples)));
}

std::vector<int16_t> ReadCanonicalWav(const std::string& path, uint32_t& rate) {
    const std::string bytes = ReadBytes(path);
    uint32_t size = 0;
    if (bytes.size() >= 44) {
        std::memcpy(&rate, &bytes[24], 4);
        std::memcpy(&size, &bytes[40], 4);
    }
    const std::string header = "RIFF" + Le32(static_cast<uint32_t>(bytes.size() - 8)) + "WAVE" +
                               Chunk("fmt ", PcmFmt(1, rate, 16)) + "data" + Le32(size);
    if (bytes.compare(0, 44, header) != 0 || size + (size & 1) != bytes.size() - 44) {
        ADD_FAILURE() << path << " is not a canonical 16-bit mono WAV file";
        return {};
    }
    return BytesToSamples(bytes.substr(44, size));
}

std::vector<int16_t> Noise16(size_t count, uint32_t seed) {
    std::vector<int16_t> samples(count);
    uint32_t x = 12345 + seed * 104729;
    for (int16_t& s : samples) s = static_cast<int16_t>((x = x * 1103515245u + 12345u) >> 16);
    return samples;
}

std::vector<int16_t> Blocks(uint32_t rate, const std::string& script) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < script.size();) {
        const char kind = script[i++];
        if (kind == ' ') continue;
        size_t used = 0;
        const long n = std::stol(script.substr(i), &used);
        i += used;
        const long count = kind == '+' ? n : n * static_cast<long>(rate) / 10;
        const std::vector<int16_t> run = kind == 'Q' ? std::vector<int16_t>(count) : TonePcm(1000.0, rate, count, 0.5);
        out.insert(out.end(), run.begin(), run.end());
    }
    return out;
}

std::vector<double> Tone(double frequency, double rate, long count, double amplitude) {
    std::vector<double> out(count);
    for (long i = 0; i < count; ++i) out[i] = amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate);
    return out;
}

std::vector<int16_t> TonePcm(double frequency, double rate, long count, double amplitude) {
    std::vector<int16_t> out(count);
    const std::vector<double> tone = Tone(frequency, rate, count, amplitude);
    for (long i = 0; i < count; ++i) out[i] = static_cast<int16_t>(std::lround(tone[i] * 32767.0));
    return out;
}

namespace {

// Least-squares fit of a cos + b sin at `frequency`; its amplitude, and optionally the
// energies of the fit and of the residual.
template <typename Get>
double FitTone(Get get, double frequency, double rate, long first, long count, double* residual = nullptr,
               double* signal = nullptr) {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (long i = first; i < first + count; ++i) {
        const double c = std::cos(w * i), s = std::sin(w * i), x = get(i);
        cc += c * c, ss += s * s, cs += c * s, xc += x * c, xs += x * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    if (residual) {
        *residual = *signal = 0;
        for (long i = first; i < first + count; ++i) {
            const double fit = a * std::cos(w * i) + b * std::sin(w * i);
            *residual += (get(i) - fit) * (get(i) - fit);
            *signal += fit * fit;
        }
    }
    return std::hypot(a, b);
}

}  // namespace

double ToneAmplitude(const std::vector<double>& values, double frequency, double rate, long first, long count) {
    return FitTone([&](long i) { return values[i]; }, frequency, rate, first, count);
}

double ToneAmplitude(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count) {
    return FitTone([&](long i) { return samples[i] / 32768.0; }, frequency, rate, first, count);
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

bool RunCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    const int status = ::pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HaveTool(const std::string& name) {
    std::string ignored;
    return RunCommand("command -v " + name, ignored);
}

std::string Soxi(const std::string& option, const std::string& path) {
    std::string out;
    EXPECT_TRUE(RunCommand("soxi " + option + " '" + path + "'", out)) << path;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::vector<int16_t> SoxDecode(const std::string& path) {
    std::string raw;
    EXPECT_TRUE(RunCommand("sox -R '" + path + "' -t raw -e signed -b 16 -L -", raw)) << path;
    return BytesToSamples(raw);
}

}  // namespace wavetest
