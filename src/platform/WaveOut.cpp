#include "platform/WaveOut.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/WaveOutDevice.h"
#include "platform/WaveOutPortAudio.h"

namespace {

// Open devices by handle. A handle is a number drawn once per open and never again,
// the device's generation: a report or a call that names a closed device finds
// nothing, even when a later device lives at the same address.
struct Registry {
    std::mutex mutex;
    std::map<uintptr_t, std::unique_ptr<CWaveOutDevice>> devices;
    uintptr_t nextGeneration = 1;
};

Registry& Devices() {
    static Registry registry;
    return registry;
}

std::atomic<IWaveOutBackend*> g_backend{nullptr};

uintptr_t Key(HWAVEOUT handle) { return reinterpret_cast<uintptr_t>(handle); }

// The device stays alive while the caller uses it: only the user-interface thread
// closes devices, and it is the thread that calls.
CWaveOutDevice* Find(HWAVEOUT handle) {
    Registry& registry = Devices();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.devices.find(Key(handle));
    return it == registry.devices.end() ? nullptr : it->second.get();
}

}  // namespace

MMRESULT WaveOutCheckFormat(const WaveOutFormat& format) {
    if (format.formatTag != kWaveOutPcm) return WAVERR_BADFORMAT;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return WAVERR_BADFORMAT;
    if (format.channels < 1 || format.channels > 2) return WAVERR_BADFORMAT;
    if (format.samplesPerSec < 1000 || format.samplesPerSec > 192000) return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutQuery(unsigned deviceId, const WaveOutFormat& format) {
    if (MMRESULT r = WaveOutCheckFormat(format)) {
        // A machine without a device says so whatever the format.
        MMRESULT device = GetWaveOutBackend().Query(deviceId, WaveOutFormat{kWaveOutPcm, 1, 44100, 16});
        return device == MMSYSERR_NODRIVER || device == MMSYSERR_BADDEVICEID ? device : r;
    }
    return GetWaveOutBackend().Query(deviceId, format);
}

MMRESULT WaveOutOpen(HWAVEOUT* device, unsigned deviceId, const WaveOutFormat& format, IWaveOutOwner* owner) {
    if (!device) return MMSYSERR_INVALPARAM;
    *device = nullptr;
    if (MMRESULT r = WaveOutQuery(deviceId, format)) return r;
    std::unique_ptr<CWaveOutDevice> opened;
    if (MMRESULT r = GetWaveOutBackend().Open(deviceId, format, opened)) return r;
    if (!opened) return MMSYSERR_ERROR;

    Registry& registry = Devices();
    std::lock_guard<std::mutex> lock(registry.mutex);
    uintptr_t key = registry.nextGeneration++;
    HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(key);
    opened->Attach(handle, owner);
    registry.devices.emplace(key, std::move(opened));
    *device = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header) {
    if (!Find(device)) return MMSYSERR_INVALHANDLE;
    if (!header || (!header->lpData && header->dwBufferLength)) return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header) {
    if (!Find(device)) return MMSYSERR_INVALHANDLE;
    if (!header) return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutWrite(HWAVEOUT device, WAVEHDR* header) {
    CWaveOutDevice* open = Find(device);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (!header || (!header->lpData && header->dwBufferLength)) return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    return open->Write(header);
}

MMRESULT WaveOutReset(HWAVEOUT device) {
    CWaveOutDevice* open = Find(device);
    return open ? open->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutClose(HWAVEOUT device) {
    CWaveOutDevice* open = Find(device);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = open->Close()) return r;
    std::unique_ptr<CWaveOutDevice> closed;
    {
        Registry& registry = Devices();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.devices.find(Key(device));
        closed = std::move(it->second);
        registry.devices.erase(it);
    }
    return MMSYSERR_NOERROR;  // `closed` is destroyed here, outside the registry's lock
}

void WaveOutDeliverReport(HWAVEOUT handle, uint64_t ticket) {
    CWaveOutDevice* device = Find(handle);
    if (!device) return;
    WAVEHDR* header = nullptr;
    IWaveOutOwner* owner = nullptr;
    if (device->TakeReport(ticket, header, owner)) owner->OnWaveOutDone(handle, header);
}

void SetWaveOutBackend(IWaveOutBackend* backend) { g_backend.store(backend); }

IWaveOutBackend& GetWaveOutBackend() {
    if (IWaveOutBackend* backend = g_backend.load()) return *backend;
    return PortAudioWaveOut();
}
