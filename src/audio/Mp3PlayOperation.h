#pragma once
// Player of MP3 projects: plays part of an MP3 file, decoded on the fly, over the wave-out
// device at one of eight speeds. It works as the WAV player does (ten buffers of 100 ms,
// the same states, speeds and results; see CWavePlayOperation); what differs is where the
// samples come from: the part starts at a time in milliseconds or at a byte of the decoded
// 16-bit stream, and is decoded from there exactly as a decode of the whole file gives it
// (see CMp3PartReader); its length counts bytes of the decoded stream. Each
// buffer gets exactly 100 ms of decoded audio; the rest of a decoded frame waits in a
// carry buffer for the next one.
//
// To play a part: SetDataFolder (the priming streams' folder), SetSampleRate, SetSpeed,
// SetRange, OpenFile, QueryDevice, OpenDevice, Start; OnBufferDone for every finished
// buffer; to end: Stop, CloseFile, CloseDevice.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/AudioResult.h"
#include "audio/PlayerStretch.h"
#include "audio/WaveFormat.h"
#include "platform/CString.h"
#include "platform/WaveOut.h"

class CMp3PartReader;
class CRiffFile;
class MP3Decoder;
class MP3DecoderInfo;

class CMp3PlayOperation {
public:
    static constexpr int kBufferCount = 10;
    static constexpr uint32_t kBufferBytes = 117600;
    static constexpr int kInputBytes = 8192;
    static constexpr uint32_t kCarryBytes = 8820;

    CMp3PlayOperation();
    virtual ~CMp3PlayOperation();
    CMp3PlayOperation(const CMp3PlayOperation&) = delete;
    CMp3PlayOperation& operator=(const CMp3PlayOperation&) = delete;

    int Initialize();
    int AllocBuffers();
    int FreeBuffers();

    int SetSampleRate(uint32_t rate);
    int SetSpeed(int index);
    // Start in milliseconds, length in bytes of decoded audio; length 0: 37.
    int SetRange(uint32_t startMs, uint32_t length);
    // The same with the start in bytes of the decoded stream, the unit of a phrase's start:
    // a millisecond holds 22.05 samples at 22050 Hz, so only bytes place a phrase exactly.
    int SetRangeAtByte(uint32_t startByte, uint32_t length);
    // The folder of the priming streams, ending with "/".
    int SetDataFolder(const CString& folder);

    int OpenFile(const char* path);
    int QueryDevice(unsigned deviceId);
    int OpenDevice(unsigned deviceId, IWaveOutOwner* owner);
    int Start();
    int OnBufferDone(HWAVEOUT device, WAVEHDR* header);

    // Also releases the decoder objects.
    int Stop();
    int CloseFile();
    int CloseDevice();

    int GetDeviceState() const { return m_hDevice ? kAudioDeviceOpen : kAudioNoDevice; }
    int GetPlayState() const { return m_nQueued != 0 ? kAudioDeviceOpen : kAudioNothingQueued; }
    const CString& GetPath() const { return m_strPath; }
    int GetSpeed() const { return m_nSpeed; }

private:
    int DecodeBuffer(WAVEHDR* header);
    int PrimeDecoder(MP3Decoder* decoder, MP3DecoderInfo* info);
    int Queue(HWAVEOUT device, WAVEHDR* header);
    int IndexOf(const WAVEHDR* header) const;
    void ReleaseDecoder();
    int Fail(int result);
    int FailWith(const CString& text);  // a message of the decoder's own, then 1

    int m_nAllocResult = kAudioOk;
    WAVEHDR* m_pHeaders[kBufferCount] = {};
    char* m_pBuffers[kBufferCount] = {};
    std::unique_ptr<CRiffFile> m_file;
    MP3Decoder* m_pDecoder = nullptr;
    MP3DecoderInfo* m_pInfo = nullptr;
    uint32_t m_nRangeLength = 0;
    WaveFormatEx m_format{};
    HWAVEOUT m_hDevice = nullptr;
    uint32_t m_nQueued = 0;
    uint32_t m_nPlayed = 0;
    uint32_t m_nBytesPerBuffer = 0;
    CPlayerStretch m_stretch{kBufferBytes};
    int m_nSpeed = 0;
    uint32_t m_nStartMs = 0;
    int64_t m_nStartByte = -1;      // set by SetRangeAtByte; -1: the start is m_nStartMs
    std::unique_ptr<CMp3PartReader> m_reader;
    std::vector<uint8_t> m_carry;   // decoded bytes waiting for the next buffer
    uint32_t m_nCarry = 0;
    CString m_strDataFolder;
    CString m_strPath;
};
