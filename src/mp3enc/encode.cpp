// The frame driver: caller samples into input blocks, blocks through the rate stage into
// the core, and the flush at the end of the stream.
#include <cmath>
#include <cstring>
#include <vector>

#include "mp3enc/handle.h"

namespace {

// Samples of 16-bit input are taken as they are; float input is in the same units, and a
// value that is not finite (or far beyond full scale) must not reach the arithmetic.
float sample_at(const uint8_t* p, int32_t width) {
  if (width == 0) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return float(v);
  }
  float f;
  std::memcpy(&f, p, 4);
  if (!std::isfinite(f)) return 0.0f;
  constexpr float limit = 32768.0f * 32.0f;
  return f > limit ? limit : f < -limit ? -limit : f;
}

// Appends what pcm holds to the block; true when the block is full.
bool fill_block(mp3enc_sample_block* block, int32_t* fill, const uint8_t* pcm, int32_t channels,
                int32_t bytes, int32_t width, int32_t* consumed, int32_t end_of_input, int32_t downmix) {
  const int32_t s = width ? 4 : 2;
  const int32_t cap = block->capacity;
  float* dst = block->samples;
  int32_t n;
  if (!downmix) {
    n = bytes / s;
    if (n > cap - *fill) n = cap - *fill;
    for (int32_t i = 0; i < n; ++i) dst[*fill + i] = sample_at(pcm + i * s, width);
    *fill += n;
    block->channels = channels;
  } else {
    n = bytes / s;
    if (n > 2 * (cap - *fill)) n = 2 * (cap - *fill);
    n &= ~1;
    for (int32_t i = 0; i < n; i += 2)
      dst[*fill + i / 2] = (sample_at(pcm + i * s, width) + sample_at(pcm + (i + 1) * s, width)) * 0.5f;
    *fill += n / 2;
    block->channels = 1;
  }
  *consumed = n * s;
  block->scale = 32768.0f;
  if (end_of_input && *fill < cap) {
    std::memset(dst + *fill, 0, size_t(cap - *fill) * sizeof(float));
    *fill = cap;
  }
  return *fill == cap;
}

int32_t bytes_wanted(int32_t capacity, int32_t fill, int32_t width, int32_t downmix) {
  return (capacity - fill) * (width ? 4 : 2) * (downmix ? 2 : 1);
}

// The full-rate input of the SBR encoder: the first stage's samples from `from` to `to`
// (values, interleaved as the block holds them); a pair feeding one core channel goes in as
// mid and side.
void feed_sbr_line(mp3enc_engine* e, const mp3enc_sample_block& block, int32_t from, int32_t to) {
  if (to <= from) return;
  const float k = 32768.0f / block.scale;
  const float* p = block.samples + from;
  const int32_t channels = e->line.channels;
  const int32_t frames = (to - from) / (e->sbr_pair ? 2 : channels);
  if (e->sbr_pair) {
    std::vector<float> ms(size_t(frames) * 2);
    for (int32_t i = 0; i < frames; ++i) {
      ms[size_t(2 * i)] = (p[2 * i] + p[2 * i + 1]) * 0.5f;
      ms[size_t(2 * i + 1)] = (p[2 * i] - p[2 * i + 1]) * 0.5f;
    }
    mp3enc_delay_write(&e->line, ms.data(), ms.data() + 1, 2, k, frames);
  } else {
    mp3enc_delay_write(&e->line, p, channels == 2 ? p + 1 : nullptr, channels, k, frames);
  }
}

// Converts the full first-stage block into the core's block: a pair is first mixed to the
// one core channel.
void run_first_stage(mp3enc_engine* e) {
  mp3enc_rate_stage& first = e->stages[0];
  mp3enc_sample_block& block = first.block;
  int in_count = block.capacity;
  if (e->sbr_pair) {
    in_count = block.capacity / 2;
    for (int i = 0; i < in_count; ++i) block.samples[i] = (block.samples[2 * i] + block.samples[2 * i + 1]) * 0.5f;
  }
  const int given = in_count;
  int out_count = 0;
  resampler_enc_run(first.converter, block.samples, e->core_block.samples, &in_count, &out_count);
  if (in_count < 0 || in_count > given) in_count = given;
  if (out_count < 0) out_count = 0;
  if (out_count > e->core_block.capacity) out_count = e->core_block.capacity;
  std::memset(e->core_block.samples + out_count, 0, size_t(e->core_block.capacity - out_count) * sizeof(float));
  e->core_block.scale = block.scale;
  const int32_t left = e->sbr_pair ? 0 : given - in_count;
  std::memmove(block.samples, block.samples + in_count, size_t(left) * sizeof(float));
  first.fill = left;
  first.last_produced = out_count;
  first.produced += out_count;
}

}  // namespace

int mp3enc_split_input(mp3enc_rate_stage* stage, const uint8_t* pcm, int32_t channels, int32_t bytes,
                       int32_t width, mp3enc_sample_block* dest, int32_t* consumed, int32_t* wanted,
                       int32_t end_of_input, int32_t downmix) {
  mp3enc_sample_block& block = stage->block;
  const bool full = fill_block(&block, &stage->fill, pcm, channels, bytes, width, consumed, end_of_input, downmix);
  *wanted = bytes_wanted(block.capacity, stage->fill, width, downmix);
  if (!full) return 0;
  int in_count = block.capacity, out_count = 0;
  resampler_enc_run(stage->converter, block.samples, dest->samples, &in_count, &out_count);
  if (in_count < 0 || in_count > block.capacity) in_count = block.capacity;
  if (out_count < 0) out_count = 0;
  if (out_count > dest->capacity) out_count = dest->capacity;
  // A short run leaves no stale samples behind in the core's block.
  std::memset(dest->samples + out_count, 0, size_t(dest->capacity - out_count) * sizeof(float));
  dest->scale = block.scale;
  dest->channels = block.channels;
  const int32_t left = block.capacity - in_count;
  std::memmove(block.samples, block.samples + in_count, size_t(left) * sizeof(float));
  stage->fill = left;
  stage->last_produced = out_count;
  stage->produced += out_count;
  *wanted = bytes_wanted(block.capacity, left, width, downmix);
  return 1;
}

int32_t mp3enc_encode(mp3enc_handle* h, const void* pcm_in, int32_t bytes, int32_t* consumed,
                      uint8_t* out, int32_t out_size, const uint8_t* anc, int32_t* anc_count) {
  if (consumed) *consumed = 0;  // also when finished: the caller advances its input by it
  if (!h || !h->engine) return -1;
  mp3enc_engine* e = h->engine;
  if (e->finished) return 0;
  const int32_t s = h->width ? 4 : 2;
  const uint8_t* pcm = static_cast<const uint8_t*>(pcm_in);
  if (bytes < 0 || (bytes > 0 && !pcm)) return -1;
  if (h->channels == 2 && (bytes / s) % 2 != 0) return -1;
  // Checked before anything is taken, so a refused call changes nothing.
  if (!out || out_size < e->info.min_output_bytes) return -1;

  if (bytes == 0) e->end_of_input = 1;
  if (e->end_of_input && e->countdown < 0) {
    const int64_t over = int64_t(e->margin_bytes) + e->block_bytes - e->wanted;
    e->countdown = int32_t((over + e->block_bytes - 1) / e->block_bytes);
  }
  int32_t produced = 0;
  bool length_written = false;
  const int32_t anc_offered = anc_count ? *anc_count : 0;
  // Every pass at the end pushes a block or drives the core's own flush, so the loop ends;
  // the bound only guards against a core that never empties.
  for (int pass = 0; pass < 4096; ++pass) {
    const int32_t available = pass == 0 ? bytes : 0;
    const int32_t due = mp3enc_frame_due(e->core);
    mp3enc_rate_stage& first = e->stages[0];
    int32_t taken = 0;
    bool complete;
    if (e->stages[1].active) {
      mp3enc_sample_block* dest = first.active ? &first.block : &e->core_block;
      complete = mp3enc_split_input(&e->stages[1], pcm, h->channels, available, h->width, dest, &taken,
                                    &e->wanted, e->end_of_input, e->downmix == 1) != 0;
      if (complete && first.active) {
        first.fill = first.block.capacity;
        if (e->sbr) feed_sbr_line(e, first.block, 0, first.block.capacity);
      }
    } else if (first.active) {
      const int32_t from = first.fill;
      complete = fill_block(&first.block, &first.fill, pcm, h->channels, available, h->width, &taken,
                            e->end_of_input, e->downmix == 1);
      if (e->sbr) feed_sbr_line(e, first.block, from, first.fill);
      e->wanted = bytes_wanted(first.block.capacity, first.fill, h->width, e->downmix == 1);
    } else {
      complete = fill_block(&e->core_block, &e->core_fill, pcm, h->channels, available, h->width, &taken,
                            e->end_of_input, e->downmix == 1);
      if (complete) e->core_fill = 0;
      e->wanted = bytes_wanted(e->core_block.capacity, e->core_fill, h->width, e->downmix == 1);
    }
    if (pass == 0 && consumed) *consumed = taken;
    if (complete && first.active) {
      run_first_stage(e);
      if (!e->stages[1].active) e->wanted = bytes_wanted(first.block.capacity, first.fill, h->width, e->downmix == 1);
    }
    const int32_t count = e->countdown != 0 ? e->core_block.capacity : 0;
    // One SBR frame for every frame the core completes, in the pass that codes the frame's last
    // granule: at the end of the stream a pass that only empties the frame writer codes none.
    if (complete && e->sbr && due && mp3enc_core_codes_granule(e->core, count)) {
      // The zero-filled end of the last block has gone into the line already; zeros beyond
      // what one frame needs would run the writer round the ring onto the audio not yet read.
      const int32_t unread = (e->line.write - e->line.read + e->line.length) % e->line.length;
      if (e->end_of_input && unread < e->sbr_frame)
        mp3enc_delay_write(&e->line, nullptr, nullptr, 1, 0.0f, e->sbr_frame - unread);
      if (sbrenc_encode_frame(e->sbr, e->sbr_out, mp3enc_delay_read(&e->line, 0, 0)) != nullptr) return -1;
      mp3enc_delay_advance(&e->line, e->sbr_frame);
    }

    if (complete) {
      int32_t pending = 0;
      const int32_t length = h->params.length;
      if (!length_written && length != 0) {
        pending = length == -1 ? -1
                               : int32_t(length / (double(h->rate) / double(h->config.output_rate)) + 0.5);
        if (pending == 0) pending = 1;  // a length that rounds to nothing is still a length
      }
      if (e->core_block.scale != 32768.0f) {
        const float k = 32768.0f / e->core_block.scale;
        for (int32_t i = 0; i < e->core_block.capacity; ++i) e->core_block.samples[i] *= k;
        e->core_block.scale = 32768.0f;
      }
      const int32_t had = pending;
      int32_t made = 0;
      // Several granules may take user bytes in one call: each goes on after those taken.
      const uint8_t* next_anc = anc && anc_count ? anc + (anc_offered - *anc_count) : anc;
      if (mp3enc_core_encode_frame(&pending, h->params.delay, e->core, e->sbr_out, e->core_block.samples,
                                   count, out + produced, out_size - produced, &made, next_anc, anc_count) != 0)
        return -1;
      if (had != 0 && pending == 0) {
        // Written once: a second pass in this call must not write it again.
        h->params.length = 0;
        length_written = true;
      }
      produced += made;
      ++e->frame_counter;
    }
    if (e->end_of_input && e->countdown > 0) --e->countdown;
    if (!e->end_of_input || produced != 0) return produced;
    // The end of the audio is out only once the core has flushed and holds no frame.
    if (e->countdown == 0 && mp3enc_core_drained(e->core)) {
      e->finished = 1;
      return 0;
    }
  }
  e->finished = 1;
  return produced;
}
