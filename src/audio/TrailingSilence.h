#pragma once
// The silence at the end of a phrase: the run of silent 100 ms blocks at the end of its
// audio, by the block level rule of the import (SilenceSplitter.h).

#include <cstddef>
#include <cstdint>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

class CTrailingSilenceMeter {
public:
    // `bytesPerSecond` of 16-bit mono audio; a block is a tenth of it.
    CTrailingSilenceMeter(uint32_t bytesPerSecond, int thresholdDb);

    // One portion of the audio (at most a second): cut into blocks from its start, the
    // last one possibly shorter. The run of silent blocks carries over to the next portion.
    void Measure(const char* data, size_t bytes);

    uint32_t GetBlockBytes() const { return m_nBlock; }
    uint32_t GetSilentBlocks() const { return m_nRun; }
    // The silence in bytes: the run of silent blocks, a partial last block counted whole.
    uint32_t GetSilenceBytes() const { return m_nRun * m_nBlock; }

private:
    uint32_t m_nBlock;
    int m_nThreshold;
    uint32_t m_nRun = 0;
};

// Measures `length` bytes from byte `start` of the sample data of the WAV file at `path`
// (counted from its "data" chunk), a second at a time. 0 with `silence` set; 5 when the
// file cannot be opened or its data ends before the range does, 10 when a read fails;
// the failures show their message (with the file's name) through `host`.
int MeasureWaveTrailingSilence(CWaveTaskHost& host, const CString& path, uint32_t start, uint32_t length,
                               uint32_t bytesPerSecond, int thresholdDb, uint32_t& silence);
