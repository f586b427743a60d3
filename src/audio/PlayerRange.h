#pragma once
// A phrase's place for either player, in bytes of its audio as the phrase records it: the
// WAV player reads those bytes, the MP3 player decodes to that byte of its stream.

#include <cstdint>

#include "audio/Mp3PlayOperation.h"
#include "audio/WavePlayOperation.h"

inline int SetPhraseRange(CWavePlayOperation& player, uint32_t start, uint32_t length) {
    return player.SetRange(start, length);
}

inline int SetPhraseRange(CMp3PlayOperation& player, uint32_t start, uint32_t length) {
    return player.SetRangeAtByte(start, length);
}
