// The SBR decoder behind the core's mp3PRO interface: two channels that always exist, the
// pseudo-stereo state, and the per-frame order of payload, channels and output.
#include <cstdlib>
#include <cstring>

#include "mp3dec/sbr/sbr_decoder.h"
#include "mp3dec/sbr/sbr_envelope.h"
#include "mp3dec/sbr/sbr_error.h"
#include "mp3dec/sbr/sbr_payload.h"

SbrError* sbrdec_error() {
  static SbrError e{"errorhnd", 0, "genericError", "generic Error"};
  return &e;
}

void sbrdec_default_header(SbrHeader* h, int core_rate) {
  std::memset(h, 0, sizeof(*h));
  h->status = 3;
  h->reset = 1;
  h->unused4 = 1;
  h->rate_flag = core_rate > 24000 ? 0 : 1;
  h->amp_resolution = 1;
  h->start_freq = 5;
  h->stop_freq = 7;
  h->freq_scale = 2;
  h->alter_scale = 1;
  h->noise_bands = 2;
  h->limiter_bands = 2;
  h->limiter_gains = 2;
  h->interpol_freq = 1;
  h->smoothing_mode = 1;
  h->stereo_strength = 2;
}

void sbrdec_default_grid(SbrGrid* g) {
  std::memset(g, 0, sizeof(*g));
  g->envelopes = 1;
  g->borders[0] = 0;
  g->borders[1] = SBR_TIME_SLOTS;
  g->freq_res[0] = 1;
  g->transient = -1;
  g->noise_floors = 1;
  g->noise_borders[0] = 0;
  g->noise_borders[1] = SBR_TIME_SLOTS;
}

void sbrdec_default_config(SbrDecoderConfig* c, int mode) {
  std::memset(c, 0, sizeof(*c));
  c->mode = mode;
  c->hf_adjust = 2;
  c->unused2 = 2;
  c->inverse_filtering = 4;
  c->lowest_source_band = 1;
  c->unused5 = 1000.0f;
  c->crc_required = mode == 2 ? 1 : 0;
  c->core_gain = 1.0f;
  c->high_gain = 1.0f;
  c->unused9 = 0;
  c->history = 40;
  c->unused11 = 0.05f;
  c->chirp = 0.0f;
}

namespace {

float rate_factor(const SbrDecoderConfig& c, const SbrHeader& h) {
  if (c.mode != 2) return -1.0f;
  return h.rate_flag == 0 ? 1.0f : h.rate_flag == 1 ? 2.0f : -1.0f;
}

}  // namespace

SbrDecoder* sbrdec_create(int core_rate, int core_length, const SbrDecoderConfig* config) {
  if (!config || config->mode != 2 || core_rate < 16000 || core_rate > 24000) return nullptr;
  SbrDecoder* d = static_cast<SbrDecoder*>(std::calloc(1, sizeof(SbrDecoder)));
  if (!d) return nullptr;
  d->config = *config;
  for (SbrChannelBlock& b : d->ch) {
    b.core_rate = core_rate;
    b.core_length = core_length;
    sbrdec_default_header(&b.element.header, core_rate);
    const float factor = rate_factor(d->config, b.element.header);
    SbrHeader header = b.element.header;
    if (sbrdec_channel_init(&b.channel, core_rate, core_length, factor, &d->config, &b.element, &header)) {
      sbrdec_destroy(d);
      return nullptr;
    }
    b.state = 0;
  }
  const float factor = rate_factor(d->config, d->ch[0].element.header);
  if (sbrdec_stereo_create(&d->stereo, int(float(core_rate) * factor), d->ch[0].channel->output_length)) {
    sbrdec_destroy(d);
    return nullptr;
  }
  return d;
}

void sbrdec_destroy(SbrDecoder* d) {
  if (!d) return;
  for (SbrChannelBlock& b : d->ch) sbrdec_channel_free(&b.channel);
  sbrdec_stereo_free(&d->stereo);
  std::free(d);
}

void sbrdec_reset(SbrDecoder* d) {
  if (!d) return;
  for (SbrChannelBlock& b : d->ch) {
    b.state = 1;
    // The stream starts afresh: nothing of the last frame is there for deltas to refer to.
    std::memset(&b.memory, 0, sizeof(b.memory));
    b.element.prev_last_border = SBR_TIME_SLOTS;
    if (!b.channel) continue;
    sbrdec_channel_reset(b.channel, &b.element);
    sbrdec_channel_clear(b.channel);
  }
  if (d->stereo) sbrdec_stereo_clear(d->stereo);
}

float sbrdec_get_rate_factor(const SbrDecoder* d) { return d ? rate_factor(d->config, d->ch[0].element.header) : -1.0f; }

int sbrdec_get_output_channels(const SbrDecoder* d, int core_channels) {
  if (d && d->ch[0].element.header.channel_mode == 3 && core_channels == 1) return 2;
  return core_channels;
}

void sbrdec_enable_high_band(SbrDecoder* d, int flag) {
  if (!d) return;
  for (SbrChannelBlock& b : d->ch) {
    QmfBank* s = b.channel->synthesis;
    SbrHeader& h = b.element.header;
    if (flag == 0) {
      s->high_gain = 0.0f;
      h.stereo_strength = 0;
      h.stereo_lock = 1;
    } else {
      s->high_gain = s->high_gain_config;
      h.stereo_lock = 0;
    }
  }
}

void sbrdec_set_band_gains(SbrDecoder* d, int count, const int* edges, const float* gains) {
  if (!d || count < 0 || count > 8) return;
  for (SbrChannelBlock& b : d->ch) {
    SbrChannel* c = b.channel;
    c->band_count = count;
    for (int i = 0; i < count; ++i) {
      c->band_gains[i] = gains[i];
      c->band_edges[i] = edges[i];
    }
    if (count != 0 && c->synthesis->high_gain != 0.0f) c->synthesis->high_gain = -(gains[count - 1] / 64.0f);
  }
}

namespace {

// Rebuilds a channel's tables after a header change; a layout the tables refuse takes the
// previous header back (with the new reset word) for a second try.
int reset_channel(SbrChannelBlock& b, const SbrHeader& kept, int* first_state) {
  if (!sbrdec_channel_reset(b.channel, &b.element)) return 0;
  const int32_t reset = b.element.header.reset;
  b.element.header = kept;
  b.element.header.reset = reset;
  *first_state = 1;
  return sbrdec_channel_reset(b.channel, &b.element) ? 12 : 0;
}

}  // namespace

void (*sbrdec_read_report)(const SbrReadReport*) = nullptr;
void (*sbrdec_slots_report)(const SbrSlotsReport*) = nullptr;

namespace {
void report_read(const SbrPayloadElement& el, int length, const SbrBitReader& r, int pair, bool crc_ok,
                 int header_result, bool read, bool ok, const SbrChannelBlock& first, const SbrChannelBlock& second) {
  if (!sbrdec_read_report) return;
  const SbrReadReport report{el.bytes, 8 * length, r.position, pair, crc_ok, header_result, read, ok,
                             &first.element, pair ? &second.element : nullptr};
  sbrdec_read_report(&report);
}
}  // namespace

int sbrdec_parse_payload(SbrDecoder* d, const SbrPayload* payload) {
  if (!d || !payload) return 13;
  int ch = 0;
  for (int i = 0; i < payload->count && i < 1; ++i) {
    const SbrPayloadElement& el = payload->element[i];
    const int pair = el.mode == 2 ? 1 : 0;
    const int kind = el.kind;
    int length = el.length;
    if (length < 0) length = 0;
    if (length > int(sizeof(el.bytes))) length = int(sizeof(el.bytes));
    SbrBitReader r;
    sbrdec_open_bits(&r, el.bytes, 8 * length);
    sbrdec_get_bits(&r, 4);
    const int covered = pair ? (kind == 13 ? 140 : 108) : (kind == 13 ? 92 : 60);
    SbrChannelBlock& first = d->ch[ch];
    SbrChannelBlock& second = d->ch[pair ? ch + 1 : (ch + 1) % 2];
    const bool crc_ok = sbrdec_check_crc(&r, covered, d->config.crc_required);
    bool failed = !crc_ok;
    bool read = false, ignored = false;
    int header_result = -1;
    if (!failed) {
      if (el.mode != 0 && el.mode != 2) return 11;
      if (kind == 13) {
        const SbrHeader kept = first.element.header;
        const int result = sbrdec_read_header(&first.element.header, &r, el.mode, d->config.mode, first.core_rate);
        header_result = result;
        second.element.header = first.element.header;
        if (result == 3) {
          report_read(el, length, r, pair, crc_ok, result, false, false, first, second);
          return 13;
        }
        // Mended fault: the header holds for both channels of a pair; with the second channel
        // left without one, its high band stayed silent for the whole stream.
        first.state = 2;
        if (pair) second.state = 2;
        ignored = result == 2;
        if (result == 1) {
          for (SbrChannelBlock& b : d->ch)
            if (reset_channel(b, kept, &first.state)) return 12;
          // Both channels always carry the same header.
          d->ch[1].element.header = d->ch[0].element.header;
        }
      }
      if (first.state == 2) {
        const int mode = first.element.header.channel_mode;
        if ((!pair && mode == 2) || (pair && mode != 2)) return 13;
        const int ok = pair ? sbrdec_read_channel_pair(&first.element, &second.element, &r)
                            : sbrdec_read_single_channel(&first.element, &r);
        read = true;
        if (!ok || (r.position + 7) / 8 * 8 != 8 * length) failed = true;
      } else if (!pair) {
        sbrdec_get_bits(&r, 1);
        const int ps = int(sbrdec_get_bits(&r, 1));
        if (first.element.header.channel_mode == 0) first.element.header.channel_mode = ps ? 3 : 1;
      }
    }
    report_read(el, length, r, pair, crc_ok, header_result, read, read && !failed, first, second);
    if (failed || !read || ignored) {
      first.element.header.conceal = 1;
      if (pair) second.element.header.conceal = 1;
    }
    // Before the first header an element can be neither read nor trusted: it counts as
    // failed, so the core keeps its frame as it is and does not count it as mp3PRO.
    if ((failed || !read) && first.state == 0) return 13;
    for (int c = 0; c <= pair; ++c) {
      SbrChannelBlock& b = d->ch[ch + c];
      if (b.element.adjuster_field == b.prev_adjuster_field) continue;
      // Mended fault: only the adjuster was re-initialised, and the patches kept the layout
      // of the old field. A field whose layout the patches refuse leaves the channel without
      // usable SBR data and without patches (-1), until a field they take comes in.
      b.prev_adjuster_field = b.element.adjuster_field;
      if (sbrdec_channel_set_adjuster_field(b.channel, &b.element)) {
        b.state = 1;
        b.prev_adjuster_field = -1;
      }
    }
    ch += pair + 1;
  }
  return 0;
}

int sbrdec_apply(SbrDecoder* d, const SbrPayload* payload, float* samples, int core_channels) {
  const int n = core_channels == 2 ? 2 : 1;
  if (payload->count > 1) return 3;
  if (payload->count == 0 || payload->element[0].length == 0) {
    // No payload in this frame: channels with a header in force conceal from their previous
    // data; the others have none.
    for (int c = 0; c < n; ++c) {
      SbrChannelBlock& b = d->ch[c];
      if (b.state == 2)
        b.element.header.conceal = 1;
      else
        b.state = 1;
    }
  } else {
    const int r = sbrdec_parse_payload(d, payload);
    if (r == 11 || r == 12) return r;
    if (r == 13) {
      // The core switches SBR output off on this result and takes the frame at its own
      // rate, so the frame is left as the core made it.
      d->ch[0].state = d->ch[1].state = 1;
      return 13;
    }
  }
  if (d->ch[0].state == 2)
    sbrdec_decode_envelopes(&d->ch[0].element, &d->ch[0].memory, n == 2 ? &d->ch[1].element : nullptr,
                            n == 2 ? &d->ch[1].memory : nullptr, d->config.mode);
  else
    d->ch[0].state = d->ch[1].state = 1;

  for (int c = 0; c < n; ++c) {
    SbrChannelBlock& b = d->ch[c];
    sbrdec_process_channel(b.channel, samples + c, core_channels, &b.element, b.state == 2);
    if (sbrdec_slots_report) {
      const SbrChannel* x = b.channel;
      const SbrSlotsReport report{c, b.state == 2 && x->tables_valid, x->re + SBR_SYNTHESIS_ROW,
                                  x->im + SBR_SYNTHESIS_ROW, x->adjuster.limited};
      sbrdec_slots_report(&report);
    }
  }
  const int m = (n == 1 && d->ch[0].element.header.channel_mode == 3) ? 2 : n;
  float out[1152];
  for (int c = 0; c < n; ++c) {
    SbrChannelBlock& b = d->ch[c];
    sbrdec_synthesize_channel(b.channel, &b.element, out, b.state == 2);
    for (int i = 0; i < 1152; ++i) samples[i * m + c] = out[i];
    if (m == 2 && n == 1)
      for (int i = 0; i < 1152; ++i) samples[i * 2 + 1] = out[i];
  }
  if (m == 2 && n == 1) sbrdec_mono_to_stereo(d->stereo, samples, d->ch[0].element.header.stereo_strength);
  return 0;
}

void sbrdec_get_version(const char** date, const char** version) {
  *date = "Jul 29 2005";
  *version = "3.0";
}
