#include "sbrenc/sbrenc_grid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int32_t floor_half(int32_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

// Smallest part count n with s - (n - 1) d <= max_segment; d even, at most cap.
void calc_segments(int32_t s, int32_t cap, int32_t max_segment, int32_t* parts, int32_t* d) {
  int32_t n = 1, dd = 0;
  for (; n < 64; ++n) {
    dd = std::min(2 * floor_half(s / n - 2) + 2, cap);
    if (s - (n - 1) * dd <= max_segment) break;
  }
  *parts = n;
  *d = dd;
}

void remove_front(int32_t* list, int32_t* count) {
  if (*count <= 0) return;
  std::memmove(list, list + 1, (*count - 1) * sizeof(int32_t));
  --*count;
}

const int32_t template_borders[3][5] = {{0, 9}, {0, 5, 9}, {0, 2, 5, 7, 9}};

// Fillers after the transient region up to the end of the following frame; returns the
// part count. The last segment is adjusted when it comes out too short.
int32_t fill_post(sbrenc_grid_state* st, int32_t cap) {
  const sbrenc_grid_code* c = st->code;
  const int32_t bmax = st->borders[st->n_borders - 1];
  const int32_t s2 = 2 * c->slots + c->first_slot - bmax;
  if (s2 < 1) {
    if (st->n_borders > 1) {
      --st->n_borders;
      --st->n_res;
    }
    return 1;
  }
  int32_t parts, d;
  calc_segments(s2, cap, st->max_segment, &parts, &d);
  for (int32_t i = 1; i < parts; ++i) {
    sbrenc_append(st->borders, &st->n_borders, bmax + i * d);
    sbrenc_append(st->res, &st->n_res, st->filler_res_after);
  }
  const int32_t r = s2 - (parts - 1) * d;
  if (parts == 1 && r < st->min_segment) {
    const int32_t nb = st->n_borders;
    if (st->spreading) {
      sbrenc_append(st->borders, &st->n_borders, st->borders[nb - 1] + 8);
      sbrenc_append(st->res, &st->n_res, 1);
      st->spread = 1;
      ++parts;
    } else if (r == 1) {
      st->n_borders = st->n_res = nb - 1;
    } else {
      // Shorten the last segment, but never below one slot: its length divides later.
      const int32_t prev = nb >= 2 ? st->borders[nb - 2] : c->first_slot;
      if (st->borders[nb - 1] - prev > 2) {
        st->borders[nb - 1] = std::max(st->borders[nb - 1] - 2, prev + 1);
        st->res[st->n_res - 1] = 0;
      }
    }
  }
  return parts;
}

// Fillers in front of the working lists, d slots apart backwards from their first border.
void fill_pre(sbrenc_grid_state* st, int32_t gap) {
  int32_t parts, d;
  calc_segments(gap, 8, st->max_segment, &parts, &d);
  const int32_t bmin = st->borders[0];
  for (int32_t i = 1; i < parts; ++i) {
    sbrenc_prepend(st->borders, &st->n_borders, bmin - i * d);
    sbrenc_prepend(st->res, &st->n_res, st->filler_res_before);
  }
}

int32_t first_at_or_after(const int32_t* b, int32_t n, int32_t value) {
  for (int32_t i = 0; i < n; ++i)
    if (b[i] >= value) return i;
  return -1;
}

// Keeps the borders from the frame end on for the next frame.
void keep_follow_up(sbrenc_grid_state* st, int32_t transient_border, int32_t parts) {
  const sbrenc_grid_code* c = st->code;
  const int32_t i0 = first_at_or_after(st->borders, st->n_borders, c->first_slot + c->slots);
  if (i0 < 0) {
    st->fu_n_borders = st->fu_n_res = 0;
    st->fu_transient = st->fu_filler = -99;
    return;
  }
  st->fu_n_borders = st->fu_n_res = 0;
  for (int32_t i = i0; i < st->n_borders; ++i) sbrenc_append(st->fu_borders, &st->fu_n_borders, st->borders[i] - c->slots);
  for (int32_t i = i0; i < st->n_res; ++i) sbrenc_append(st->fu_res, &st->fu_n_res, st->res[i]);
  const int32_t it = first_at_or_after(st->borders, st->n_borders, transient_border);
  st->fu_transient = it < 0 ? -99 : it - i0;
  st->fu_filler = st->n_borders + 1 - parts - i0;
}

}  // namespace

int32_t sbrenc_grid_join(sbrenc_grid_state* st) {
  if (st->fu_filler > 0) {
    st->fu_n_borders = std::min(st->fu_n_borders, st->fu_filler);
    st->fu_n_res = std::min(st->fu_n_res, st->fu_filler);
  }
  if (st->fu_n_borders < 1) {
    // No follow-up to join: start the frame at its first slot.
    st->fu_borders[0] = st->code->first_slot;
    st->fu_res[0] = st->filler_res_before;
    st->fu_n_borders = st->fu_n_res = 1;
  }
  int32_t bmin = st->borders[0];
  while (st->fu_borders[st->fu_n_borders - 1] > bmin) {
    const int32_t last = st->fu_borders[st->fu_n_borders - 1];
    if (st->fu_n_borders > 1) {
      --st->fu_n_borders;
      if (st->fu_n_res > st->fu_n_borders) st->fu_n_res = st->fu_n_borders;
    } else {
      // Keep the last working border so the transient region never vanishes.
      while (st->n_borders > 1 && st->borders[0] <= last) {
        remove_front(st->borders, &st->n_borders);
        remove_front(st->res, &st->n_res);
      }
      bmin = st->borders[0];
      if (bmin <= last) st->fu_borders[0] = bmin - 1;
      break;
    }
  }
  int32_t split = st->fu_n_borders - 1;
  const int32_t last = st->fu_borders[st->fu_n_borders - 1];
  const int32_t gap = bmin - last;
  if (gap > st->min_segment) {
    if (gap > st->max_segment) fill_pre(st, gap);
    sbrenc_prepend_list(st->borders, &st->n_borders, st->fu_borders, st->fu_n_borders);
    sbrenc_prepend_list(st->res, &st->n_res, st->fu_res, st->fu_n_res);
  } else if (st->fu_n_borders > 1) {
    sbrenc_prepend_list(st->borders, &st->n_borders, st->fu_borders, st->fu_n_borders - 1);
    sbrenc_prepend_list(st->res, &st->n_res, st->fu_res, st->fu_n_res - 1);
    --split;
  } else {
    remove_front(st->borders, &st->n_borders);
    remove_front(st->res, &st->n_res);
    sbrenc_prepend_list(st->borders, &st->n_borders, st->fu_borders, 1);
    sbrenc_prepend_list(st->res, &st->n_res, st->fu_res, st->fu_n_res);
  }
  return split;
}

void sbrenc_grid_encode(sbrenc_grid_state* st, const int32_t* b, int32_t n_borders, const int32_t* f, int32_t n_res,
                        int32_t t, int32_t frame_class, int32_t split) {
  sbrenc_grid_code* c = st->code;
  const int32_t frame_end = c->first_slot + c->slots;
  if (frame_class == 1) {
    const int32_t n = first_at_or_after(b, n_borders, frame_end);
    c->var_border = b[n];
    for (int32_t k = 0; k < n; ++k) c->rel[k] = b[n - k] - b[n - k - 1];
    c->n_rel = n;
    for (int32_t k = 0; k < n; ++k) c->res[k] = f[n - 1 - k];
    c->res[n] = st->filler_res_after;
    c->pointer = (t == -99 || t > n) ? 0 : n - t + 1;
  } else if (frame_class == 2) {
    c->var_border = b[0];
    for (int32_t k = 0; k + 1 < n_borders; ++k) c->rel[k] = b[k + 1] - b[k];
    c->n_rel = n_borders - 1;
    for (int32_t k = 0; k < n_res && k < 4; ++k) c->res[k] = f[k];
    c->pointer = t < 0 ? 0 : t + 1;
  } else if (frame_class == 3 && st->spread) {
    const int32_t m = n_borders;
    c->lead_border = b[0];
    c->trail_border = b[m - 1];
    if (m - 2 < 3) {
      for (int32_t k = 0; k < m - 2; ++k) c->lead_rel[k] = b[k + 1] - b[k];
      c->n_lead = m - 2;
      c->n_trail = 0;
    } else {
      c->lead_rel[0] = b[1] - b[0];
      c->lead_rel[1] = b[2] - b[1];
      c->n_lead = 2;
      for (int32_t k = 0; k < m - 4; ++k) c->trail_rel[k] = b[m - 1 - k] - b[m - 2 - k];
      c->n_trail = m - 4;
    }
    for (int32_t i = 0; i < m - 1; ++i) c->res_vv[i] = f[i];
    c->pointer = t < 1 ? 0 : m - t;
  } else if (frame_class == 3) {
    const int32_t n = first_at_or_after(b, n_borders, frame_end);
    c->lead_border = b[0];
    c->trail_border = b[n];
    for (int32_t k = 0; k < split; ++k) c->lead_rel[k] = b[k + 1] - b[k];
    c->n_lead = split;
    for (int32_t k = 0; k < n - split - 1; ++k) c->trail_rel[k] = b[n - k] - b[n - k - 1];
    c->n_trail = n - 1 - split;
    for (int32_t i = 0; i < n; ++i) c->res_vv[i] = f[i];
    c->pointer = (t == -99 || t > n) ? 0 : n - t + 1;
  }
  c->frame_class = frame_class;
}

const mp3enc_error* sbrenc_grid_create(sbrenc_grid_state** out, int32_t spreading, int32_t static_envelopes,
                                       int32_t static_framing, int32_t filler_res_before, int32_t filler_res_after,
                                       int32_t slots, int32_t freq_res_fixed) {
  *out = nullptr;
  auto* st = static_cast<sbrenc_grid_state*>(std::calloc(1, sizeof(sbrenc_grid_state)));
  if (!st) return mp3enc_generic_error();
  st->code = static_cast<sbrenc_grid_code*>(std::calloc(1, sizeof(sbrenc_grid_code)));
  st->info = static_cast<sbrenc_grid_info*>(std::calloc(1, sizeof(sbrenc_grid_info)));
  if (!st->code || !st->info) {
    sbrenc_grid_free(st);
    return mp3enc_generic_error();
  }
  st->spreading = spreading;
  st->static_envelopes = static_envelopes;
  st->static_framing = static_framing;
  st->filler_res_before = filler_res_before;
  st->filler_res_after = filler_res_after;
  st->freq_res_fixed = freq_res_fixed;
  st->code->slots = slots;
  st->seg_len[1] = 2;
  if (slots == 9) {
    st->min_segment = 2;
    st->max_segment = 8;
    st->offset = 4;
  } else {
    st->seg_len[2] = 4;
  }
  *out = st;
  return nullptr;
}

void sbrenc_grid_free(sbrenc_grid_state* st) {
  if (!st) return;
  std::free(st->code);
  std::free(st->info);
  std::free(st);
}

void sbrenc_frame_class(int32_t* frame_class, int32_t* previous_class, int32_t transient_flag, int32_t* spread_flag) {
  int32_t c;
  switch (*previous_class) {
    case 0:
    case 2:
      c = transient_flag ? 1 : 0;
      break;
    case 1:
    case 3:
      if (transient_flag) {
        c = 3;
        *spread_flag = 0;
      } else {
        c = *spread_flag ? 3 : 2;
      }
      break;
    default:
      c = *frame_class;
      break;
  }
  *frame_class = c;
  *previous_class = c;
}

void sbrenc_grid_template(sbrenc_grid_info* info, int32_t envelopes, int32_t slots) {
  if (slots != 9) return;
  int t;
  if (envelopes == 1)
    t = 0;
  else if (envelopes == 2)
    t = 1;
  else if (envelopes == 4)
    t = 2;
  else
    return;
  info->envelopes = envelopes;
  for (int i = 0; i <= envelopes; ++i) info->borders[i] = template_borders[t][i];
  for (int i = 0; i < envelopes; ++i) info->freq_res[i] = 1;
  info->transient_env = 0;
  info->noise_envelopes = envelopes == 1 ? 1 : 2;
  info->noise_borders[0] = 0;
  info->noise_borders[1] = envelopes == 1 ? 9 : 5;
  info->noise_borders[2] = 9;
}

void sbrenc_grid_decode(const sbrenc_grid_code* c, int32_t freq_res_fixed, sbrenc_grid_info* info) {
  const int32_t frame_end = c->first_slot + c->slots;
  int32_t e = 0, p = c->pointer;
  switch (c->frame_class) {
    case 0:
      sbrenc_grid_template(info, c->fixed_envelopes, c->slots);
      if (!freq_res_fixed)
        for (int32_t i = 0; i < info->envelopes; ++i) info->freq_res[i] = 0;
      return;
    case 1:
      e = c->n_rel + 1;
      info->borders[0] = c->first_slot;
      info->borders[e] = c->var_border;
      for (int32_t k = 0; k < c->n_rel; ++k) info->borders[e - 1 - k] = info->borders[e - k] - c->rel[k];
      for (int32_t i = 0; i < e; ++i) info->freq_res[i] = c->res[e - 1 - i];
      info->transient_env = p ? e + 1 - p : 0;
      break;
    case 2:
      e = c->n_rel + 1;
      info->borders[0] = c->var_border;
      for (int32_t k = 0; k < c->n_rel; ++k) info->borders[k + 1] = info->borders[k] + c->rel[k];
      info->borders[e] = frame_end;
      for (int32_t i = 0; i < e; ++i) info->freq_res[i] = c->res[i];
      info->transient_env = p > 1 ? p - 1 : 0;
      break;
    default:
      e = c->n_lead + c->n_trail + 1;
      info->borders[0] = c->lead_border;
      for (int32_t k = 0; k < c->n_lead; ++k) info->borders[k + 1] = info->borders[k] + c->lead_rel[k];
      info->borders[e] = c->trail_border;
      for (int32_t k = 0; k < c->n_trail; ++k) info->borders[e - 1 - k] = info->borders[e - k] - c->trail_rel[k];
      for (int32_t i = 0; i < e; ++i) info->freq_res[i] = c->res_vv[i];
      info->transient_env = p ? e + 1 - p : 0;
      break;
  }
  info->envelopes = e;
  info->noise_borders[0] = info->borders[0];
  if (e == 1) {
    info->noise_envelopes = 1;
    info->noise_borders[1] = info->borders[e];
    return;
  }
  int32_t mid;
  if (c->frame_class == 2)
    mid = p == 0 ? 1 : (p == 1 ? e - 1 : info->transient_env);
  else
    mid = p <= 1 ? e - 1 : info->transient_env;
  info->noise_envelopes = 2;
  info->noise_borders[1] = info->borders[mid];
  info->noise_borders[2] = info->borders[e];
}

const sbrenc_grid_info* sbrenc_frame_info(sbrenc_grid_state* st, const int32_t transient[2], int32_t mode) {
  sbrenc_grid_code* c = st->code;
  if (st->static_framing) {
    c->frame_class = 0;
    c->fixed_envelopes = st->static_envelopes;
    st->prev_class = 0;
    sbrenc_grid_decode(c, st->freq_res_fixed, st->info);
    return st->info;
  }
  int32_t cls = c->frame_class;
  sbrenc_frame_class(&cls, &st->prev_class, transient[1], &st->spread);

  int32_t t_border = 0, t_index = -99;
  if (transient[1]) {
    t_border = st->offset + c->first_slot + transient[0];
    st->n_borders = st->n_res = 0;
    if (st->seg_len[0]) {
      sbrenc_append(st->borders, &st->n_borders, t_border - st->seg_len[0]);
      sbrenc_append(st->res, &st->n_res, st->seg_res[0]);
    }
    sbrenc_append(st->borders, &st->n_borders, t_border);
    if (st->seg_len[1]) {
      sbrenc_append(st->borders, &st->n_borders, t_border + st->seg_len[1]);
      sbrenc_append(st->res, &st->n_res, st->seg_res[1]);
    }
    if (st->seg_len[2]) {
      sbrenc_append(st->borders, &st->n_borders, st->borders[st->n_borders - 1] + st->seg_len[2]);
      sbrenc_append(st->res, &st->n_res, st->seg_res[2]);
    }
    sbrenc_append(st->res, &st->n_res, st->filler_res_after);
  }
  const int32_t cap = mode == 2 ? 4 : 8;

  switch (cls) {
    case 0:
      c->fixed_envelopes = transient[0] == 0 ? 1 : 2;
      sbrenc_grid_encode(st, nullptr, 0, nullptr, 0, t_index, 0, 0);
      break;
    case 2:
      sbrenc_grid_encode(st, st->fu_borders, st->fu_n_borders, st->fu_res, st->fu_n_res, st->fu_transient, 2, 0);
      break;
    case 1: {
      const int32_t gap = st->borders[0] - c->first_slot;
      fill_pre(st, gap);
      const int32_t parts = fill_post(st, cap);
      t_index = first_at_or_after(st->borders, st->n_borders, t_border);
      keep_follow_up(st, t_border, parts);
      sbrenc_grid_encode(st, st->borders, st->n_borders, st->res, st->n_res, t_index, 1, 0);
      break;
    }
    default:
      if (st->spread) {
        sbrenc_grid_encode(st, st->fu_borders, st->fu_n_borders, st->fu_res, st->fu_n_res, st->fu_transient, 3, 0);
        st->spread = 0;
        st->fu_borders[0] = c->trail_border - c->slots;
        st->fu_res[0] = 1;
        st->fu_n_borders = st->fu_n_res = 1;
        st->fu_transient = st->fu_filler = -4711;
      } else {
        const int32_t split = sbrenc_grid_join(st);
        const int32_t parts = fill_post(st, cap);
        t_index = first_at_or_after(st->borders, st->n_borders, t_border);
        keep_follow_up(st, t_border, parts);
        sbrenc_grid_encode(st, st->borders, st->n_borders, st->res, st->n_res, t_index, 3, split);
      }
      break;
  }
  sbrenc_grid_decode(c, st->freq_res_fixed, st->info);
  return st->info;
}

void sbrenc_append(int32_t* list, int32_t* count, int32_t value) {
  list[*count] = value;
  ++*count;
}

void sbrenc_prepend(int32_t* list, int32_t* count, int32_t value) {
  std::memmove(list + 1, list, *count * sizeof(int32_t));
  list[0] = value;
  ++*count;
}

int32_t sbrenc_prepend_list(int32_t* list, int32_t* count, const int32_t* values, int32_t m) {
  if (m > 0) {
    std::memmove(list + m, list, *count * sizeof(int32_t));
    std::memcpy(list, values, m * sizeof(int32_t));
    *count += m;
  }
  return -1;
}

namespace {
template <typename T>
void shell_sort(T* a, int32_t n) {
  int32_t h = 1;
  while (h <= n) h = 3 * h + 1;
  for (h /= 3; h > 0; h /= 3)
    for (int32_t i = h; i < n; ++i) {
      T v = a[i];
      int32_t j = i;
      while (j >= h && a[j - h] > v) {
        a[j] = a[j - h];
        j -= h;
      }
      a[j] = v;
    }
}
}  // namespace

void sbrenc_sort_ints(int32_t* list, int32_t n) { shell_sort(list, n); }
void sbrenc_sort_floats(float* list, int32_t n) { shell_sort(list, n); }
