#pragma once
// Player of PCM projects: plays a byte range of a WAV file's samples over the wave-out
// device at one of eight speeds. Ten buffers of 100 ms are kept in flight; the device
// hands each finished buffer to the owner on the user-interface thread, and the owner
// gives it back through OnBufferDone, which refills it with the next 100 ms (stretched
// at speeds other than x1.00) and queues it again.
//
// Results are AudioResult values; the player shows the message of a failure itself
// (AudioResult.h says which come without one) and changes nothing more, so an owner
// gets back to idle with Stop, CloseFile and CloseDevice.
//
// To play a range: SetSampleRate, SetSpeed, SetRange, OpenFile, QueryDevice,
// OpenDevice, Start; then OnBufferDone for every finished buffer; to end: Stop,
// CloseFile, CloseDevice. While the file and the device stay open, a further range of
// the same file plays with SetRange and Start alone once GetPlayState is 37.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/AudioResult.h"
#include "audio/PlayerStretch.h"
#include "audio/WaveFormat.h"
#include "platform/CString.h"
#include "platform/WaveOut.h"

class CRiffFile;

class CWavePlayOperation {
public:
    static constexpr int kBufferCount = 10;
    // Room for the longest buffer a refill can produce: 100 ms of the stretch's output
    // at the slowest speed stays far below it.
    static constexpr uint32_t kBufferBytes = 117600;

    CWavePlayOperation();
    // Stops and closes a device that is still open (without messages: the owner is
    // going away) before the buffers it plays from are released.
    virtual ~CWavePlayOperation();
    CWavePlayOperation(const CWavePlayOperation&) = delete;
    CWavePlayOperation& operator=(const CWavePlayOperation&) = delete;

    // Once, before anything else: creates the stretch and the buffers. The result of
    // the buffer allocation is kept, not returned.
    int Initialize();
    int AllocBuffers();  // 14 when a header or buffer cannot be had
    int FreeBuffers();

    // The project's rate; it selects the stretch's output counts.
    int SetSampleRate(uint32_t rate);
    // 1 to 8 (x0.75 .. x3.00); the index is kept even when it is out of range (then 1).
    int SetSpeed(int index);
    // Bytes from the first byte of the data chunk; length 0: 37 and nothing changes.
    int SetRange(uint32_t start, uint32_t length);

    int OpenFile(const char* path);
    int QueryDevice(unsigned deviceId);
    // Finished buffers go to `owner`, which hands each to OnBufferDone.
    int OpenDevice(unsigned deviceId, IWaveOutOwner* owner);
    // Queues up to ten buffers of the range; 37 when the range ended before ten were
    // filled (what was queued plays on).
    int Start();
    // With the device and header the owner was handed. 29 (silent, nothing changes)
    // for a header that is not both done and prepared, as after Stop; 37 when the range
    // is used up and the header stays idle.
    int OnBufferDone(HWAVEOUT device, WAVEHDR* header);

    // Keeps the file and the device open.
    int Stop();
    int CloseFile();
    int CloseDevice();

    int GetDeviceState() const { return m_hDevice ? kAudioDeviceOpen : kAudioNoDevice; }
    int GetPlayState() const { return m_nQueued != 0 ? kAudioDeviceOpen : kAudioNothingQueued; }
    // Path of the open file; empty when none is open.
    const CString& GetPath() const { return m_strPath; }
    int GetSpeed() const { return m_nSpeed; }

    // Peak of the header's 16-bit samples in whole dB: 0 at full scale, -96 for silence.
    static int GetPeakLevel(const WAVEHDR* header);

private:
    // The bytes of 100 ms, in whole frames, or 0 when the buffers cannot hold the
    // format: only 16-bit mono PCM is stretched, and 100 ms must fit one buffer.
    static uint32_t BytesPerBuffer(const WaveFormatEx& format);
    int ReadBuffer(WAVEHDR* header);
    // Prepares and writes a filled header; 26 or 27 with their messages.
    int Queue(HWAVEOUT device, WAVEHDR* header);
    int IndexOf(const WAVEHDR* header) const;
    int Fail(int result);  // shows the result's message and returns it

    int m_nAllocResult = kAudioOk;
    WAVEHDR* m_pHeaders[kBufferCount] = {};
    char* m_pBuffers[kBufferCount] = {};
    std::unique_ptr<CRiffFile> m_file;
    uint64_t m_nEndPosition = 0;   // range start + length (64 bits: no wrap-around)
    WaveFormatEx m_format{};
    HWAVEOUT m_hDevice = nullptr;
    uint32_t m_nQueued = 0;
    uint64_t m_nReadPosition = 0;
    uint32_t m_nBytesPerBuffer = 0;
    int64_t m_nDataOffset = 0;
    uint64_t m_nDataSize = 0;      // what the data chunk claims; reads stop there
    CPlayerStretch m_stretch{kBufferBytes};
    int m_nSpeed = 0;
    CString m_strPath;
};
