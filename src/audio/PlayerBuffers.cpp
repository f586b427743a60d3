#include "audio/PlayerBuffers.h"

#include <new>

bool AllocPlayerBuffers(WAVEHDR** headers, char** buffers, int count, uint32_t bytes) {
    for (int i = 0; i < count; ++i) {
        if (!headers[i]) headers[i] = new (std::nothrow) WAVEHDR{};
        if (!headers[i]) return false;
        if (!buffers[i]) buffers[i] = new (std::nothrow) char[bytes]();
        if (!buffers[i]) return false;
    }
    return true;
}

void FreePlayerBuffers(WAVEHDR** headers, char** buffers, int count) {
    for (int i = 0; i < count; ++i) {
        delete headers[i];
        headers[i] = nullptr;
        delete[] buffers[i];
        buffers[i] = nullptr;
    }
}

int IndexOfPlayerHeader(WAVEHDR* const* headers, int count, const WAVEHDR* header) {
    if (!header) return -1;
    for (int i = 0; i < count; ++i)
        if (headers[i] == header) return i;
    return -1;
}

WaveOutFormat PlayerDeviceFormat(const WaveFormatEx& format) {
    WaveOutFormat device;
    device.formatTag = format.wFormatTag;
    device.channels = format.nChannels;
    device.samplesPerSec = format.nSamplesPerSec;
    device.bitsPerSample = format.wBitsPerSample;
    return device;
}

int TakeBackPlayerHeader(HWAVEOUT device, WAVEHDR* const* headers, int count, WAVEHDR* header, int queued) {
    if (IndexOfPlayerHeader(headers, count, header) < 0) return kAudioHeaderNotDone;
    if ((header->dwFlags & (WHDR_DONE | WHDR_PREPARED)) != (WHDR_DONE | WHDR_PREPARED)) return kAudioHeaderNotDone;
    if (queued == 0) return kAudioNoQueuedBuffer;
    const MMRESULT r = WaveOutUnprepareHeader(device, header);
    if (r == MMSYSERR_INVALHANDLE) return kAudioInvalidHandle;
    return r == MMSYSERR_NOERROR ? kAudioOk : kAudioUnprepareFailed;
}

int ResetPlayerDevice(HWAVEOUT device, WAVEHDR* const* headers, int count) {
    if (WaveOutReset(device) != MMSYSERR_NOERROR) return kAudioResetFailed;
    for (int i = 0; i < count; ++i) {
        WAVEHDR* header = headers[i];
        if (!header || (header->dwFlags & (WHDR_DONE | WHDR_PREPARED)) != (WHDR_DONE | WHDR_PREPARED)) continue;
        if (WaveOutUnprepareHeader(device, header) != MMSYSERR_NOERROR) return kAudioUnprepareFailed;
    }
    return kAudioOk;
}

void ClosePlayerDeviceQuietly(HWAVEOUT& device, WAVEHDR* const* headers, int count) {
    if (!device) return;
    WaveOutReset(device);
    for (int i = 0; i < count; ++i)
        if (headers[i]) WaveOutUnprepareHeader(device, headers[i]);
    WaveOutClose(device);
    device = nullptr;
}
