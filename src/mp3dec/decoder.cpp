// Decoder object and frame pipeline.
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <new>

#include "mp3dec/bitbuf.h"
#include "mp3dec/cpu.h"
#include "mp3dec/l3dec.h"
#include "mp3dec/limiter.h"
#include "mp3dec/mp3dec.h"
#include "mp3dec/resampler.h"
#include "mp3dec/sbr/sbr_payload.h"
#include "mp3dec/sbrdec.h"

namespace {

// The CRC over the bits the payload reader would cover for this payload.
bool first_payload_passes(const uint8_t* payload, int length, int channels) {
  SbrBitReader r;
  sbrdec_open_bits(&r, payload, 8 * length);
  const int tag = int(sbrdec_get_bits(&r, 4));
  const bool header = (tag & 2) != 0;
  const int covered = channels == 2 ? (header ? 140 : 108) : (header ? 92 : 60);
  return sbrdec_check_crc(&r, covered, 1);
}

constexpr int work_samples = 12701;
constexpr uint64_t no_limit = ~uint64_t(0);

class MP3DecoderImpl final : public MP3Decoder {
 public:
  MP3DecoderImpl(int float_output, int no_crc, int force44100, int gapless, int limiter);
  ~MP3DecoderImpl() override;

  void Release() override { delete this; }
  void Reset() override;
  SSC DecodeFrame(void* out, int capacity, int* out_bytes, uint8_t* anc, int* anc_count,
                  int sbr_high_band) override;
  const MP3FrameInfo* GetFrameInfo() override { return &info_; }
  int Feed(const uint8_t* data, int length) override {
    return bitbuf_feed(&sync_.buf, data, length);
  }
  int GetFreeInputSpace() override { return bitbuf_free_bytes(&sync_.buf); }
  int GetBufferedInput() override { return sync_.buf.bits_available / 8; }
  void SetEndOfInput() override { bitbuf_set_end(&sync_.buf); }
  bool IsEndOfStream() override { return eos_; }

 private:
  SSC deliver_tail(void* out, int capacity, int* out_bytes);
  void write_output(void* out, int bytes, const float* pcm);
  void apply_length(int* out_bytes);
  int predicted_bytes(const MpaHeader& h) const;

  MP3FrameInfo info_;
  FrameSync sync_;
  uint8_t ring_[8192];
  Layer3State l3_;
  alignas(16) float work_[work_samples + 3];
  bool eos_ = false;
  // mp3PRO
  uint8_t sbr_active_ = 0, sbr_decided_ = 0;
  // The decision was carried over a Reset (the priming stream made it): a later stream is
  // decoded by it, and its payloads are never reported as a surprise.
  uint8_t sbr_decision_kept_ = 0;
  int32_t sbr_parse_count_ = 0;
  SbrDecoderConfig sbr_config_;
  SbrDecoder* sbr_ = nullptr;
  int sbr_rate_ = 22050;  // core rate the SBR decoder was made for
  float band_gains_[8];
  SbrPayload payload_;
  // converter
  int forced_rate_ = 0;
  RateConverter* conv_ = nullptr;
  float* conv_out_ = nullptr;
  int conv_out_size_ = 0, conv_in_count_ = 0, conv_out_count_ = 0;
  int conv_channels_ = 0, conv_rate_ = 0, conv_n_ = 0;
  // gapless (mended fault: 64-bit counters)
  uint64_t skip_ = 0, remaining_ = no_limit;
  // limiter
  PeakLimiter* lim_ = nullptr;
  int use_limiter_ = 0, lim_stage_ = 0, lim_block_ = 0, lim_channels_ = 0;
  float* lim_out_ = nullptr;
  // options
  int float_output_ = 0;
};

MP3DecoderImpl::MP3DecoderImpl(int float_output, int no_crc, int force44100, int gapless,
                               int limiter) {
  std::memset(&info_, 0, sizeof(info_));
  float_output_ = float_output ? 1 : 0;
  forced_rate_ = force44100 ? 44100 : 0;
  skip_ = 0;
  remaining_ = no_limit;
  mpasync_init(&sync_, ring_, sizeof(ring_));
  l3dec_init(&l3_, &sync_, 0, 0, float_output, no_crc, gapless);
  sbrdec_default_config(&sbr_config_, 2);
  sbr_ = sbrdec_create(22050, 576, &sbr_config_);
  sbr_active_ = sbr_decided_ = 0;
  sbr_parse_count_ = 0;
  lim_ = nullptr;
  lim_stage_ = 0;
  use_limiter_ = limiter ? 1 : 0;
  std::memset(&payload_, 0, sizeof(payload_));
  Reset();
}

MP3DecoderImpl::~MP3DecoderImpl() {
  sbrdec_destroy(sbr_);
  resampler_dec_destroy(conv_);
  std::free(conv_out_);
  mp3dec_limiter_destroy(&lim_);
  std::free(lim_out_);
}

void MP3DecoderImpl::Reset() {
  for (float& g : band_gains_) g = 1.0f;
  sbr_decision_kept_ = sbr_decided_;
  sbr_parse_count_ = 0;
  eos_ = false;
  if (sbr_) sbrdec_reset(sbr_);
  mpasync_reset(&sync_);
  l3dec_reset(&l3_, 1);
  if (conv_) {
    conv_in_count_ = 0;
    conv_out_count_ = 0;
    if (conv_out_) std::memset(conv_out_, 0, sizeof(float) * size_t(conv_out_size_));
    resampler_dec_clear(conv_);
  }
  skip_ = 0;
  remaining_ = no_limit;
  if (lim_) {
    mp3dec_limiter_destroy(&lim_);
    std::free(lim_out_);
    lim_out_ = nullptr;
  }
  lim_stage_ = 0;
  mp3dec_select_pcm16_converter();
}

// pcm: the work buffer, or the converter's output (taken from there rather than copied back).
void MP3DecoderImpl::write_output(void* out, int bytes, const float* pcm) {
  if (!out || bytes <= 0) return;
  if (float_output_)
    std::memcpy(out, pcm, size_t(bytes));
  else
    mp3dec_float_to_pcm16(bytes / 2, pcm, static_cast<int16_t*>(out));
}

void MP3DecoderImpl::apply_length(int* out_bytes) {
  if (remaining_ == no_limit) return;
  if (remaining_ == 0) {
    *out_bytes = 0;
  } else if (remaining_ > uint64_t(*out_bytes)) {
    remaining_ -= uint64_t(*out_bytes);
  } else {
    *out_bytes = int(remaining_);
    remaining_ = 0;
  }
}

// Output bytes of the frame the synchroniser holds, before it is consumed (mended fault:
// the capacity is checked before the frame is consumed).
int MP3DecoderImpl::predicted_bytes(const MpaHeader& h) const {
  const int ss = float_output_ ? 4 : 2;
  int ch = h.channels, rate = h.sample_rate;
  if (sbr_active_ && sbr_ && rate < 32000) {  // mp3PRO frames come out at twice the rate
    rate *= 2;
    ch = sbrdec_get_output_channels(sbr_, ch);
  }
  const int n = rate >= 32000 ? 1152 : 576;
  if (!forced_rate_ || forced_rate_ == rate) return ch * n * ss;
  if (conv_ && conv_channels_ == ch && conv_rate_ == rate && conv_n_ == n)
    return resampler_dec_predict(conv_, ch * n) * ss;
  // Mended fault: no converter yet (or one that will be rebuilt), so ask what a fresh one
  // gives. A rough upper bound here refused, for ever, frames whose output fits the
  // caller's buffer exactly (22050 Hz stereo and 11025 Hz mono into 4608 bytes).
  RateConverter fresh{};
  const int g = std::gcd(rate, forced_rate_);
  fresh.mode = 1;
  fresh.channels = ch;
  fresh.L = forced_rate_ / g;
  fresh.M = rate / g;
  fresh.state[0].int_step = fresh.M / fresh.L;
  fresh.state[0].frac_step = fresh.M % fresh.L;
  fresh.state[0].to_take = 1;
  return resampler_dec_predict(&fresh, ch * n) * ss;
}

SSC MP3DecoderImpl::deliver_tail(void* out, int capacity, int* out_bytes) {
  const int ss = float_output_ ? 4 : 2;
  const int ch = lim_channels_;
  int bytes = ch * 64 * ss;
  int conv_bytes = bytes;
  if (forced_rate_ && conv_) conv_bytes = resampler_dec_predict(conv_, conv_in_count_) * ss;
  if (bytes > capacity || conv_bytes > capacity) return SSC_DEC_BUFFER_TOO_SMALL;
  lim_stage_ = 3;
  std::memset(work_, 0, sizeof(work_));
  mp3dec_limiter_process(lim_, nullptr, lim_out_);
  std::memcpy(work_, lim_out_, sizeof(float) * size_t(ch * 64));
  const float* pcm = work_;
  if (forced_rate_ && conv_) {
    int in = conv_in_count_, produced = 0;
    resampler_dec_run(conv_, work_, conv_out_, &in, &produced);
    bytes = produced * ss;
    pcm = conv_out_;
  }
  *out_bytes = bytes;
  write_output(out, bytes, pcm);
  apply_length(out_bytes);
  return SSC_OK;
}

SSC MP3DecoderImpl::DecodeFrame(void* out, int capacity, int* out_bytes, uint8_t* anc,
                                int* anc_count, int sbr_high_band) {
  int dummy_bytes = 0;
  if (!out_bytes) out_bytes = &dummy_bytes;
  *out_bytes = 0;
  if (anc && anc_count && *anc_count < 0) *anc_count = 0;
  uint32_t gap_delay = 0, gap_length = 0;

  const SSC sync_state = mpasync_find_frame(&sync_);
  if (sync_state != SSC_OK) {
    info_.mp3proActive = sbr_active_;
    if (sync_state == SSC_SYNC_EOF) {
      if (lim_stage_ == 2 && lim_) return deliver_tail(out, capacity, out_bytes);
      eos_ = true;
      return SSC_SYNC_EOF;
    }
    if (sync_state == SSC_SYNC_LOST) l3dec_reset(&l3_, 1);
    return sync_state;
  }
  const MpaHeader h = sync_.header;
  if (predicted_bytes(h) > capacity) return SSC_DEC_BUFFER_TOO_SMALL;

  SSC status = l3dec_decode_frame(&l3_, work_, capacity, out_bytes, anc,
                                  anc_count, &gap_delay, &gap_length);
  info_.layer = uint32_t(h.layer);
  info_.version = uint32_t(h.version);
  info_.bitrate = uint32_t(h.bitrate);
  info_.bitrateIndex = uint32_t(h.bitrate_index);
  info_.channels = uint32_t(h.channels);
  info_.sampleRate = uint32_t(h.sample_rate);
  info_.outputChannels = uint32_t(h.channels);
  info_.outputRate = uint32_t(h.sample_rate);
  info_.finalRate = forced_rate_ ? uint32_t(forced_rate_) : info_.outputRate;
  info_.bitsPerSample = 16;
  info_.frameLength = uint32_t(h.frame_bits);
  info_.frameDuration = h.frame_ms;
  info_.crcError = status == SSC_INFO_CRC_ERROR ? 1 : 0;
  info_.mainDataMissing = status == SSC_INFO_NOT_ENOUGH_MAIN_DATA ? 1 : 0;
  if (!SSC_SUCCESS(status)) {
    *out_bytes = 0;
    return status;
  }

  // mp3PRO decision.
  const int spf = mpa_samples_per_frame(&h);
  const bool has_payload = l3_.payload_len > 0;
  if (!sbr_decided_) {
    // Mended fault: the tag, length and CRC flag alone are found by chance in a plain stream's
    // ancillary bytes (or in the next frame's main data behind them), which then played at twice
    // its rate with an empty high band. The first payload must also pass its CRC.
    sbr_active_ = has_payload && first_payload_passes(l3_.payload, l3_.payload_len, h.channels) ? 1 : 0;
    if (h.sample_rate != sbr_rate_) {
      sbrdec_destroy(sbr_);
      sbr_ = sbrdec_create(h.sample_rate, spf, &sbr_config_);
      sbr_rate_ = h.sample_rate;
    }
    if (!sbr_) sbr_active_ = 0;
    sbr_decided_ = 1;
  }
  // Mended fault: the SBR decoder's banks and tables belong to one core rate, so a change
  // of rate rebuilds it like the limiter and the converter.
  if (sbr_ && (h.sample_rate >= 32000 || h.sample_rate != sbr_rate_)) {
    sbr_active_ = 0;
    sbrdec_destroy(sbr_);
    sbr_ = nullptr;
  }
  if (!sbr_ && h.sample_rate < 32000) {
    sbr_ = sbrdec_create(h.sample_rate, spf, &sbr_config_);
    sbr_rate_ = h.sample_rate;
    sbr_active_ = (sbr_ && has_payload) ? 1 : 0;
  }
  payload_.count = 0;
  if (has_payload) {
    payload_.count = 1;
    payload_.element[0].mode = h.channels == 2 ? 2 : 0;
    payload_.element[0].kind = 12 + ((l3_.payload[0] >> 5) & 1);
    payload_.element[0].length = l3_.payload_len;
    std::memcpy(payload_.element[0].bytes, l3_.payload, size_t(l3_.payload_len));
  }
  if (has_payload && !sbr_active_ && sbr_ && !sbr_decision_kept_) {
    if (sbrdec_parse_payload(sbr_, &payload_) == 0) {
      if (sbr_parse_count_ < 6)
        ++sbr_parse_count_;
      else
        status = SSC_INFO_MP3PRO_DETECTED;
    } else {
      sbr_parse_count_ = 0;
    }
  } else if (!has_payload) {
    sbr_parse_count_ = 0;
  }
  if (sbr_active_ && sbr_) {
    static const int edges[8] = {1, 2, 4, 7, 11, 16, 22, 32};
    sbrdec_enable_high_band(sbr_, sbr_high_band);
    sbrdec_set_band_gains(sbr_, 8, edges, band_gains_);
    if (sbrdec_apply(sbr_, &payload_, work_, h.channels) == 0) {
      info_.outputRate = uint32_t(sbrdec_get_rate_factor(sbr_) * float(h.sample_rate));
      info_.finalRate = forced_rate_ ? uint32_t(forced_rate_) : info_.outputRate;
      info_.outputChannels = uint32_t(sbrdec_get_output_channels(sbr_, h.channels));
    } else {
      sbr_active_ = 0;
    }
  }

  const int n = info_.outputRate >= 32000 ? 1152 : 576;
  const int ch = int(info_.outputChannels);
  const int ss = float_output_ ? 4 : 2;
  if (!out) {
    info_.mp3proActive = sbr_active_;
    return status;
  }
  *out_bytes = ch * n * ss;
  if (*out_bytes > capacity) {
    *out_bytes = 0;
    return SSC_DEC_BUFFER_TOO_SMALL;
  }

  // Limiter. Mended fault: a change of channels or samples per frame rebuilds it.
  if (lim_ && (lim_channels_ != ch || lim_block_ != ch * n)) {
    mp3dec_limiter_destroy(&lim_);
    std::free(lim_out_);
    lim_out_ = nullptr;
    lim_stage_ = 0;
  }
  if (lim_stage_ == 0) {
    if (use_limiter_) lim_ = mp3dec_limiter_create(64, ch, 1);
    if (lim_) {
      lim_block_ = ch * n;
      lim_channels_ = ch;
      const size_t bytes = (sizeof(float) * size_t(lim_block_) + 15) & ~size_t(15);
      lim_out_ = static_cast<float*>(std::aligned_alloc(16, bytes));
      if (!lim_out_) mp3dec_limiter_destroy(&lim_);
    }
    lim_stage_ = 1;
  }
  if (lim_) {
    const int block = ch * 64;
    for (int i = 0; i + block <= ch * n; i += block)
      mp3dec_limiter_process(lim_, work_ + i, lim_out_ + i);
    std::memcpy(work_, lim_out_, sizeof(float) * size_t(ch * n));
    if (lim_stage_ == 1) {
      std::memset(work_, 0, sizeof(float) * size_t(block));
      if (gap_delay) gap_delay += 64;
      lim_stage_ = 2;
    }
  }

  // Converter. Mended faults: rebuilt on a change of format; a failed set-up is reported.
  const int out_rate = int(info_.outputRate);
  if (conv_ && (conv_channels_ != ch || conv_rate_ != out_rate || conv_n_ != n)) {
    resampler_dec_destroy(conv_);
    conv_ = nullptr;
    std::free(conv_out_);
    conv_out_ = nullptr;
  }
  if (!conv_ && forced_rate_ && forced_rate_ != out_rate) {
    conv_out_size_ = out_rate < forced_rate_ ? ch * forced_rate_ * n / out_rate + ch : ch * n;
    conv_out_size_ += 2 * ch;  // room for the rounding of one call
    conv_out_ = static_cast<float*>(std::calloc(size_t(conv_out_size_), sizeof(float)));
    if (!conv_out_ || !resampler_dec_create(&conv_, ch, 1, ch * n, out_rate, forced_rate_,
                                            0.5 * forced_rate_, 0.1, 0)) {
      std::free(conv_out_);
      conv_out_ = nullptr;
      conv_ = nullptr;
      *out_bytes = 0;
      return SSC_ERR_NO_MEMORY;
    }
    conv_channels_ = ch;
    conv_rate_ = out_rate;
    conv_n_ = n;
    conv_in_count_ = ch * n;
  }
  const float* pcm = work_;
  if (forced_rate_ && conv_) {
    int in = ch * n, produced = 0;
    resampler_dec_run(conv_, work_, conv_out_, &in, &produced);
    conv_out_count_ = produced;
    *out_bytes = produced * ss;
    if (*out_bytes > capacity) {
      *out_bytes = 0;
      return SSC_DEC_BUFFER_TOO_SMALL;
    }
    pcm = conv_out_;
  }

  write_output(out, *out_bytes, pcm);

  // Gapless trimming.
  if (gap_delay || gap_length) {
    skip_ = gap_delay;
    remaining_ = gap_length == 0xFFFFFFFFu ? no_limit : uint64_t(gap_length);
    if (forced_rate_ && forced_rate_ != out_rate) {
      skip_ = uint64_t(double(skip_) * forced_rate_ / out_rate + 0.5);
      if (remaining_ != no_limit) remaining_ = uint64_t(double(remaining_) * forced_rate_ / out_rate + 0.5);
    }
    skip_ *= uint64_t(ch * ss);
    if (remaining_ != no_limit) remaining_ *= uint64_t(ch * ss);
  }
  if (skip_ > 0 && *out_bytes > 0) {
    const int drop = skip_ >= uint64_t(*out_bytes) ? *out_bytes : int(skip_);
    skip_ -= uint64_t(drop);
    *out_bytes -= drop;
    if (*out_bytes > 0) std::memmove(out, static_cast<uint8_t*>(out) + drop, size_t(*out_bytes));
  }
  apply_length(out_bytes);
  if (l3_.info_frame == 1) {
    l3_.info_frame = 2;
    *out_bytes = 0;
  }
  info_.mp3proActive = sbr_active_;
  return status;
}

}  // namespace

SSC MP3CreateDecoder(MP3Decoder** out, int floatOutput, int noCrcCheck, int force44100,
                     int useGaplessInfo, int useLimiter) {
  if (!out) return SSC_ERR_WRONG_PARAMETER;
  MP3DecoderImpl* d = new (std::nothrow)
      MP3DecoderImpl(floatOutput, noCrcCheck, force44100, useGaplessInfo, useLimiter);
  if (!d) return SSC_ERR_NO_MEMORY;
  *out = d;
  return SSC_OK;
}
