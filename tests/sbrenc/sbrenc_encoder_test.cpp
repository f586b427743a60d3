#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "sbrenc/sbrenc_encoder.h"

namespace {

sbrenc_config config_for(uint32_t bit_rate, uint32_t channels, uint32_t core_rate) {
  sbrenc_config c{};
  EXPECT_EQ(sbrenc_config_defaults(&c, 2, 2, 576), 0);
  EXPECT_EQ(sbrenc_config_select(&c, bit_rate, channels, core_rate, 3, 32000, 0, 0, 0, 1), 0);
  return c;
}

struct encoder {
  sbrenc_encoder* enc = nullptr;
  sbrenc_output out{};
  const mp3enc_error* err = nullptr;
  explicit encoder(const sbrenc_config& c) { err = sbrenc_create(&enc, &c, &out); }
  ~encoder() { sbrenc_destroy(enc); }
};

TEST(SbrencEncoder, CreationForEveryTuningRow) {
  for (int row = 0; row < sbrenc_tuning_rows; ++row) {
    const int32_t* t = sbrenc_tuning_table[row];
    SCOPED_TRACE(testing::Message() << "row " << row);
    encoder e(config_for(t[sbrenc_tc_min_rate], t[sbrenc_tc_channels], t[sbrenc_tc_core_rate]));
    ASSERT_EQ(e.err, nullptr);
    const sbrenc_settings* s = e.enc->settings;
    EXPECT_EQ(s->sbr_rate, 2 * t[sbrenc_tc_core_rate]);
    EXPECT_EQ(e.out.channels, t[sbrenc_tc_channels]);
    EXPECT_EQ(sbrenc_input_stride(e.enc), t[sbrenc_tc_channels]);
    EXPECT_EQ(s->stereo_mode, t[sbrenc_tc_channels] == 2 ? t[sbrenc_tc_stereo_mode] : 0);
    // The crossover is the lowest SBR band in Hz, below the core's Nyquist frequency.
    EXPECT_FLOAT_EQ(e.out.crossover_hz, s->sbr_rate * s->low[0] / 128.0f);
    EXPECT_LE(e.out.crossover_hz, t[sbrenc_tc_core_rate] / 2.0f);
    EXPECT_GT(sbrenc_stop_frequency(e.enc), e.out.crossover_hz);
    int32_t delay[2];
    sbrenc_delay_words(e.enc, delay);
    EXPECT_EQ(delay[0], 1152);
    EXPECT_EQ(delay[1], 384);
    EXPECT_EQ(e.enc->channel[1] != nullptr, t[sbrenc_tc_channels] == 2);
  }
}

TEST(SbrencEncoder, RefusedRecords) {
  sbrenc_config c = config_for(48000, 1, 22050);
  sbrenc_config bad = c;
  bad.channels = 3;
  EXPECT_NE(encoder(bad).err, nullptr);
  bad = c;
  bad.dual_rate = 2;
  EXPECT_NE(encoder(bad).err, nullptr);
  // Single-rate defaults: frame length 576 fails in the channel creation.
  sbrenc_config single{};
  ASSERT_EQ(sbrenc_config_defaults(&single, 2, 1, 576), 0);
  ASSERT_EQ(sbrenc_config_select(&single, 64000, 1, 44100, 3, 32000, 0, 0, 0, 0), -1);  // no row for 44100
  bad = c;
  bad.frame_length = 576;
  encoder e(bad);
  EXPECT_NE(e.err, nullptr);
  EXPECT_EQ(e.enc, nullptr);
  bad = c;
  bad.stop_index = 15;  // 3 k0 exceeds what 44100 Hz allows
  bad.start_index = 15;
  EXPECT_NE(encoder(bad).err, nullptr);
  EXPECT_EQ(sbrenc_encode_frame(nullptr, nullptr, nullptr), nullptr);
}

TEST(SbrencEncoder, HeaderRepetition) {
  struct period_case {
    uint32_t core_rate;
    float interval;
    int32_t period;
  };
  const period_case cases[] = {{22050, 1.0f, 38}, {24000, 1.0f, 41}, {16000, 1.0f, 27}, {22050, 0.0f, 0}};
  std::vector<float> silence(1152 * 2, 0.0f);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.core_rate);
    sbrenc_config cfg = config_for(40000, 1, c.core_rate);
    cfg.header_interval = c.interval;
    encoder e(cfg);
    ASSERT_EQ(e.err, nullptr);
    EXPECT_EQ(e.enc->timer->period, c.period);
    for (int f = 0; f < 90; ++f) {
      ASSERT_EQ(sbrenc_encode_frame(e.enc, &e.out, silence.data()), nullptr);
      const bool due = c.period ? f % c.period == 0 : f == 0;
      EXPECT_EQ(e.enc->timer->send, due ? 1 : 0) << "frame " << f;
    }
  }
}

TEST(SbrencEncoder, CrossoverChanges) {
  sbrenc_config cfg = config_for(64000, 2, 22050);
  cfg.crossover_change_a = cfg.crossover_change_b = 1;
  encoder e(cfg);
  ASSERT_EQ(e.err, nullptr);
  ASSERT_EQ(e.out.crossover_may_change, 1);
  sbrenc_settings* s = e.enc->settings;
  std::vector<float> silence(1152 * 2 * 2, 0.0f);
  const float hz_of = static_cast<float>(s->sbr_rate) / 128.0f;

  // A request on master edge 2 moves the tables and sends the header.
  sbrenc_encode_frame(e.enc, &e.out, silence.data());
  e.out.requested_crossover_hz = s->master[2] * hz_of;
  sbrenc_encode_frame(e.enc, &e.out, silence.data());
  EXPECT_EQ(e.enc->header->crossover_index, 2);
  EXPECT_EQ(s->high[0], s->master[2]);
  EXPECT_EQ(s->high_count, s->master_count - 2);
  EXPECT_EQ(e.enc->timer->send, 1);
  EXPECT_EQ(e.enc->channel[1]->tonality->rec.stop_band, s->high[s->high_count]);
  EXPECT_EQ(e.enc->channel[0]->tonality->patches[0].target_start, s->high[0]);

  // A request between edges, or on an edge the 3-bit field cannot name, keeps it.
  for (float hz : {(s->master[3] + 0.5f) * hz_of, s->master[8] * hz_of}) {
    e.out.requested_crossover_hz = hz;
    sbrenc_encode_frame(e.enc, &e.out, silence.data());
    EXPECT_EQ(e.enc->header->crossover_index, 2);
    EXPECT_EQ(s->high[0], s->master[2]);
    EXPECT_EQ(e.enc->timer->send, 0);
  }
}

TEST(SbrencEncoder, FramesRunAndBuffersRotate) {
  for (uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(channels);
    encoder e(config_for(channels == 1 ? 48000 : 64000, channels, 22050));
    ASSERT_EQ(e.err, nullptr);
    std::vector<float> frame(1152 * channels);
    float prev_row_energy = 0.0f;
    for (int f = 0; f < 6; ++f) {
      for (size_t n = 0; n < 1152; ++n)
        for (uint32_t c = 0; c < channels; ++c)
          frame[n * channels + c] = static_cast<float>((f + 1) * 1000.0 * std::sin(0.9 * (n + 1152.0 * f)));
      ASSERT_EQ(sbrenc_encode_frame(e.enc, &e.out, frame.data()), nullptr);
      EXPECT_GT(e.out.data_bits, 0);
      EXPECT_EQ(e.out.header_bits > 0, f == 0);
      const sbrenc_subband_buffer* b = e.enc->channel[0]->buffer;
      // After the advance rows 0..17 hold this frame's energies; the rows the next frame
      // writes still hold the frame before.
      float now = 0.0f, before = 0.0f;
      for (int l = 0; l < 18; ++l)
        for (int k = 0; k < 64; ++k) {
          ASSERT_TRUE(std::isfinite(b->energy[l][k]));
          now += b->energy[l][k];
          before += b->energy[18 + l][k];
        }
      EXPECT_GT(now, 0.0f);
      if (f > 0) {
        EXPECT_FLOAT_EQ(before, prev_row_energy);
      }
      prev_row_energy = now;
      const sbrenc_channel* ch = e.enc->channel[0];
      for (int env = 0; env < ch->envelopes; ++env)
        EXPECT_EQ(ch->band_count[env], e.enc->channel[0]->grid->info->freq_res[env] ? e.enc->settings->high_count
                                                                                     : e.enc->settings->low_count);
    }
  }
}

// Mode 3 codes a frame coupled only when that is strictly cheaper. Tone tracks handed to the
// second channel's payload lengthen only the left/right coding (a coupled pair sends the first
// channel's tracks alone), one bit per nonzero value: where the choice turns to coupled, the
// left/right frame one bit shorter must have been exactly as long as the coupled one.
TEST(SbrencEncoder, SwitchedStereoCouplesOnlyWhenStrictlyCheaper) {
  sbrenc_config cfg = config_for(64000, 2, 22050);
  cfg.header_interval = 0.01f;  // a header in every frame: frequency coding only
  cfg.static_framing = 1;       // one grid for both channels
  ASSERT_EQ(cfg.stereo_mode, 3);
  // Left: white noise. Right: loud tones in every other envelope band and faint noise in
  // between, so that the balance swings across the bands and coupling loses its advantage.
  std::vector<float> pcm(1152 * 2 * 8);
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 3000.0f);
  {
    encoder probe(cfg);
    const sbrenc_settings* s = probe.enc->settings;
    std::vector<double> w;
    for (int32_t i = 0; i < s->high_count; i += 2)
      for (int32_t k = s->high[i]; k < s->high[i + 1]; ++k) w.push_back(3.14159265358979 * (k + 0.5) / 64.0);
    for (size_t n = 0; n < pcm.size() / 2; ++n) {
      pcm[2 * n] = noise(rng);
      double r = 0.01 * noise(rng);
      for (size_t j = 0; j < w.size(); ++j) r += 30000.0 * std::sin(w[j] * n + 0.3 * j * j);
      pcm[2 * n + 1] = static_cast<float>(r);
    }
  }
  // Frame `last` with `tracks` tracks of `rows` rows over both halves, `nonzero` values set.
  auto run = [&](int last, int tracks, int rows, int nonzero, int32_t* bits) {
    encoder e(cfg);
    EXPECT_EQ(e.err, nullptr);
    for (int f = 0; f <= last; ++f) {
      if (f == last) {
        sbrenc_tone_state* t = e.enc->channel[1]->tone;
        t->count = tracks;
        for (int i = 0; i < tracks; ++i) {
          t->tracks[i] = sbrenc_tone_track{40 + 4 * i, rows, 2, 0, 0, {}};
          for (int r = 0; r < rows; ++r) {
            t->tracks[i].rows[r][0] = 4;
            for (int v = 0; v < 18; ++v, --nonzero) t->tracks[i].rows[r][2 + v] = nonzero > 0;
          }
        }
      }
      EXPECT_EQ(sbrenc_encode_frame(e.enc, &e.out, pcm.data() + 2 * 1152 * f), nullptr);
    }
    *bits = e.out.header_bits + e.out.data_bits;
    return e.enc->header->coupled != 0;
  };
  int flips = 0;
  for (int last = 0; last < 8; ++last)
    for (int tracks = 1; tracks <= 4; ++tracks)
      for (int rows = 1; rows <= 3; ++rows) {
        int32_t bits_lr = 0, bits_c = 0;
        int lo = 0, hi = tracks * rows * 18;
        if (run(last, tracks, rows, lo, &bits_lr) || !run(last, tracks, rows, hi, &bits_c)) continue;
        while (hi - lo > 1) {  // coupled at hi, left/right at lo
          const int mid = (lo + hi) / 2;
          if (run(last, tracks, rows, mid, &bits_c))
            hi = mid;
          else
            lo = mid;
        }
        run(last, tracks, rows, lo, &bits_lr);
        run(last, tracks, rows, hi, &bits_c);
        EXPECT_EQ(bits_lr, bits_c) << "frame " << last << ", " << tracks << " x " << rows;
        ++flips;
      }
  EXPECT_GT(flips, 0);
}

}  // namespace
