// Writes the two priming streams into the folder given: half a second of a quiet tone,
// mono, at 32000 bit/s (22050 Hz) and 64000 bit/s (44100 Hz). A decoder fed one of them
// until a frame decodes has settled its state on a stream of the project's kind.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

bool MakeStream(const std::string& path, int rate, int bitRate) {
    mp3enc_handle* h = mp3enc_open(rate, 1, 0);
    if (!h) return false;
    mp3enc_config config;
    config.output_rate = static_cast<uint32_t>(rate);
    config.channel_mode = 1;
    config.sbr_mode = 2;
    config.bit_rate = static_cast<uint32_t>(bitRate);
    bool ok = mp3enc_set_config(h, &config) != 0;
    std::vector<int16_t> pcm(static_cast<size_t>(rate / 2));
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(1000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * double(i) / rate));
    std::vector<uint8_t> out(16384), stream;
    size_t pos = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    while (ok) {
        int32_t want = 0;
        mp3enc_get_input_size(h, &want);
        const int32_t n = static_cast<int32_t>(std::min<size_t>(size_t(want > 0 ? want : 0), total - pos));
        int32_t consumed = 0;
        const int32_t got = mp3enc_encode(h, bytes + pos, n, &consumed, out.data(), int32_t(out.size()), nullptr, nullptr);
        if (got < 0) ok = false;
        if (got > 0) stream.insert(stream.end(), out.begin(), out.begin() + got);
        pos += size_t(consumed > 0 ? consumed : 0);
        if (n == 0 && got == 0) break;
    }
    mp3enc_close(h);
    if (!ok || stream.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    ok = std::fwrite(stream.data(), 1, stream.size(), f) == stream.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_mp3_priming FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!MakeStream(folder + "/mp3_32k.data", 22050, 32000) || !MakeStream(folder + "/mp3_64k.data", 44100, 64000)) {
        std::fprintf(stderr, "make_mp3_priming: cannot write the priming streams into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
