#include "platform/WaveOutPortAudio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <portaudio.h>

namespace {

// Streams open now; PortAudio may only be restarted while there are none.
std::atomic<int> g_openStreams{0};

// One open device: a blocking PortAudio stream and the thread that writes into it.
// The writer copies each piece out of the header under the lock before writing it,
// so a reset may hand the header back while a write is still under way.
class CPortAudioWaveOutDevice final : public CWaveOutDevice {
public:
    CPortAudioWaveOutDevice(const WaveOutFormat& format, PaStream* stream)
        : CWaveOutDevice(format), m_stream(stream), m_frameBytes(WaveOutBlockAlign(format)) {
        ++g_openStreams;
        // Pieces of 20 ms: a reset waits for at most one of them.
        const size_t frames = std::max<size_t>(64, format.samplesPerSec / 50);
        m_scratch.resize(frames * m_frameBytes);
        const PaStreamInfo* info = Pa_GetStreamInfo(stream);
        m_drain = std::chrono::duration<double>(std::min(info ? info->outputLatency : 0.1, 0.5));
        m_writer = std::thread([this] { Run(); });
    }

    ~CPortAudioWaveOutDevice() override { CloseOutput(); }

protected:
    void StopOutputLocked(std::unique_lock<std::mutex>& lock) override {
        m_abort = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_abort; });
    }

    void CloseOutput() override {
        if (!m_writer.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_writer.join();
        Pa_CloseStream(m_stream);
        --g_openStreams;
    }

private:
    void Run();
    // Holds the writer as long as `bytes` would take to play, when the stream fails:
    // the owner then still gets its headers back at the pace of playback.
    void WaitAsIfPlayed(size_t bytes) const {
        const double seconds = static_cast<double>(bytes / m_frameBytes) / Format().samplesPerSec;
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }

    PaStream* m_stream;
    size_t m_frameBytes;
    std::vector<char> m_scratch;
    std::chrono::duration<double> m_drain{};
    std::thread m_writer;
    bool m_quit = false;   // under m_mutex
    bool m_abort = false;  // under m_mutex: a reset waits for the writer to drop the stream's contents
};

void CPortAudioWaveOutDevice::Run() {
    bool running = false;  // the stream is started; only this thread touches it
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_abort || FrontQueuedLocked(); });
        if (m_quit) break;
        if (m_abort) {
            lock.unlock();
            if (running) Pa_AbortStream(m_stream);
            running = false;
            lock.lock();
            m_abort = false;
            m_changed.notify_all();
            continue;
        }

        Entry* entry = FrontQueuedLocked();
        const uint64_t ticket = entry->ticket;
        const size_t bytes = std::min(entry->size - entry->consumed, m_scratch.size());
        if (bytes) std::memcpy(m_scratch.data(), entry->data + entry->consumed, bytes);
        lock.unlock();
        if (bytes) {
            bool ok = running || Pa_StartStream(m_stream) == paNoError;
            running = ok;
            if (ok) {
                // An underflow while the owner was late is reported after the fact; the
                // piece itself was written.
                const PaError e = Pa_WriteStream(m_stream, m_scratch.data(), bytes / m_frameBytes);
                ok = e == paNoError || e == paOutputUnderflowed;
            }
            if (!ok) WaitAsIfPlayed(bytes);
        }
        lock.lock();

        entry = FindLocked(ticket);
        if (!entry || entry->finished) continue;  // a reset took it meanwhile
        entry->consumed += bytes;
        if (entry->consumed < entry->size) continue;
        FinishLocked(*entry, false);
        if (FrontQueuedLocked()) {
            PostLocked(*entry);
            continue;
        }
        // The last header queued: the write returned when the stream took it, not when
        // it was heard. Report it once the stream has played it out, so that an owner
        // who stops at the end of its range does not cut off the tail.
        m_changed.wait_for(lock, m_drain, [this] { return m_quit || m_abort || FrontQueuedLocked(); });
        entry = FindLocked(ticket);
        if (entry && !entry->posted) PostLocked(*entry);
        if (running && !m_quit && !m_abort && !FrontQueuedLocked()) {
            // Idle: stop rather than run into underflows until the next range.
            lock.unlock();
            Pa_StopStream(m_stream);
            running = false;
            lock.lock();
        }
    }
    lock.unlock();
    if (running) Pa_AbortStream(m_stream);
}

class CPortAudioBackend final : public IWaveOutBackend {
public:
    MMRESULT Query(unsigned deviceId, const WaveOutFormat& format) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        PaStreamParameters params;
        if (MMRESULT r = Parameters(deviceId, format, params)) return r;
        return Pa_IsFormatSupported(nullptr, &params, format.samplesPerSec) == paFormatIsSupported ? MMSYSERR_NOERROR
                                                                                                 : WAVERR_BADFORMAT;
    }

    MMRESULT Open(unsigned deviceId, const WaveOutFormat& format, std::unique_ptr<CWaveOutDevice>& device) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        PaStreamParameters params;
        if (MMRESULT r = Parameters(deviceId, format, params)) return r;
        PaStream* stream = nullptr;
        const PaError e = Pa_OpenStream(&stream, nullptr, &params, format.samplesPerSec, paFramesPerBufferUnspecified,
                                        paClipOff | paDitherOff, nullptr, nullptr);
        switch (e) {
        case paNoError: break;
        case paInvalidSampleRate:
        case paSampleFormatNotSupported:
        case paInvalidChannelCount: return WAVERR_BADFORMAT;
        case paInsufficientMemory: return MMSYSERR_NOMEM;
        case paDeviceUnavailable: return MMSYSERR_ALLOCATED;
        default: return MMSYSERR_ERROR;
        }
        device = std::make_unique<CPortAudioWaveOutDevice>(format, stream);
        return MMSYSERR_NOERROR;
    }

private:
    // Starts PortAudio; when the last look found no output device and no stream is
    // open, looks again (a sound server or a card may have come up since).
    MMRESULT Start() {
        if (m_started && m_defaultDevice == paNoDevice && g_openStreams == 0) {
            Pa_Terminate();
            m_started = false;
        }
        if (!m_started) {
            if (Pa_Initialize() != paNoError) return MMSYSERR_NODRIVER;
            m_started = true;
            const PaHostApiIndex alsa = Pa_HostApiTypeIdToHostApiIndex(paALSA);
            const PaHostApiInfo* api = alsa >= 0 ? Pa_GetHostApiInfo(alsa) : nullptr;
            m_alsa = alsa;
            m_defaultDevice = api ? api->defaultOutputDevice : paNoDevice;
        }
        return m_defaultDevice == paNoDevice ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
    }

    // WAVE_MAPPER: ALSA's default output; n: the n-th ALSA device that has outputs.
    MMRESULT Parameters(unsigned deviceId, const WaveOutFormat& format, PaStreamParameters& params) {
        if (MMRESULT r = Start()) return r;
        PaDeviceIndex index = paNoDevice;
        if (deviceId == WAVE_MAPPER) {
            index = m_defaultDevice;
        } else {
            unsigned seen = 0;
            for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount() && index == paNoDevice; ++i) {
                const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
                if (info && info->hostApi == m_alsa && info->maxOutputChannels > 0 && seen++ == deviceId) index = i;
            }
            if (index == paNoDevice) return MMSYSERR_BADDEVICEID;
        }
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        if (!info) return MMSYSERR_BADDEVICEID;
        params.device = index;
        params.channelCount = format.channels;
        params.sampleFormat = format.bitsPerSample == 8 ? paUInt8 : paInt16;
        // The generous latency: ten buffers of 100 ms are queued ahead anyway.
        params.suggestedLatency = info->defaultHighOutputLatency;
        params.hostApiSpecificStreamInfo = nullptr;
        return MMSYSERR_NOERROR;
    }

    std::mutex m_mutex;
    bool m_started = false;
    PaHostApiIndex m_alsa = -1;
    PaDeviceIndex m_defaultDevice = paNoDevice;
};

}  // namespace

IWaveOutBackend& PortAudioWaveOut() {
    // Never destroyed: devices still open at exit close their streams after static
    // destruction has begun, and PortAudio must still be there for them.
    static CPortAudioBackend* backend = new CPortAudioBackend;
    return *backend;
}
