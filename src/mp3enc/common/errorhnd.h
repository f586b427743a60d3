// Error record that the library's inner routines (the SBR encoder in particular) return by
// pointer; null means success and callers only test the pointer. Header-only, because the
// SBR encoder library and its tests do not link the encoder library.
#pragma once

#include <cstdint>

struct mp3enc_error {
  const char* file;
  int32_t line;
  const char* name;
  const char* text;
};

inline constexpr mp3enc_error mp3enc_generic_error_record{"./common/errorhnd", 0, "genericError", "generic Error"};

// The routines hand out a pointer to a constant record.
inline const mp3enc_error* mp3enc_generic_error() { return &mp3enc_generic_error_record; }
