#pragma once
// Converting a 16-bit mono WAV file to another sample rate, file to file, one second
// at a time under the progress dialog (the audio import, the export and the DAISY
// import bring recordings to the project's rate with it).

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

// Writes `target` as 16-bit mono PCM at `targetRate` from `source`. `caption` and
// `text` go to the progress dialog. Returns 0 (done), 1 (failed; the message was shown
// through `host`), 29 (the conversion itself failed, memory; shown) or 2 (cancelled by
// the user; the target holds what was converted so far and is a valid WAV file).
int ConvertWaveFormat(CWaveTaskHost& host, const CString& source, const CString& target, int targetRate,
                      const CString& caption, const CString& text);
