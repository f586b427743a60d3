// Priming a decoder with the plain stream beside the program, then decoding an mp3PRO
// file with it, as the players, the import and the book build do: the priming stream's
// decision must not turn the mp3PRO file's frames into failures.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/Mp3Decode.h"
#include "mp3dec/mp3dec.h"
#include "mp3enc/mp3enc.h"

namespace {

// Four seconds of a voiced buzz under a syllable-rate envelope, encoded by our encoder.
// mp3PRO takes 44100 Hz and carries a 22050 Hz core; the plain stream is of the same
// 32 kbit/s format as the priming stream.
std::vector<uint8_t> Encode(uint32_t sbrMode) {
    const int rate = sbrMode == 1 ? 44100 : 22050;
    mp3enc_handle* h = mp3enc_open(rate, 1, 0);
    EXPECT_NE(h, nullptr);
    if (!h) return {};
    mp3enc_config c;
    c.output_rate = rate;
    c.channel_mode = 1;
    c.sbr_mode = sbrMode;
    c.bit_rate = 32000;
    EXPECT_NE(mp3enc_set_config(h, &c), 0);
    std::vector<int16_t> pcm(static_cast<size_t>(rate * 4));
    for (size_t n = 0; n < pcm.size(); ++n) {
        const double e = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * n / rate);
        pcm[n] = static_cast<int16_t>(e * (5000 * std::sin(2 * M_PI * 180 * n / rate) +
                                           1500 * std::sin(2 * M_PI * 7000 * n / rate)));
    }
    std::vector<uint8_t> out(1 << 16), stream;
    const auto* p = reinterpret_cast<const uint8_t*>(pcm.data());
    const long bytes = static_cast<long>(pcm.size() * 2);
    long pos = 0;
    for (;;) {
        int32_t want = 0, used = 0;
        mp3enc_get_input_size(h, &want);
        const int32_t n = static_cast<int32_t>(std::min<long>(want, bytes - pos));
        const int32_t r = mp3enc_encode(h, p + pos, n, &used, out.data(), static_cast<int32_t>(out.size()), nullptr, nullptr);
        if (r < 0) break;
        stream.insert(stream.end(), out.begin(), out.begin() + r);
        pos += used;
        if (n == 0 && r == 0) break;
    }
    mp3enc_close(h);
    return stream;
}

struct Decoded {
    std::vector<SSC> statuses;  // of every call that was not a plain success
    size_t frames = 0;
    bool mp3pro = false;
};

Decoded DecodeAll(MP3Decoder* d, const std::vector<uint8_t>& stream) {
    Decoded r;
    std::vector<uint8_t> pcm(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
    size_t at = 0;
    for (int guard = 0; guard < 100000 && !d->IsEndOfStream(); ++guard) {
        if (at < stream.size()) at += d->Feed(stream.data() + at, static_cast<int>(std::min<size_t>(4096, stream.size() - at)));
        if (at >= stream.size()) d->SetEndOfInput();
        int bytes = 0;
        const SSC s = d->DecodeFrame(pcm.data(), static_cast<int>(pcm.size()), &bytes, nullptr, nullptr, 0);
        if (s == SSC_OK) {
            ++r.frames;
            r.mp3pro = r.mp3pro || d->GetFrameInfo()->mp3proActive;
        } else if (s != SSC_SYNC_NEED_DATA && s != SSC_SYNC_SEARCHED) {
            r.statuses.push_back(s);
        }
    }
    return r;
}

TEST(Mp3Priming, APlainPrimingStreamNeverTurnsAnMp3ProFileIntoFailures) {
    const std::vector<uint8_t> pro = Encode(1), plain = Encode(2);
    ASSERT_FALSE(pro.empty());
    ASSERT_FALSE(plain.empty());
    MP3DecoderInfo* info = nullptr;
    ASSERT_TRUE(SSC_SUCCESS(MP3CreateDecoderInfo(&info)));
    ASSERT_TRUE(info->Open(pro.data(), static_cast<int>(std::min<size_t>(pro.size(), 8192)), static_cast<uint32_t>(pro.size())));
    ASSERT_EQ(info->GetInfo()->bitrate, 32000);

    // Without priming the file is known for what it is.
    MP3Decoder* fresh = nullptr;
    ASSERT_TRUE(SSC_SUCCESS(MP3CreateDecoder(&fresh, 0, 0, 0, 1, 0)));
    EXPECT_TRUE(DecodeAll(fresh, pro).mp3pro);
    fresh->Release();

    // Primed with the plain 32 kbit/s stream and reset, as every caller does before the
    // file itself, the decoder keeps the priming's decision: the mp3PRO file, a plain one
    // and the mp3PRO file again decode whole, with no status that a caller takes for a
    // failure (information codes included).
    MP3Decoder* d = nullptr;
    ASSERT_TRUE(SSC_SUCCESS(MP3CreateDecoder(&d, 0, 0, 0, 1, 0)));
    for (const auto* stream : {&pro, &plain, &pro}) {
        ASSERT_EQ(PrimeMp3Decoder(d, info, CString(KORVANE_BUILD_DIR "/")), 0);
        d->Reset();
        const Decoded r = DecodeAll(d, *stream);
        for (SSC s : r.statuses) EXPECT_EQ(s, SSC_SYNC_EOF) << std::hex << s;
        EXPECT_GT(r.frames, 150u);
    }
    d->Release();
    info->Release();
}

}  // namespace
