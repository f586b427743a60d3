#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "mp3enc/bitbuf.h"
#include "sbrenc/sbrenc_encoder.h"
#include "sbrenc/sbrenc_tables.h"

namespace {

// Reads a payload back as a decoder would: the header, the grid, the directions and the
// Huffman-coded deltas, undone against its own memory of the previous envelope.
struct reader {
  std::vector<int> bits;
  size_t pos = 0;
  uint32_t get(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      EXPECT_LT(pos, bits.size());
      v = (v << 1) | (pos < bits.size() ? bits[pos++] : 0);
    }
    return v;
  }
  int32_t huff(const sbrenc_huff_book& b) {
    uint32_t code = 0;
    for (int len = 1; len <= 20; ++len) {
      code = (code << 1) | get(1);
      for (int i = 0; i < b.entries; ++i)
        if (b.codes[i].length == len && b.codes[i].code == code) return i - b.lav;
    }
    ADD_FAILURE() << "no code word";
    return 0;
  }
};

int ilog2(int n) {
  int b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

int tracks_read = 0;

struct decoder_channel {
  int prev_env[48] = {};  // on the high-resolution scale
  int prev_noise[10] = {};
};

struct parsed_channel {
  sbrenc_grid_code code{};
  sbrenc_grid_info grid{};
  int env_dir[5] = {}, noise_dir[2] = {};
  int invf = 0, word20 = 0;
};

void read_grid(reader& r, parsed_channel& p, int freq_res_fixed_expected) {
  sbrenc_grid_code& g = p.code;
  g.slots = 9;
  g.frame_class = static_cast<int32_t>(r.get(2));
  int res_fixed = 1;
  switch (g.frame_class) {
    case 0:
      g.fixed_envelopes = 1 << r.get(2);
      res_fixed = static_cast<int>(r.get(1));
      EXPECT_EQ(res_fixed, freq_res_fixed_expected);
      break;
    case 1:
    case 2:
      g.var_border = static_cast<int32_t>(r.get(3)) + (g.frame_class == 1 ? 9 : 0);
      g.n_rel = static_cast<int32_t>(r.get(2));
      for (int k = 0; k < g.n_rel; ++k) g.rel[k] = 2 * static_cast<int32_t>(r.get(2)) + 2;
      g.pointer = static_cast<int32_t>(r.get(ilog2(g.n_rel + 2)));
      for (int k = 0; k <= g.n_rel; ++k) g.res[k] = static_cast<int32_t>(r.get(1));
      break;
    default:
      g.lead_border = static_cast<int32_t>(r.get(3));
      g.trail_border = static_cast<int32_t>(r.get(3)) + 9;
      g.n_lead = static_cast<int32_t>(r.get(2));
      g.n_trail = static_cast<int32_t>(r.get(2));
      for (int k = 0; k < g.n_lead; ++k) g.lead_rel[k] = 2 * static_cast<int32_t>(r.get(2)) + 2;
      for (int k = 0; k < g.n_trail; ++k) g.trail_rel[k] = 2 * static_cast<int32_t>(r.get(2)) + 2;
      g.pointer = static_cast<int32_t>(r.get(ilog2(g.n_lead + g.n_trail + 2)));
      for (int k = 0; k <= g.n_lead + g.n_trail; ++k) g.res_vv[k] = static_cast<int32_t>(r.get(1));
      break;
  }
  sbrenc_grid_decode(&g, res_fixed, &p.grid);
}

void read_dirs(reader& r, parsed_channel& p) {
  for (int e = 0; e < p.grid.envelopes; ++e) p.env_dir[e] = static_cast<int>(r.get(1));
  for (int q = 0; q < (p.grid.envelopes > 1 ? 2 : 1); ++q) p.noise_dir[q] = static_cast<int>(r.get(1));
}

// Decodes the envelope values of a channel and compares them with what the encoder quantised.
void read_envelopes(reader& r, const parsed_channel& p, decoder_channel& d, const sbrenc_channel& ch,
                    const sbrenc_settings& s, bool coupled) {
  const bool bal = coupled && ch.balance;
  const sbrenc_books& b = ch.books;
  const sbrenc_huff_book& tb = *(bal ? b.t_env_bal : b.t_env);
  const sbrenc_huff_book& fb = *(bal ? b.f_env_bal : b.f_env);
  const int width = bal ? b.env_width_balance : b.env_width_level;
  const int shift = bal ? 1 : 0;
  int i = 0;
  for (int e = 0; e < p.grid.envelopes; ++e) {
    const int res = p.grid.freq_res[e];
    const int n = res ? s.high_count : s.low_count;
    const int offset = 2 * s.low_count - s.high_count;
    std::vector<int> v(n);
    for (int j = 0; j < n; ++j) {
      int m = j;  // the band's index on the high-resolution scale
      if (!res) m = offset >= 0 ? (j < offset ? j : 2 * j - offset) : (j < -offset ? 3 * j : 2 * j - offset);
      if (p.env_dir[e] == 0)
        v[j] = j == 0 ? static_cast<int>(r.get(width)) << shift : v[j - 1] + r.huff(fb) * (1 << shift);
      else
        v[j] = d.prev_env[m] + r.huff(tb) * (1 << shift);
    }
    for (int j = 0; j < n; ++j) {
      EXPECT_EQ(v[j], ch.quantised_envelope[i + j]) << "envelope " << e << " band " << j;
      if (res) {
        d.prev_env[j] = v[j];
      } else if (offset >= 0) {
        if (j < offset)
          d.prev_env[j] = v[j];
        else
          d.prev_env[2 * j - offset] = d.prev_env[2 * j + 1 - offset] = v[j];
      } else if (j < -offset) {
        d.prev_env[3 * j] = d.prev_env[3 * j + 1] = d.prev_env[3 * j + 2] = v[j];
      } else {
        d.prev_env[2 * j - offset] = d.prev_env[2 * j + 1 - offset] = v[j];
      }
    }
    i += n;
  }
}

void read_noise(reader& r, const parsed_channel& p, decoder_channel& d, const sbrenc_channel& ch, bool coupled) {
  const bool bal = coupled && ch.balance;
  const int shift = bal ? 1 : 0;
  const int nb = ch.noise_bands;
  for (int q = 0; q < (p.grid.envelopes > 1 ? 2 : 1); ++q) {
    for (int j = 0; j < nb; ++j) {
      int v;
      if (p.noise_dir[q] == 0)
        v = j == 0 ? static_cast<int>(r.get(5)) << shift
                   : d.prev_noise[j - 1] + r.huff(bal ? sbrenc_f_env_bal_3_0dB : sbrenc_f_env_3_0dB) * (1 << shift);
      else
        v = d.prev_noise[j] + r.huff(bal ? sbrenc_t_noise_bal_3_0dB : sbrenc_t_noise_3_0dB) * (1 << shift);
      d.prev_noise[j] = v;
      EXPECT_EQ(v, ch.quantised_noise[q * nb + j]) << "noise " << q << " band " << j;
    }
  }
}

// The tone tracks of the previous frame, as the tracker kept them.
int read_extension(reader& r, const sbrenc_channel& ch) {
  if (r.get(1) == 0) {
    EXPECT_TRUE(!ch.tone || ch.tone->copy_count == 0);
    return 0;
  }
  const sbrenc_tone_state& x = *ch.tone;
  const int count = static_cast<int>(r.get(2)) + 1;
  EXPECT_EQ(count, x.copy_count);
  for (int i = 0; i < count && i < x.copy_count; ++i) {
    const sbrenc_tone_track& t = x.copy[i];
    EXPECT_EQ(static_cast<int>(r.get(6)), t.start);
    EXPECT_EQ(static_cast<int>(r.get(2)) + 1, t.bands);
    const int mask = static_cast<int>(r.get(2));
    EXPECT_EQ(mask, t.span + 1 - t.half);
    EXPECT_EQ(static_cast<int>(r.get(1)), t.continuation);
    const int values = mask == 3 ? 18 : 9;
    for (int b = 0; b < t.bands; ++b) {
      const int width = static_cast<int>(r.get(1)) + 4;
      EXPECT_EQ(static_cast<int>(r.get(5)), t.rows[b][1]);
      for (int j = 0; j < values; ++j) {
        int q = static_cast<int>(r.get(width - 1));
        if (q != 0 && r.get(1)) q = -q;
        EXPECT_EQ(q, t.rows[b][2 + j]);
      }
    }
  }
  return count;
}

// Parses one frame's payload; returns the bits read.
size_t parse_frame(reader& r, const sbrenc_encoder* enc, decoder_channel dc[2], bool header_expected) {
  const sbrenc_header& h = *enc->header;
  const sbrenc_settings& s = *enc->settings;
  const bool pair = enc->coded == 2;
  if (header_expected) {
    EXPECT_EQ(r.get(2), 0u);
    EXPECT_EQ(static_cast<int>(r.get(1)), h.amp_res);
    EXPECT_EQ(static_cast<int>(r.get(4)), h.start_index);
    EXPECT_EQ(static_cast<int>(r.get(4)), h.stop_index);
    EXPECT_EQ(static_cast<int>(r.get(3)), h.crossover_index);
    EXPECT_EQ(r.get(2), 0u);
    const int value_flag = static_cast<int>(r.get(1));
    const int extra1 = static_cast<int>(r.get(1)), extra2 = static_cast<int>(r.get(1));
    EXPECT_EQ(value_flag, h.channel_value_flag);
    if (!pair) {
      EXPECT_EQ(static_cast<int>(r.get(2)), h.level_class);
    }
    if (extra1) r.get(5);
    if (extra2) {
      r.get(6);
      EXPECT_EQ(r.get(1), 0u);
    }
  }
  EXPECT_EQ(static_cast<int>(r.get(1)), h.dual_rate);
  parsed_channel p[2];
  if (!pair) {
    const sbrenc_channel& ch = *enc->channel[0];
    EXPECT_EQ(static_cast<int>(r.get(1)), h.level_detector);
    read_grid(r, p[0], ch.freq_res_fixed);
    read_dirs(r, p[0]);
    p[0].invf = static_cast<int>(r.get(2));
    p[0].word20 = static_cast<int>(r.get(2));
    if (h.channel_value_flag) r.get(3);
    read_envelopes(r, p[0], dc[0], ch, s, false);
    read_noise(r, p[0], dc[0], ch, false);
    tracks_read += read_extension(r, ch);
    EXPECT_EQ(r.get(1), 0u);
  } else {
    const sbrenc_channel& c0 = *enc->channel[0];
    const sbrenc_channel& c1 = *enc->channel[1];
    const bool coupled = r.get(1) != 0;
    EXPECT_EQ(coupled, h.coupled != 0);
    read_grid(r, p[0], c0.freq_res_fixed);
    if (!coupled) {
      read_grid(r, p[1], c1.freq_res_fixed);
    } else {
      p[1] = p[0];
    }
    read_dirs(r, p[0]);
    read_dirs(r, p[1]);
    r.get(coupled ? 4 : 8);
    if (h.channel_value_flag) r.get(coupled ? 3 : 6);
    if (!coupled) {
      read_envelopes(r, p[0], dc[0], c0, s, false);
      read_envelopes(r, p[1], dc[1], c1, s, false);
      read_noise(r, p[0], dc[0], c0, false);
      read_noise(r, p[1], dc[1], c1, false);
      tracks_read += read_extension(r, c0);
      tracks_read += read_extension(r, c1);
      EXPECT_EQ(r.get(2), 0u);
    } else {
      read_envelopes(r, p[0], dc[0], c0, s, true);
      read_noise(r, p[0], dc[0], c0, true);
      read_envelopes(r, p[1], dc[1], c1, s, true);
      read_noise(r, p[1], dc[1], c1, true);
      tracks_read += read_extension(r, c0);
      EXPECT_EQ(r.get(1), 0u);
    }
  }
  // The grid read back is the grid the encoder estimated with.
  for (int c = 0; c < enc->coded; ++c) {
    const sbrenc_grid_info* g = enc->channel[c]->grid->info;
    const sbrenc_grid_info* mine = (pair && h.coupled) ? enc->channel[0]->grid->info : g;
    EXPECT_EQ(p[c].grid.envelopes, mine->envelopes);
    for (int e = 0; e <= mine->envelopes; ++e) EXPECT_EQ(p[c].grid.borders[e], mine->borders[e]);
  }
  return r.pos;
}

enum signal_kind { tone, noise, clicks, speechlike, silence, high_tone };

float sample(signal_kind k, long n, int ch, std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  switch (k) {
    case tone:
      return static_cast<float>(6000 * std::sin(0.31 * n) + 3000 * std::sin(2.2 * n + ch));
    case noise:
      return 4000 * g(rng);
    case clicks:
      return (n % 3001 < 8 ? 20000.0f : 0.0f) + 50 * g(rng);
    case speechlike: {
      const double env = 0.5 + 0.5 * std::sin(2 * 3.14159 * n / 9000.0);
      return static_cast<float>(env * (5000 * std::sin(0.05 * n) + 2000 * g(rng)));
    }
    case high_tone:  // a lone tone above the crossover, in a near-silent spectrum
      return static_cast<float>(3000 * std::sin(2 * 3.14159265358979 * 0.38 * n) + 2 * g(rng));
    default:
      return 0.0f;
  }
}

TEST(SbrencPayload, EveryPayloadReadsBackForEveryTuningRow) {
  for (int row = 0; row < sbrenc_tuning_rows; ++row) {
    const int32_t* t = sbrenc_tuning_table[row];
    for (signal_kind sig : {tone, noise, clicks, speechlike, silence, high_tone}) {
      SCOPED_TRACE(testing::Message() << "row " << row << " signal " << sig);
      sbrenc_config cfg{};
      ASSERT_EQ(sbrenc_config_defaults(&cfg, 2, 2, 576), 0);
      ASSERT_EQ(sbrenc_config_select(&cfg, t[sbrenc_tc_min_rate], t[sbrenc_tc_channels], t[sbrenc_tc_core_rate], 3,
                                     32000, 0, 0, 0, 1),
                0);
      cfg.header_interval = 0.1f;
      sbrenc_output out{};
      out.bits = mp3enc_bitbuf_create(4096);
      sbrenc_encoder* enc = nullptr;
      ASSERT_EQ(sbrenc_create(&enc, &cfg, &out), nullptr);
      const int nch = cfg.channels;
      std::mt19937 rng(row);
      std::vector<float> frame(1152 * nch);
      decoder_channel dc[2];
      int coupled_frames = 0;
      int variable_frames = 0;
      for (int f = 0; f < 24; ++f) {
        for (int n = 0; n < 1152; ++n)
          for (int c = 0; c < nch; ++c)
            frame[n * nch + c] = sample(sig, 1152L * f + n, c, rng) * (c == 1 && sig == noise ? 0.25f : 1.0f);
        ASSERT_EQ(sbrenc_encode_frame(enc, &out, frame.data()), nullptr);
        const int total = out.header_bits + out.data_bits;
        ASSERT_EQ(mp3enc_bitbuf_count(out.bits), total);
        reader r;
        for (int i = 0; i < total; ++i) r.bits.push_back(static_cast<int>(mp3enc_bitbuf_read(out.bits, 1)));
        EXPECT_EQ(out.header_bits > 0, enc->timer->send == 1);
        EXPECT_EQ(parse_frame(r, enc, dc, out.header_bits > 0), static_cast<size_t>(total)) << "frame " << f;
        EXPECT_EQ(out.element_type, nch == 1 ? (out.header_bits ? 0x58 : 0x38) : (out.header_bits ? 0x88 : 0x68));
        coupled_frames += enc->header->coupled;
        variable_frames += enc->channel[0]->grid->code->frame_class != 0;
        if (testing::Test::HasFailure()) break;
      }
      // Stereo rows switch to coupling on similar channels; clicks give variable grids.
      if (t[sbrenc_tc_stereo_mode] == 3 && sig == silence) {
        EXPECT_GT(coupled_frames, 0);
      }
      if (sig == clicks) {
        EXPECT_GT(variable_frames, 12);
      }
      // The tracker runs above 16000 bit/s per channel.
      if (sig == high_tone) {
        EXPECT_EQ(tracks_read > 10, cfg.bit_rate / cfg.channels > 16000) << tracks_read;
      }
      tracks_read = 0;
      sbrenc_destroy(enc);
      mp3enc_bitbuf_destroy(&out.bits);
      if (testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace

namespace {

TEST(SbrencPayload, OversizedPayloadIsLeftOutAndTheHeaderFollows) {
  for (uint32_t channels : {1u, 2u}) {
    sbrenc_config cfg{};
    ASSERT_EQ(sbrenc_config_defaults(&cfg, 2, 2, 576), 0);
    ASSERT_EQ(sbrenc_config_select(&cfg, channels == 1 ? 48000 : 64000, channels, 22050, 3, 32000, 0, 0, 0, 1), 0);
    sbrenc_output out{};
    out.bits = mp3enc_bitbuf_create(4096);
    sbrenc_encoder* enc = nullptr;
    ASSERT_EQ(sbrenc_create(&enc, &cfg, &out), nullptr);
    std::mt19937 rng(1);
    std::vector<float> frame(1152 * channels);
    decoder_channel dc[2];
    for (int f = 0; f < 8; ++f) {
      for (auto& v : frame) v = sample(noise, 0, 0, rng);
      enc->payload_limit = f == 4 ? 40 : sbrenc_max_payload_bits;
      ASSERT_EQ(sbrenc_encode_frame(enc, &out, frame.data()), nullptr);
      const int total = out.header_bits + out.data_bits;
      if (f == 4) {
        EXPECT_EQ(total, 0);
        EXPECT_EQ(out.element_type, 0);
        EXPECT_EQ(mp3enc_bitbuf_count(out.bits), 0);
        continue;
      }
      EXPECT_EQ(out.header_bits > 0, f == 0 || f == 5) << f;
      if (f == 5)
        for (uint32_t c = 0; c < channels; ++c) {
          EXPECT_EQ(enc->channel[c]->env_dir[0], 0);
          EXPECT_EQ(enc->channel[c]->noise_dir[0], 0);
        }
      reader r;
      for (int i = 0; i < total; ++i) r.bits.push_back(static_cast<int>(mp3enc_bitbuf_read(out.bits, 1)));
      EXPECT_EQ(parse_frame(r, enc, dc, out.header_bits > 0), static_cast<size_t>(total));
    }
    // The frame driver of the core leaves a block out the same way when its frame is full.
    sbrenc_drop_payload(enc, &out);
    ASSERT_EQ(sbrenc_encode_frame(enc, &out, frame.data()), nullptr);
    EXPECT_GT(out.header_bits, 0);
    sbrenc_destroy(enc);
    mp3enc_bitbuf_destroy(&out.bits);
  }
}

}  // namespace
