// The SBR payload reader against payloads written here from the payload syntax: header
// variants, the four grid classes, every code book and direction, tones, extended data,
// the CRC, and the header results.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mp3dec/sbr/sbr_payload.h"
#include "mp3dec/sbr/sbr_decoder.h"
#include "mp3dec_support.h"

namespace {

// One code book from the shared table files: value -> code bits.
const std::map<int, std::string>& book(const std::string& name) {
  static std::map<std::string, std::map<int, std::string>> books;
  auto it = books.find(name);
  if (it != books.end()) return it->second;
  std::map<int, std::string>& b = books[name];
  std::ifstream in(std::string(KORVANE_SHARED_DIR) + "/tables/sbr/" + name + ".txt");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    int index = 0, value = 0, length = 0;
    std::string bits;
    if (ls >> index >> value >> length >> bits) b[value] = bits;
  }
  return b;
}

struct header_fields {
  int zero = 0, amp = 1, start = 5, stop = 7, xover = 0, adjuster = 0;
  bool extra1 = false, extra2 = false;
  int scale = 2, alter = 1, noise = 2, lim_bands = 2, lim_gains = 2, interpol = 1, smoothing = 1, strength = 2;
};

void put_header(bit_writer& w, const header_fields& h, bool one_channel) {
  w.put(unsigned(h.zero), 2);
  w.put(unsigned(h.amp), 1);
  w.put(unsigned(h.start), 4);
  w.put(unsigned(h.stop), 4);
  w.put(unsigned(h.xover), 3);
  w.put(0, 2);
  w.put(unsigned(h.adjuster), 1);
  w.put(h.extra1, 1);
  w.put(h.extra2, 1);
  if (one_channel) w.put(unsigned(h.strength), 2);
  if (h.extra1) {
    w.put(unsigned(h.scale), 2);
    w.put(unsigned(h.alter), 1);
    w.put(unsigned(h.noise), 2);
  }
  if (h.extra2) {
    w.put(unsigned(h.lim_bands), 2);
    w.put(unsigned(h.lim_gains), 2);
    w.put(unsigned(h.interpol), 1);
    w.put(unsigned(h.smoothing), 1);
    w.put(0, 1);
  }
}

// A grid as its class's fields; `expect` is what the reader must make of it.
struct grid_fields {
  std::vector<std::pair<unsigned, int>> bits;  // (value, width) in stream order
  SbrGrid expect;
};

// Values of one channel: per envelope its band values, per noise floor its values.
struct channel_values {
  std::vector<int> dir_env, dir_noise;
  std::vector<std::vector<int>> env, noise;
};

void put_values(bit_writer& w, const channel_values& v, bool fine, bool balance) {
  const std::string res = fine ? "1_5dB" : "3_0dB";
  const std::string bal = balance ? "bal_" : "";
  const int start_bits = fine ? (balance ? 6 : 7) : (balance ? 5 : 6);
  for (size_t l = 0; l < v.env.size(); ++l) {
    for (size_t b = 0; b < v.env[l].size(); ++b) {
      if (v.dir_env[l] == 0 && b == 0)
        w.put(unsigned(v.env[l][b]), start_bits);
      else
        w.put_bits(book((v.dir_env[l] ? "t_huffman_env_" : "f_huffman_env_") + bal + res).at(v.env[l][b]));
    }
  }
}

void put_noise(bit_writer& w, const channel_values& v, bool balance) {
  const std::string bal = balance ? "bal_" : "";
  for (size_t q = 0; q < v.noise.size(); ++q) {
    for (size_t b = 0; b < v.noise[q].size(); ++b) {
      if (v.dir_noise[q] == 0 && b == 0)
        w.put(unsigned(v.noise[q][b]), 5);
      else
        w.put_bits(book((v.dir_noise[q] ? "t_huffman_noise_" : "f_huffman_env_") + bal + "3_0dB").at(v.noise[q][b]));
    }
  }
}

void put_directions(bit_writer& w, const channel_values& v) {
  for (int d : v.dir_env) w.put(unsigned(d), 1);
  for (int d : v.dir_noise) w.put(unsigned(d), 1);
}

// A payload from its tag and its bits after the CRC field, with the CRC over `covered`
// bits (fewer when the payload is shorter).
std::vector<uint8_t> payload(int tag, const bit_writer& body, int covered, bool crc_flag = true) {
  bit_writer w;
  w.put(unsigned(tag), 4);
  w.put(crc_flag, 1);
  std::vector<int> bits;
  for (int i = 0; i < body.bits; ++i) bits.push_back((body.bytes[size_t(i / 8)] >> (7 - i % 8)) & 1);
  const int total = (12 + body.bits + 7) / 8 * 8;
  while (int(bits.size()) < total - 12) bits.push_back(0);
  if (covered > int(bits.size())) covered = int(bits.size());
  unsigned reg = 0xFF;
  for (int i = 0; i < covered; ++i) {
    const unsigned top = (reg >> 7) & 1;
    reg = (reg << 1) & 0xFF;
    if (unsigned(bits[size_t(i)]) != top) reg ^= 0x45;
  }
  if (crc_flag) w.put(reg & 0x7F, 7);
  for (int b : bits) w.put(unsigned(b), 1);
  return w.bytes;
}

SbrElementData element(int low, int high, int noise, int amp) {
  SbrElementData e{};
  sbrdec_default_header(&e.header, 22050);
  e.header.amp_resolution = amp;
  e.header.channel_mode = 1;
  e.low_bands = low;
  e.high_bands = high;
  e.noise_bands = noise;
  e.time_slots = 9;
  e.invf_count = 1;
  return e;
}

struct grid_case {
  const char* what;
  std::vector<std::pair<unsigned, int>> bits;
  int envelopes;
  std::vector<int> borders, freq_res;
  int transient;
  std::vector<int> noise_borders;
};

const grid_case grid_cases[] = {
    {"class 0, one envelope", {{0, 2}, {0, 2}, {1, 1}}, 1, {0, 9}, {1}, -1, {0, 9}},
    {"class 0, four envelopes, low resolution", {{0, 2}, {2, 2}, {0, 1}}, 4, {0, 2, 5, 7, 9}, {0, 0, 0, 0}, -1, {0, 5, 9}},
    // b 2, r 1 (two envelopes), d 1: borders 0, 7, 11; p 1: transient at 2; res last first: 1, 0
    {"class 1", {{1, 2}, {2, 3}, {1, 2}, {1, 2}, {1, 2}, {1, 1}, {0, 1}}, 2, {0, 7, 11}, {0, 1}, 2, {0, 7, 11}},
    // b 1, r 2 (three envelopes), d 0, 1: borders 1, 3, 7, 9; p 2: transient 1
    {"class 2", {{2, 2}, {1, 3}, {2, 2}, {0, 2}, {1, 2}, {2, 2}, {1, 1}, {1, 1}, {0, 1}}, 3, {1, 3, 7, 9}, {1, 1, 0}, 1, {1, 3, 9}},
    // b0 2, b1 1, r0 1, r1 1: three envelopes; forward d 0: 2, 4; backward d 0: 10 - 2 = 8; p 0
    {"class 3", {{3, 2}, {2, 3}, {1, 3}, {1, 2}, {1, 2}, {0, 2}, {0, 2}, {0, 2}, {1, 1}, {0, 1}, {1, 1}}, 3, {2, 4, 8, 10}, {1, 0, 1}, -1, {2, 8, 10}},
};

TEST(SbrPayload, GridClassesReadAsWritten) {
  for (const grid_case& c : grid_cases) {
    bit_writer w;
    for (auto [v, n] : c.bits) w.put(v, n);
    SbrBitReader r;
    sbrdec_open_bits(&r, w.bytes.data(), w.bits);
    SbrGrid g;
    ASSERT_EQ(sbrdec_read_grid(&g, &r), 1) << c.what;
    EXPECT_EQ(r.position, w.bits) << c.what;
    EXPECT_EQ(sbrdec_check_grid(&g, 9), 1) << c.what;
    ASSERT_EQ(g.envelopes, c.envelopes) << c.what;
    EXPECT_EQ(std::vector<int>(g.borders, g.borders + g.envelopes + 1), c.borders) << c.what;
    EXPECT_EQ(std::vector<int>(g.freq_res, g.freq_res + g.envelopes), c.freq_res) << c.what;
    EXPECT_EQ(g.transient, c.transient) << c.what;
    EXPECT_EQ(std::vector<int>(g.noise_borders, g.noise_borders + g.noise_floors + 1), c.noise_borders) << c.what;
  }
}

TEST(SbrPayload, RefusedGrids) {
  struct refused {
    const char* what;
    std::vector<std::pair<unsigned, int>> bits;
    bool read;  // read succeeds, the check refuses
  };
  const refused cases[] = {
      {"class 0 with 8 envelopes", {{0, 2}, {3, 2}, {1, 1}}, false},
      {"class 3 with 5 envelopes", {{3, 2}, {0, 3}, {0, 3}, {2, 2}, {2, 2}}, false},
      {"class 1 pointer past the envelopes", {{1, 2}, {0, 3}, {1, 2}, {0, 2}, {3, 2}}, false},
      // class 2, b 7: the first border above 3
      {"first border 7", {{2, 2}, {7, 3}, {0, 2}, {0, 1}, {1, 1}}, true},
  };
  for (const refused& c : cases) {
    bit_writer w;
    for (auto [v, n] : c.bits) w.put(v, n);
    SbrBitReader r;
    sbrdec_open_bits(&r, w.bytes.data(), w.bits);
    SbrGrid g;
    const int read = sbrdec_read_grid(&g, &r);
    EXPECT_FALSE(read && sbrdec_check_grid(&g, 9)) << c.what;
  }
  // A noise border that is no envelope border.
  SbrGrid g{};
  g.envelopes = 2;
  g.borders[0] = 0, g.borders[1] = 4, g.borders[2] = 9;
  g.noise_floors = 2;
  g.noise_borders[0] = 0, g.noise_borders[1] = 5, g.noise_borders[2] = 9;
  g.transient = -1;
  EXPECT_EQ(sbrdec_check_grid(&g, 9), 0);
  g.noise_borders[1] = 4;
  EXPECT_EQ(sbrdec_check_grid(&g, 9), 1);
}

// One channel's element from its parts, after the rate and pseudo-stereo bits.
void put_single(bit_writer& w, const grid_case& grid, const channel_values& v, bool fine, int adjuster_flag,
                bool tones, int ext_size) {
  w.put(1, 1);  // rate flag
  w.put(0, 1);  // pseudo-stereo
  for (auto [b, n] : grid.bits) w.put(b, n);
  put_directions(w, v);
  w.put(2, 2);  // inverse filtering
  w.put(0, 2);
  if (adjuster_flag) w.put(5, 3);
  put_values(w, v, fine, false);
  put_noise(w, v, false);
  w.put(tones, 1);
  if (tones) {
    w.put(0, 2);   // one entry
    w.put(40, 6);  // first band
    w.put(1, 2);   // two bands
    w.put(2, 2);   // slots 0..8
    w.put(1, 1);   // fade out
    for (int b = 0; b < 2; ++b) {
      w.put(unsigned(b), 1);  // widths 4 and 5
      w.put(unsigned(10 + b), 5);
      for (int s = 0; s < 9; ++s) {
        const int mag = (s * 3 + b) % (b ? 16 : 8);
        w.put(unsigned(mag), 3 + b);
        if (mag) w.put(s & 1, 1);
      }
    }
  }
  w.put(ext_size >= 0, 1);
  if (ext_size >= 0) {
    w.put(unsigned(ext_size >= 15 ? 15 : ext_size), 4);
    if (ext_size >= 15) w.put(unsigned(ext_size - 15), 8);
    for (int i = 0; i < ext_size; ++i) w.put(0xA5, 8);
  }
}

// Values for a grid: envelope values alternate directions and cover the book's range.
channel_values values_for(const SbrGrid& g, int low, int high, int noise, bool fine, int seed) {
  channel_values v;
  const int lav = fine ? 60 : 31;
  for (int l = 0; l < g.envelopes; ++l) {
    v.dir_env.push_back((l + seed) & 1);
    std::vector<int> vals;
    const int n = g.freq_res[l] ? high : low;
    for (int b = 0; b < n; ++b) vals.push_back(((b * 37 + l * 11 + seed * 5) % (2 * lav + 1)) - lav);
    if (v.dir_env.back() == 0) vals[0] = (seed * 13 + l) % (fine ? 128 : 64);
    v.env.push_back(vals);
  }
  for (int q = 0; q < g.noise_floors; ++q) {
    v.dir_noise.push_back((q + seed + 1) & 1);
    std::vector<int> vals;
    for (int b = 0; b < noise; ++b) vals.push_back(((b * 17 + q * 7 + seed) % 63) - 31);
    if (v.dir_noise.back() == 0) vals[0] = (seed * 3 + q) % 32;
    v.noise.push_back(vals);
  }
  return v;
}

TEST(SbrPayload, SingleChannelElementsReadAsWritten) {
  int cases = 0;
  for (const grid_case& grid : grid_cases) {
    for (int fine = 0; fine < 2; ++fine) {
      for (int variant = 0; variant < 3; ++variant) {
        SbrElementData e = element(6, 12, 2, fine ? 0 : 1);
        e.header.adjuster_mode_flag = variant == 1;
        SbrGrid g{};
        g.envelopes = grid.envelopes;
        for (int l = 0; l < g.envelopes; ++l) g.freq_res[l] = grid.freq_res[size_t(l)];
        g.noise_floors = int(grid.noise_borders.size()) - 1;
        const channel_values v = values_for(g, 6, 12, 2, fine, variant + cases);
        const int ext = variant == 0 ? -1 : variant == 1 ? 3 : 25;  // 25: size 15 plus an escape of 10
        bit_writer w;
        put_single(w, grid, v, fine, variant == 1, variant != 0, ext);
        SbrBitReader r;
        sbrdec_open_bits(&r, w.bytes.data(), w.bits);
        const std::string what = std::string(grid.what) + (fine ? ", 1.5 dB" : ", 3.0 dB") + " variant " + std::to_string(variant);
        ASSERT_EQ(sbrdec_read_single_channel(&e, &r), 1) << what;
        EXPECT_EQ(r.position, w.bits) << what;
        int k = 0;
        for (size_t l = 0; l < v.env.size(); ++l) {
          EXPECT_EQ(e.dir_env[l], v.dir_env[l]) << what;
          for (int x : v.env[l]) EXPECT_EQ(e.env[k++], float(x)) << what << " envelope " << l;
        }
        for (size_t q = 0; q < v.noise.size(); ++q)
          for (size_t b = 0; b < v.noise[q].size(); ++b) EXPECT_EQ(e.noise[q][b], float(v.noise[q][b])) << what;
        EXPECT_EQ(e.invf_mode, 2) << what;
        EXPECT_EQ(e.adjuster_field, variant == 1 ? 5 : 0) << what;
        EXPECT_EQ(e.tones.count, variant != 0 ? 1 : 0) << what;
        if (variant != 0) {
          const SbrToneEntry& t = e.tones.entries[0];
          EXPECT_EQ(std::vector<int>({t.first_band, t.band_count, t.range, t.fade_out, t.width[1], t.amplitude[1]}),
                    std::vector<int>({40, 2, 2, 1, 5, 11}))
              << what;
          EXPECT_EQ(t.values[1][3], -10) << what;  // (3 * 3 + 1) % 16 = 10, odd slot: negative
        }
        ++cases;
      }
    }
  }
  EXPECT_EQ(cases, 30);
}

TEST(SbrPayload, ChannelPairsCoupledAndNot) {
  for (int variant = 0; variant < 4; ++variant) {
    const int coupled = variant & 1, fine = variant >> 1;  // with the 1.5 dB and 3.0 dB books
    SbrElementData a = element(6, 12, 3, fine ? 0 : 1), b = element(6, 12, 3, fine ? 0 : 1);
    a.header.channel_mode = b.header.channel_mode = 2;
    const grid_case& ga = grid_cases[2];
    const grid_case& gb = grid_cases[4];
    SbrGrid g1{}, g2{};
    g1.envelopes = ga.envelopes, g1.noise_floors = 2;
    for (int l = 0; l < g1.envelopes; ++l) g1.freq_res[l] = ga.freq_res[size_t(l)];
    const SbrGrid& gsecond = coupled ? g1 : g2;
    g2.envelopes = gb.envelopes, g2.noise_floors = 2;
    for (int l = 0; l < g2.envelopes; ++l) g2.freq_res[l] = gb.freq_res[size_t(l)];
    const channel_values va = values_for(g1, 6, 12, 3, fine, 1);
    channel_values vb = values_for(gsecond, 6, 12, 3, fine, 2);
    if (coupled) {  // balance values: the books' range is -12..12
      for (auto& env : vb.env)
        for (int& x : env) x = x % 13;
      for (auto& n : vb.noise)
        for (int& x : n) x = x % 13;
    }
    bit_writer w;
    w.put(1, 1);
    w.put(unsigned(coupled), 1);
    for (auto [v, n] : ga.bits) w.put(v, n);
    if (!coupled)
      for (auto [v, n] : gb.bits) w.put(v, n);
    put_directions(w, va);
    put_directions(w, vb);
    if (coupled) {
      w.put(3, 2), w.put(0, 2);
      put_values(w, va, fine, false), put_noise(w, va, false);
      put_values(w, vb, fine, true), put_noise(w, vb, true);
      w.put(0, 1), w.put(0, 1);  // one tone block for the pair, no extended data
    } else {
      w.put(3, 2), w.put(1, 2), w.put(0, 2), w.put(0, 2);
      put_values(w, va, fine, false), put_values(w, vb, fine, false);
      put_noise(w, va, false), put_noise(w, vb, false);
      w.put(0, 1), w.put(0, 1), w.put(0, 1), w.put(0, 1);
    }
    SbrBitReader r;
    sbrdec_open_bits(&r, w.bytes.data(), w.bits);
    ASSERT_EQ(sbrdec_read_channel_pair(&a, &b, &r), 1) << coupled;
    EXPECT_EQ(r.position, w.bits) << coupled;
    EXPECT_EQ(b.coupling, coupled ? 2 : 0);
    EXPECT_EQ(b.grid.envelopes, coupled ? ga.envelopes : gb.envelopes);
    EXPECT_EQ(b.invf_mode, coupled ? 3 : 1);
    const float scale = coupled ? 2.0f : 1.0f;  // balance values count double
    EXPECT_EQ(b.env[1], scale * float(vb.env[0][1])) << coupled;
    EXPECT_EQ(b.noise[1][2], scale * float(vb.noise[1][2])) << coupled;
    EXPECT_EQ(a.noise[0][1], float(va.noise[0][1])) << coupled;
  }
}

TEST(SbrPayload, HeaderResults) {
  struct header_case {
    const char* what;
    int status_before;
    header_fields fields;
    int result;
  };
  header_fields changed_stop;
  changed_stop.stop = 8;
  header_fields changed_xover;
  changed_xover.xover = 1;
  header_fields bad;
  bad.zero = 1;
  header_fields extras;
  extras.extra1 = extras.extra2 = true;
  extras.noise = 3;
  const header_case cases[] = {
      {"first header", 3, {}, 1},
      {"same again", 0, {}, 0},
      {"stop frequency changed", 0, changed_stop, 1},
      {"crossover changed", 0, changed_xover, 1},
      {"noise bands changed, with both extra parts", 0, extras, 1},
      {"nonzero field as the first header", 3, bad, 3},
      {"nonzero field later", 0, bad, 2},
  };
  for (const header_case& c : cases) {
    SbrHeader h;
    sbrdec_default_header(&h, 22050);
    h.status = c.status_before;
    bit_writer w;
    put_header(w, c.fields, true);
    SbrBitReader r;
    sbrdec_open_bits(&r, w.bytes.data(), w.bits);
    EXPECT_EQ(sbrdec_read_header(&h, &r, 0, 2, 22050), c.result) << c.what;
    EXPECT_EQ(r.position, w.bits) << c.what;
    if (c.result == 2) {
      EXPECT_EQ(h.must_be_zero, 0) << c.what;  // the previous header stays
      EXPECT_EQ(h.conceal, 1) << c.what;
    }
    if (c.result == 3) {
      EXPECT_EQ(h.status, 3) << c.what;
    }
  }
}

TEST(SbrPayload, CrcOverEachCoveredLength) {
  for (int covered : {60, 92, 108, 140}) {
    bit_writer body;
    for (int i = 0; i < 200; ++i) body.put(unsigned((i * 7 + covered) % 3 == 0), 1);
    const std::vector<uint8_t> p = payload(13, body, covered);
    SbrBitReader r;
    sbrdec_open_bits(&r, p.data(), 8 * int(p.size()));
    sbrdec_get_bits(&r, 4);
    EXPECT_TRUE(sbrdec_check_crc(&r, covered, 1)) << covered;
    EXPECT_EQ(r.position, 12);  // the covered bits are read again as header and element
    // The register has 8 bits and only its low 7 are sent, so a flip whose trace in the
    // register is the top bit alone passes; every other flip inside the covered bits
    // fails, and a flip after them passes.
    int caught = 0;
    for (int bit = 12; bit <= 12 + covered; ++bit) {
      std::vector<uint8_t> q = p;
      q[size_t(bit / 8)] ^= uint8_t(0x80 >> (bit % 8));
      bit_writer flipped;
      for (int i = 12; i < 8 * int(q.size()); ++i) flipped.put((q[size_t(i / 8)] >> (7 - i % 8)) & 1, 1);
      const std::vector<uint8_t> again = payload(13, flipped, covered);
      auto crc_of = [](const std::vector<uint8_t>& b) { return ((b[0] & 7) << 4) | (b[1] >> 4); };
      const bool same_crc = crc_of(again) == crc_of(q);
      sbrdec_open_bits(&r, q.data(), 8 * int(q.size()));
      sbrdec_get_bits(&r, 4);
      EXPECT_EQ(sbrdec_check_crc(&r, covered, 1), same_crc) << covered << " bit " << bit;
      caught += !same_crc;
    }
    EXPECT_GE(caught, covered * 9 / 10) << covered;
  }
  // Without the flag: passes only when the CRC is not required.
  const std::vector<uint8_t> p = payload(13, bit_writer{}, 92, false);
  SbrBitReader r;
  sbrdec_open_bits(&r, p.data(), 8 * int(p.size()));
  sbrdec_get_bits(&r, 4);
  EXPECT_TRUE(sbrdec_check_crc(&r, 92, 0));
  sbrdec_open_bits(&r, p.data(), 8 * int(p.size()));
  sbrdec_get_bits(&r, 4);
  EXPECT_FALSE(sbrdec_check_crc(&r, 92, 1));
}

// A one-channel payload, or an uncoupled pair that says the same in both channels, with or
// without header: one envelope of `bands` high-resolution bands over the frame, the envelope
// at `level` in every band, the noise floor at `noise`, and the adjuster field when the
// header asks for one.
std::vector<uint8_t> flat_payload(bool header, int level, int noise, const header_fields& h = {}, int bands = 12,
                                  int adjuster_field = 0, int channels = 1) {
  bit_writer body;
  if (header) put_header(body, h, channels == 1);
  body.put(1, 1);  // rate flag
  body.put(0, 1);  // pseudo-stereo or coupling
  for (int c = 0; c < channels; ++c) body.put(0, 2), body.put(0, 2), body.put(1, 1);  // class 0, one envelope
  for (int c = 0; c < channels; ++c) body.put(0, 1), body.put(0, 1);  // frequency direction
  for (int c = 0; c < channels; ++c) body.put(1, 2);
  for (int c = 0; c < channels; ++c) body.put(0, 2);
  if (h.adjuster)
    for (int c = 0; c < channels; ++c) body.put(unsigned(adjuster_field), 3);
  for (int c = 0; c < channels; ++c) {
    body.put(unsigned(level), 6);
    for (int b = 1; b < bands; ++b) body.put_bits(book("f_huffman_env_3_0dB").at(0));
  }
  for (int c = 0; c < channels; ++c) {
    body.put(unsigned(noise), 5);
    body.put_bits(book("f_huffman_env_3_0dB").at(0));
  }
  for (int c = 0; c < 2 * channels; ++c) body.put(0, 1);  // no tones, no extended data
  const int tag = (channels == 1 ? 13 : 12) + (header ? 2 : 0);
  return payload(tag, body, channels == 1 ? (header ? 92 : 60) : (header ? 140 : 108));
}

// Ancillary bytes carrying a payload: tag, length, then the payload after its tag.
std::vector<uint8_t> carried(const std::vector<uint8_t>& p) {
  bit_writer w;
  w.put(p[0] >> 4, 4);
  w.put(unsigned(p.size() - 1), 8);
  w.put(p[0] & 15, 4);
  for (size_t i = 1; i < p.size(); ++i) w.put(p[i], 8);
  return w.bytes;
}

// A silent mono frame (64 kbit/s, 22050 Hz or rate index 1: 24000 Hz) with the payload
// in its ancillary data.
std::vector<uint8_t> sbr_frame(const std::vector<uint8_t>& p, int rate_index = 0) {
  static const gr_side silent{};
  frame_spec f{.version = 1, .rate_index = rate_index, .bitrate_index = 8, .side = side_info({.version = 1}, 1, {&silent})};
  f.main = carried(p);
  return build_frame(f);
}

struct sbr_decode {
  std::vector<float> pcm;
  std::vector<SSC> statuses;
  std::vector<int> rates;
};

sbr_decode decode_frames(const std::vector<std::vector<uint8_t>>& frames, int high_band) {
  sbr_decode r;
  MP3Decoder* d = nullptr;
  EXPECT_EQ(MP3CreateDecoder(&d, 1, 0, 0, 0, 0), SSC_OK);
  std::vector<uint8_t> data;
  for (const auto& f : frames) data.insert(data.end(), f.begin(), f.end());
  d->Feed(data.data(), int(data.size()));
  d->SetEndOfInput();
  std::vector<float> buf(MP3DEC_MAX_FRAME_OUTPUT_BYTES / 4);
  for (int guard = 0; guard < 1000; ++guard) {
    int bytes = 0;
    const SSC s = d->DecodeFrame(buf.data(), MP3DEC_MAX_FRAME_OUTPUT_BYTES, &bytes, nullptr, nullptr, high_band);
    if (s == SSC_SYNC_EOF) break;
    r.statuses.push_back(s);
    r.rates.push_back(int(d->GetFrameInfo()->outputRate));
    r.pcm.insert(r.pcm.end(), buf.begin(), buf.begin() + bytes / 4);
  }
  d->Release();
  return r;
}

// Mean energy per DFT bin of one frame of n samples at `rate` between two frequencies.
double band_energy(const std::vector<float>& pcm, size_t start, size_t n, double rate, double lo, double hi) {
  double e = 0.0;
  int bins = 0;
  for (size_t k = 1; k < n / 2; ++k) {
    const double hz = double(k) * rate / double(n);
    if (hz < lo || hz > hi) continue;
    double re = 0.0, im = 0.0;
    for (size_t t = 0; t < n; ++t) {
      const double a = 2.0 * M_PI * double(k * t % n) / double(n);
      re += pcm[start + t] * std::cos(a);
      im -= pcm[start + t] * std::sin(a);
    }
    e += re * re + im * im;
    ++bins;
  }
  return bins ? e / bins : 0.0;
}

bool all_finite(const std::vector<float>& v) {
  for (float x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

TEST(SbrStream, Mp3proFramesDecodeAtTwiceTheRate) {
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 20; ++i) frames.push_back(sbr_frame(flat_payload(i % 5 == 0, 12, 8)));
  for (int high_band : {1, 0}) {
    const sbr_decode r = decode_frames(frames, high_band);
    ASSERT_EQ(r.statuses.size(), 20u) << high_band;
    for (size_t i = 0; i < r.statuses.size(); ++i) {
      EXPECT_EQ(r.statuses[i], SSC_OK) << high_band << " frame " << i;
      EXPECT_EQ(r.rates[i], 44100) << high_band << " frame " << i;
    }
    ASSERT_EQ(r.pcm.size(), 20u * 1152) << high_band;
    EXPECT_TRUE(all_finite(r.pcm));
    // The core is silent: the high band is the noise floor, and nothing without it.
    double energy = 0.0;
    for (float x : r.pcm) energy += double(x) * x;
    if (!high_band) {
      EXPECT_EQ(energy, 0.0);
      continue;
    }
    // It lies between kx and kmax (17 and 40 of 64 bands: 5.9 to 13.8 kHz).
    double inside = 0.0, outside = 0.0;
    const size_t n = 1152, start = 10 * n;
    for (size_t k = 1; k < n / 2; ++k) {
      double re = 0.0, im = 0.0;
      for (size_t t = 0; t < n; ++t) {
        const double a = 2.0 * M_PI * double(k * t % n) / double(n);
        re += r.pcm[start + t] * std::cos(a);
        im -= r.pcm[start + t] * std::sin(a);
      }
      const double hz = double(k) * 44100.0 / double(n);
      if (hz > 6300.0 && hz < 13400.0) inside += re * re + im * im;
      if (hz < 5400.0 || hz > 14300.0) outside += re * re + im * im;
    }
    EXPECT_GT(inside, 0.0);
    EXPECT_GT(inside, 100.0 * outside);
  }
}

TEST(SbrStream, DamagedPayloadsAreConcealedWithFiniteOutput) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 12; ++i) {
      std::vector<uint8_t> p = flat_payload(i % 4 == 0, int(rng() % 36), int(rng() % 32));
      if (i > 0 && rng() % 3 == 0) {
        const size_t bit = rng() % (8 * p.size() - 4) + 4;  // the tag stays
        p[bit / 8] ^= uint8_t(0x80 >> (bit % 8));
      }
      if (i > 0 && rng() % 7 == 0) p.resize(p.size() - 1 - rng() % (p.size() - 2));  // truncated
      frames.push_back(sbr_frame(p));
    }
    const sbr_decode r = decode_frames(frames, 1);
    ASSERT_EQ(r.statuses.size(), 12u) << round;
    EXPECT_TRUE(all_finite(r.pcm)) << round;
  }
}

// A stream whose first frame carries no payload keeps SBR output off; the seventh and
// later consecutive frames whose payload parses report the mp3PRO status.
TEST(SbrStream, DetectionWhileSbrOutputIsOff) {
  static const gr_side silent{};
  frame_spec plain{.version = 1, .bitrate_index = 8, .side = side_info({.version = 1}, 1, {&silent})};
  std::vector<std::vector<uint8_t>> frames = {build_frame(plain)};
  for (int i = 0; i < 9; ++i) frames.push_back(sbr_frame(flat_payload(i == 0, 12, 8)));
  frames.push_back(build_frame(plain));
  frames.push_back(sbr_frame(flat_payload(false, 12, 8)));
  const sbr_decode r = decode_frames(frames, 1);
  ASSERT_EQ(r.statuses.size(), frames.size());
  for (size_t i = 0; i < r.statuses.size(); ++i) {
    const bool detected = i >= 7 && i <= 9;
    EXPECT_EQ(r.statuses[i], detected ? SSC_INFO_MP3PRO_DETECTED : SSC_OK) << i;
    EXPECT_EQ(r.rates[i], 22050) << i;
  }
}

// Mended fault: a change of core rate rebuilds the SBR decoder, so the high band follows
// the new rate's tables: at 48000 Hz it ends at band 38 (14.25 kHz), where the 44100 Hz
// tables would run on to band 40 (15 kHz).
TEST(SbrStream, CoreRateChangeRebuildsTheTables) {
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 6; ++i) frames.push_back(sbr_frame(flat_payload(true, 12, 8), 0));
  for (int i = 0; i < 8; ++i) frames.push_back(sbr_frame(flat_payload(true, 12, 8), 1));
  const sbr_decode r = decode_frames(frames, 1);
  ASSERT_GE(r.rates.size(), 10u);
  EXPECT_EQ(r.rates.front(), 44100);
  EXPECT_EQ(r.rates.back(), 48000);
  ASSERT_GE(r.pcm.size(), 1152u);
  const size_t last = r.pcm.size() - 1152;  // the last frame (one channel)
  const double inside = band_energy(r.pcm, last, 1152, 48000.0, 8000.0, 12000.0);
  const double edge = band_energy(r.pcm, last, 1152, 48000.0, 14600.0, 14900.0);
  EXPECT_GT(inside, 0.0);
  EXPECT_LT(edge, 0.01 * inside);
}

// The patches depend on the adjuster field: a change rebuilds them on the tables in force,
// and a field whose layout they refuse leaves the channels without usable SBR data until an
// element brings a field they take. Crossover 1 at 44100 Hz: the fields give other patches;
// with the lowest source band 5 on a 12-band k0, field 0 has no layout.
TEST(SbrPayload, AdjusterFieldChangesRebuildThePatches) {
  using patches = std::vector<std::vector<int>>;
  header_fields crossover;
  crossover.xover = 1;
  crossover.adjuster = 1;
  header_fields low_start = crossover;
  low_start.start = 0;
  low_start.stop = 9;
  header_fields plain;
  plain.adjuster = 1;
  struct frame {
    const header_fields* header;  // null: no header in this frame
    int field;
    patches want;                 // empty: the channels have no usable SBR data
  };
  struct sequence {
    const char* what;
    int channels, lowest_source_band, bands;
    std::vector<frame> frames;
  };
  const patches field0 = {{2, 16, 16, 14}, {8, 16, 24, 8}}, field1 = {{2, 18, 16, 16}, {12, 18, 22, 6}};
  const patches low1 = {{5, 12, 8, 7}, {6, 12, 14, 6}, {8, 13, 18, 5}, {7, 13, 24, 6}, {7, 13, 30, 6}, {9, 13, 34, 4}};
  const sequence cases[] = {
      {"crossover 1", 1, 1, 11, {{&crossover, 0, field0}, {nullptr, 1, field1}, {nullptr, 1, field1}, {nullptr, 0, field0}}},
      {"crossover 1, a pair", 2, 1, 11, {{&crossover, 1, field1}, {nullptr, 0, field0}}},
      {"field 0 refused", 2, 5, 17,
       {{&plain, 1, {}}, {&low_start, 1, low1}, {nullptr, 0, {}}, {nullptr, 0, {}}, {&low_start, 1, low1}}},
  };
  for (const sequence& c : cases) {
    SbrDecoderConfig config;
    sbrdec_default_config(&config, 2);
    config.lowest_source_band = c.lowest_source_band;
    SbrDecoder* d = sbrdec_create(22050, 576, &config);
    ASSERT_NE(d, nullptr) << c.what;
    for (size_t i = 0; i < c.frames.size(); ++i) {
      const frame& f = c.frames[i];
      const std::vector<uint8_t> p = flat_payload(f.header != nullptr, 12, 8, f.header ? *f.header : crossover,
                                                  f.header == &plain ? 12 : c.bands, f.field, c.channels);
      SbrPayload payload{};
      payload.count = 1;
      payload.element[0].mode = c.channels == 2 ? 2 : 0;
      payload.element[0].kind = f.header ? 13 : 12;
      payload.element[0].length = int32_t(p.size());
      std::copy(p.begin(), p.end(), payload.element[0].bytes);
      std::vector<float> buf(2 * 1152, 0.0f);
      ASSERT_EQ(sbrdec_apply(d, &payload, buf.data(), c.channels), 0) << c.what << " frame " << i;
      if (f.header == &plain) continue;  // only the start of the sequence
      for (int ch = 0; ch < c.channels; ++ch) {
        const SbrHfGenerator& g = d->ch[ch].channel->hfgen;
        patches got;
        for (int k = 0; k < g.patch_count; ++k)
          got.push_back({g.patches[k].source_start, g.patches[k].source_end, g.patches[k].offset, g.patches[k].width});
        EXPECT_EQ(d->ch[ch].state, f.want.empty() ? 1 : 2) << c.what << " frame " << i << " channel " << ch;
        if (!f.want.empty()) {
          EXPECT_EQ(got, f.want) << c.what << " frame " << i << " channel " << ch;
        }
      }
    }
    sbrdec_destroy(d);
  }
}

}  // namespace
