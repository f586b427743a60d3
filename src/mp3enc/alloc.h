// Zeroed, 16-byte aligned blocks for the encoder's records and arrays.
#pragma once

#include <cstddef>
#include <new>

void* mp3enc_aligned_calloc(size_t size);
// Accepts null.
void mp3enc_aligned_free(void* block);

// A value-initialised record in an aligned block; null when the allocation fails.
template <class T>
T* mp3enc_new_record() {
  void* p = mp3enc_aligned_calloc(sizeof(T));
  return p ? new (p) T{} : nullptr;
}
template <class T>
void mp3enc_free_record(T* r) {
  if (!r) return;
  r->~T();
  mp3enc_aligned_free(r);
}
