#pragma once
// What the WAV and MP3 players share around the device: their ring of headers and
// buffers, and the device format of a stream.

#include <cstdint>

#include "audio/WaveFormat.h"
#include "platform/WaveOut.h"

// Allocates every header and buffer still missing (buffers of `bytes`, zeroed); false
// when one cannot be had (what was made stays, for a later free).
bool AllocPlayerBuffers(WAVEHDR** headers, char** buffers, int count, uint32_t bytes);
void FreePlayerBuffers(WAVEHDR** headers, char** buffers, int count);
// Index of `header` among the player's own, -1 for any other.
int IndexOfPlayerHeader(WAVEHDR* const* headers, int count, const WAVEHDR* header);
WaveOutFormat PlayerDeviceFormat(const WaveFormatEx& format);
