#pragma once
// Writing a WAV file: Create writes the RIFF "WAVE" header with a 16-byte "fmt " chunk
// and opens the "data" chunk; the caller writes the samples with the file's own Write;
// Close writes the chunk sizes. One writer serves one file at a time.

#include <memory>

#include "audio/WaveFormat.h"
#include "platform/CString.h"
#include "platform/Riff.h"

class CWaveFileWriter {
public:
    // Creates (or truncates) `path` and hands the open file to `file`. Returns 0, the
    // open error of the file layer, kRiffErrCannotWrite when the format could not be
    // written, or another error of the file layer; on failure `file` is empty and
    // nothing is left open. The written format is integer PCM with block align and
    // bytes per second derived from rate, channels and bits.
    int Create(const CString& path, WaveFormatEx format, std::unique_ptr<CRiffFile>& file);

    // Closes the "data" and RIFF chunks (an odd data length gets its pad byte), flushes
    // and closes the file and empties `file`. Returns 0, or the first error on the way;
    // with no open file, 0.
    int Close(std::unique_ptr<CRiffFile>& file);

private:
    RiffChunk m_riff;
    RiffChunk m_chunk;
};
