#pragma once
// What the WAV and MP3 players share around the device: their ring of headers and
// buffers, and the device format of a stream.

#include <cstdint>

#include "audio/AudioResult.h"
#include "audio/PlayerStretch.h"
#include "audio/WaveFormat.h"
#include "platform/WaveOut.h"

// Allocates every header and buffer still missing (buffers of `bytes`, zeroed); false
// when one cannot be had (what was made stays, for a later free).
bool AllocPlayerBuffers(WAVEHDR** headers, char** buffers, int count, uint32_t bytes);
void FreePlayerBuffers(WAVEHDR** headers, char** buffers, int count);
// Index of `header` among the player's own, -1 for any other.
int IndexOfPlayerHeader(WAVEHDR* const* headers, int count, const WAVEHDR* header);
WaveOutFormat PlayerDeviceFormat(const WaveFormatEx& format);
// Takes back a header the device reports done. Only the player's own headers, and only those
// the device has really finished with: after a stop the reports of the reset headers still
// arrive, for headers no longer prepared, and must change nothing (kAudioHeaderNotDone). A
// handle already closed gives kAudioInvalidHandle; kAudioNoQueuedBuffer and
// kAudioUnprepareFailed are failures for the player to report. kAudioOk once unprepared.
int TakeBackPlayerHeader(HWAVEOUT device, WAVEHDR* const* headers, int count, WAVEHDR* header, int queued);
// Resets the device and unprepares every header it gave back: kAudioOk, or kAudioResetFailed
// or kAudioUnprepareFailed for the player to report.
int ResetPlayerDevice(HWAVEOUT device, WAVEHDR* const* headers, int count);
// For a player going away: the device lets go of the buffers before they are freed, and is
// closed; nobody is told, as the owner is going away too. `device` becomes null.
void ClosePlayerDeviceQuietly(HWAVEOUT& device, WAVEHDR* const* headers, int count);

// Fills `header` by `fill` (kAudioOk, kAudioNothingQueued once the range is used up, or a
// failure) and passes it through the stretch. The end of the range is not the end of what
// is heard: the stretch lags behind, and what it still holds fills the header then.
// kAudioOk when the header holds something to queue.
template <class Fill>
int FillPlayerBuffer(WAVEHDR* header, CPlayerStretch& stretch, Fill fill) {
    if (int r = fill(header)) {
        if (r != kAudioNothingQueued || !stretch.Drain(header)) return r;
        return kAudioOk;
    }
    stretch.Stretch(header);
    return kAudioOk;
}
