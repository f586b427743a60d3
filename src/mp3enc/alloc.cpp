// Zeroed, 16-byte aligned blocks: the raw address sits just before the block.
#include "mp3enc/alloc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

void* mp3enc_aligned_calloc(size_t size) {
  const size_t extra = 16 + sizeof(void*);
  if (size > SIZE_MAX - extra) return nullptr;
  void* raw = std::calloc(1, size + extra);
  if (!raw) return nullptr;
  uintptr_t start = (reinterpret_cast<uintptr_t>(raw) + extra) & ~uintptr_t(15);
  std::memcpy(reinterpret_cast<void*>(start - sizeof(void*)), &raw, sizeof(void*));
  return reinterpret_cast<void*>(start);
}

void mp3enc_aligned_free(void* block) {
  if (!block) return;
  void* raw;
  std::memcpy(&raw, static_cast<char*>(block) - sizeof(void*), sizeof(void*));
  if (raw) std::free(raw);
}
