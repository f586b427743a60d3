#pragma once
// Reading the header of a WAV file: where its samples are and in what format.

#include <cstdint>

#include "audio/WaveFormat.h"
#include "platform/CString.h"

// Results of ReadWaveHeader (values of the audio result set; no message is shown).
enum : int {
    kWaveHeaderOk = 0,
    kWaveHeaderCannotOpen = 5,   // the file cannot be opened, or its format is not one we can trust
    kWaveHeaderNoRiff = 6,       // no RIFF chunk of form "WAVE"
    kWaveHeaderNoFmt = 7,        // no "fmt " chunk in it
    kWaveHeaderBadFormat = 8,    // the "fmt " chunk cannot be read whole
    kWaveHeaderNoData = 9,       // no "data" chunk after "fmt "
};

// Finds the "fmt " chunk of the RIFF "WAVE" file at `path` and then, after it, the
// "data" chunk; other chunks are skipped. `format` receives up to 18 bytes of "fmt "
// (the rest zero), `dataSize` the size that the "data" chunk claims (the file may hold
// fewer bytes) and `dataOffset` the file offset of its first byte.
//
// Only integer PCM whose block align and bytes per second agree with its rate,
// channels and bits is accepted; anything else is kWaveHeaderCannotOpen, because those
// fields size every buffer that reads the samples.
int ReadWaveHeader(const CString& path, WaveFormatEx& format, uint32_t& dataSize, uint32_t& dataOffset);
