// The handle functions: open, configure, parameters, input size, close.
#include <cmath>
#include <cstring>
#include <new>

#include "mp3enc/config.h"
#include "mp3enc/handle.h"

namespace {

bool two_coded(uint32_t channel_mode) { return channel_mode == 2 || channel_mode == 4; }

// Intensity, mid/side and two-channel pre-processing allowed; everything else 0.
void mp3enc_params_defaults(mp3enc_params* p) { *p = mp3enc_params{}; }

// Builds the objects for trial's words; on success they replace the handle's.
bool rebuild(mp3enc_handle* h, mp3enc_handle& trial) {
  mp3enc_engine* e = mp3enc_init(&trial);
  if (!e) return false;
  mp3enc_free_all(h->engine);
  h->engine = e;
  h->config = trial.config;
  h->sbr = trial.sbr;
  h->params = trial.params;
  h->params.bandwidth = e->bandwidth;
  h->params.delay = e->delay;
  return true;
}

}  // namespace

mp3enc_handle* mp3enc_open(int32_t rate, int32_t channels, int32_t width) {
  if ((width != 0 && width != 1) || !mp3enc_valid_rate(rate) || channels < 1 || channels > 2)
    return nullptr;
  mp3enc_handle* h = new (std::nothrow) mp3enc_handle{};
  if (!h) return nullptr;
  h->rate = rate;
  h->channels = channels;
  h->width = width;
  mp3enc_handle trial = *h;
  mp3enc_params_defaults(&trial.params);
  trial.params.quality = 1;
  bool ok = sbrenc_config_defaults(&trial.sbr, 2, 2, 576) == 0;
  trial.config = mp3enc_config{0, 0, 0, default_bitrate_for_rate(uint32_t(rate), uint32_t(channels)), 0};
  ok = ok && mp3enc_derive_config(uint32_t(channels), uint32_t(rate), &trial.config, 1);
  if (ok && trial.config.sbr_mode == 1)
    ok = sbrenc_config_select(&trial.sbr, trial.config.bit_rate, two_coded(trial.config.channel_mode) ? 2 : 1,
                              trial.config.output_rate / 2, 3, 32000, 0, 0, 0, 1) == 0;
  if (trial.config.channel_mode == 1 && trial.config.sbr_mode == 1 && channels == 2) trial.config.channel_mode = 3;
  ok = ok && trial.config.bit_rate != 0 && rebuild(h, trial);
  if (!ok) {
    mp3enc_close(h);
    return nullptr;
  }
  std::strncpy(h->build_date, "May 25 2005", sizeof h->build_date - 1);
  std::strncpy(h->version, "1.4.2", sizeof h->version - 1);
  return h;
}

// A handle without its objects (only a failed open could leave one) answers every call
// with its failure value; close still frees it.
int mp3enc_set_config(mp3enc_handle* h, mp3enc_config* cfg) {
  if (!h || !h->engine || !cfg) return 0;
  mp3enc_handle trial = *h;
  if (!mp3enc_complete_config(uint32_t(h->channels), uint32_t(h->rate), *cfg, &trial.config, &trial.sbr))
    return 0;
  trial.params.bandwidth = 0.0f;
  trial.params.delay = 0;
  if (!rebuild(h, trial)) return 0;
  *cfg = h->config;
  return 1;
}

mp3enc_params* mp3enc_get_params(mp3enc_handle* h) { return h && h->engine ? &h->params : nullptr; }

int mp3enc_set_params(mp3enc_handle* h, const mp3enc_params* p) {
  if (!h || !h->engine || !p) return 0;
  const mp3enc_params asked = *p;  // p may be the handle's own block
  if (asked.padding < 0 || asked.padding > 2 || asked.quality < 0 || asked.quality > 2) return 0;
  if (!std::isfinite(asked.bandwidth) || asked.bandwidth < 0.0f ||
      asked.bandwidth > float(h->config.output_rate) * 0.5f)
    return 0;
  mp3enc_handle trial = *h;
  trial.params = asked;
  return rebuild(h, trial) ? 1 : 0;
}

int mp3enc_get_input_size(mp3enc_handle* h, int32_t* bytes) {
  if (!h || !h->engine || !bytes) return 0;
  *bytes = h->engine->wanted;
  return 1;
}

int mp3enc_close(mp3enc_handle* h) {
  if (!h) return 0;
  mp3enc_free_all(h->engine);
  delete h;
  return 1;
}
