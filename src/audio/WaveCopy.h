#pragma once
// Copying a byte range of one WAV file's samples into a new WAV file of the same
// format (one phrase handed to the phrase-split dialog).

#include <cstdint>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

// `length` bytes from byte `start` of the source's sample data; a range that runs past
// the end of the data is cut there. Returns 0, 5 (a file cannot be opened, or the
// target cannot be written), 8 (the source's header cannot be read) or 10 (reading the
// source failed); every failure shows its message through `host` first.
int CopyWaveRange(CWaveTaskHost& host, const CString& source, const CString& target, uint32_t length,
                  uint32_t start);
