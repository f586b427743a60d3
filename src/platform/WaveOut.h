#pragma once
// Wave-out playback in the shape the players are written against: the owner prepares
// headers, writes them to an open device, and gets each one back as "done" on the
// user-interface thread, where it refills it and writes it again.
//
// Every function here is called on the user-interface thread. A header's flags are
// only ever changed on that thread, so the owner may read them without locks.

#include <cstdint>
#include <memory>

// Results, with the values of the original platform's multimedia services.
using MMRESULT = unsigned int;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;        // unspecified failure of the device
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // no device with that id
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;    // the device is busy
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;  // not an open device
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;     // the machine has no output device
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;     // the device does not play the format
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;  // headers are still queued
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;    // the header was not prepared

// The device id that means "whatever the system plays through".
inline constexpr unsigned WAVE_MAPPER = 0xFFFFFFFFu;

// Header flags.
inline constexpr uint32_t WHDR_DONE = 0x01;      // handed back to the owner
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_BEGINLOOP = 0x04;  // kept for layout; loops are not played
inline constexpr uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;    // written and not yet handed back

// One buffer of audio on its way to the device. The owner keeps it (and its data)
// alive and unchanged from the write until it comes back done.
struct WAVEHDR {
    char* lpData;
    uint32_t dwBufferLength;   // bytes of audio in lpData
    uint32_t dwBytesRecorded;  // unused for output
    uintptr_t dwUser;          // the owner's own word
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};

// PCM only: the players hand over what the file's header says and the device decides.
inline constexpr uint16_t kWaveOutPcm = 1;
struct WaveOutFormat {
    uint16_t formatTag = kWaveOutPcm;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 0;
    uint16_t bitsPerSample = 16;
};
// Bytes of one sample frame (all channels).
inline uint32_t WaveOutBlockAlign(const WaveOutFormat& f) { return f.channels * (f.bitsPerSample / 8u); }
// WAVERR_BADFORMAT unless it is PCM of 8 or 16 bits, 1 or 2 channels, 1000 to 192000 Hz.
MMRESULT WaveOutCheckFormat(const WaveOutFormat& format);

// An open device, as the owner sees it. Handles are never reused within a process, so
// a handle of a closed device stays invalid for good.
using HWAVEOUT = struct WaveOutHandle*;

// Receives finished headers, always on the user-interface thread. A header comes back
// when it has been played or when a reset returned it; after a reset the owner may
// meet a header that is no longer prepared and must leave it alone.
class IWaveOutOwner {
public:
    virtual void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) = 0;

    // The layer's check that the owner still exists: notifications that arrive after
    // the owner was destroyed are dropped.
    std::weak_ptr<void> WaveOutOwnerToken() const { return m_alive; }

protected:
    IWaveOutOwner() : m_alive(std::make_shared<char>()) {}
    IWaveOutOwner(const IWaveOutOwner&) : m_alive(std::make_shared<char>()) {}
    IWaveOutOwner& operator=(const IWaveOutOwner&) { return *this; }
    virtual ~IWaveOutOwner() = default;

private:
    std::shared_ptr<void> m_alive;
};

// 0 when device `deviceId` (WAVE_MAPPER or 0 .. n-1) plays `format`; else
// MMSYSERR_NODRIVER (no output device at all), MMSYSERR_BADDEVICEID or WAVERR_BADFORMAT.
MMRESULT WaveOutQuery(unsigned deviceId, const WaveOutFormat& format);
// Opens the device for `format`; finished headers go to `owner` (null: nobody is told).
// The results of WaveOutQuery, and MMSYSERR_ALLOCATED, MMSYSERR_NOMEM, MMSYSERR_ERROR.
MMRESULT WaveOutOpen(HWAVEOUT* device, unsigned deviceId, const WaveOutFormat& format, IWaveOutOwner* owner);
// Marks the header prepared; a prepared header stays so.
MMRESULT WaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header);
// WAVERR_STILLPLAYING while the header is queued; an unprepared header stays so.
MMRESULT WaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header);
// Queues the header behind those already written: WAVERR_UNPREPARED, WAVERR_STILLPLAYING.
MMRESULT WaveOutWrite(HWAVEOUT device, WAVEHDR* header);
// Stops at once. Every queued header is marked done before this returns, and each is
// reported to the owner afterwards, in the order written.
MMRESULT WaveOutReset(HWAVEOUT device);
// WAVERR_STILLPLAYING while headers are queued (reset first). Reports not yet delivered
// are dropped.
MMRESULT WaveOutClose(HWAVEOUT device);

// Where devices come from. The default is the sound card through PortAudio; tests
// install a CVirtualWaveOut. Switch only while no device is open.
class IWaveOutBackend;
void SetWaveOutBackend(IWaveOutBackend* backend);  // null: the sound card
IWaveOutBackend& GetWaveOutBackend();
