#include "audio/Mp3PlayOperation.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/Mp3Decode.h"
#include "audio/Mp3Part.h"
#include "audio/PlayerBuffers.h"
#include "mp3dec/mp3dec.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {


bool IsWarningOrError(SSC status) { return (status >> 30) >= 2u; }

}  // namespace

CMp3PlayOperation::CMp3PlayOperation() = default;

CMp3PlayOperation::~CMp3PlayOperation() {
    ClosePlayerDeviceQuietly(m_hDevice, m_pHeaders, kBufferCount);
    ReleaseDecoder();
    if (m_file) m_file->Close();
    FreeBuffers();
}

int CMp3PlayOperation::Initialize() {
    m_stretch.Initialize();
    FreeBuffers();
    ReleaseDecoder();
    m_file.reset();
    m_nRangeLength = 0;
    m_format = WaveFormatEx{};
    m_nAllocResult = AllocBuffers();
    m_hDevice = nullptr;
    m_nQueued = 0;
    m_nPlayed = 0;
    m_nBytesPerBuffer = 0;
    m_nStartMs = 0;
    m_nStartByte = -1;
    m_carry.assign(kCarryBytes, 0);
    m_nCarry = 0;
    return kAudioOk;
}

int CMp3PlayOperation::AllocBuffers() {
    return AllocPlayerBuffers(m_pHeaders, m_pBuffers, kBufferCount, kBufferBytes) ? kAudioOk : Fail(kAudioNoMemory);
}

int CMp3PlayOperation::FreeBuffers() {
    FreePlayerBuffers(m_pHeaders, m_pBuffers, kBufferCount);
    return kAudioOk;
}

int CMp3PlayOperation::SetSampleRate(uint32_t rate) {
    m_stretch.SetSampleRate(rate);
    return kAudioOk;
}

int CMp3PlayOperation::SetSpeed(int index) {
    m_nSpeed = index;
    return m_stretch.SetSpeed(index) ? kAudioOk : kAudioFailed;
}

int CMp3PlayOperation::SetRange(uint32_t startMs, uint32_t length) {
    if (length == 0) return kAudioNothingQueued;
    m_nRangeLength = length;
    m_nStartMs = startMs;
    m_nStartByte = -1;
    m_nPlayed = 0;
    return kAudioOk;
}

int CMp3PlayOperation::SetRangeAtByte(uint32_t startByte, uint32_t length) {
    const int r = SetRange(0, length);
    if (r == kAudioOk) m_nStartByte = startByte;
    return r;
}

int CMp3PlayOperation::SetDataFolder(const CString& folder) {
    m_strDataFolder = folder;
    return kAudioOk;
}

int CMp3PlayOperation::OpenFile(const char* path) {
    if (m_file) return Fail(kAudioFileAlreadyOpen);
    if (!path || !*path) return Fail(kAudioEmptyPath);
    m_strPath = path;
    int error = 0;
    m_file = CRiffFile::Open(CString(path), RiffOpenMode::Read, error);
    if (!m_file) return Fail(kAudioMp3OpenFailed);

    // From here on a failure leaves the file and the objects made so far until CloseFile
    // and Stop, as the owners' stop routines expect.
    std::vector<uint8_t> head(kInputBytes);
    int64_t got = 0, audioStart = 0, size = 0;
    if (!ReadMp3Head(*m_file, head, got, audioStart, size)) return Fail(kAudioMp3OpenFailed);

    ReleaseDecoder();
    SSC status = MP3CreateDecoder(&m_pDecoder, 0, 0, 0, 1, 0);
    if (IsWarningOrError(status)) return FailWith(Mp3StatusMessage("MP3Decoderオブジェクトの生成に失敗しました。", status));
    status = MP3CreateDecoderInfo(&m_pInfo);
    if (IsWarningOrError(status))
        return FailWith(Mp3StatusMessage("MP3DecoderInfoオブジェクトの生成に失敗しました。", status));
    if (!m_pInfo->Open(head.data(), static_cast<int>(got), static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX))))
        return FailWith("MP3DecoderInfoオブジェクトの初期化に失敗しました。");

    const MP3StreamInfo* info = m_pInfo->GetInfo();
    // The stretch and the level meter read the buffers as 16-bit mono samples, as every
    // project's audio is; a stream of any other layout would play as noise.
    if (info->channels != 1 || info->sampleRate == 0 || info->sampleRate > 48000) return Fail(kAudioMp3OpenFailed);
    m_format = WaveFormatEx{};
    m_format.wFormatTag = kWaveFormatPcm;
    m_format.nChannels = static_cast<uint16_t>(info->channels);
    m_format.nSamplesPerSec = info->sampleRate;
    m_format.nAvgBytesPerSec = info->sampleRate * info->channels * 2;
    m_format.nBlockAlign = static_cast<uint16_t>(info->channels * 2);
    m_format.wBitsPerSample = 16;
    m_format.cbSize = 0;
    m_nBytesPerBuffer = m_format.nAvgBytesPerSec / 10;
    // The carry takes what is left of a frame once a buffer is full.
    m_carry.assign(std::max<size_t>(kCarryBytes, m_nBytesPerBuffer) + MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, 0);
    m_reader = std::make_unique<CMp3PartReader>(m_pDecoder, m_file.get());

    if (PrimeDecoder(m_pDecoder, m_pInfo) != kAudioOk) return FailWith("MP3Decoderの初期化に失敗しました。");
    return kAudioOk;
}

int CMp3PlayOperation::PrimeDecoder(MP3Decoder* decoder, MP3DecoderInfo* info) {
    return PrimeMp3Decoder(decoder, info, m_strDataFolder);
}

int CMp3PlayOperation::QueryDevice(unsigned deviceId) {
    if (WaveOutQuery(deviceId, PlayerDeviceFormat(m_format)) != MMSYSERR_NOERROR) return Fail(kAudioDeviceQueryFailed);
    return kAudioOk;
}

int CMp3PlayOperation::OpenDevice(unsigned deviceId, IWaveOutOwner* owner) {
    if (m_hDevice) return Fail(kAudioDeviceAlreadyOpen);
    HWAVEOUT device = nullptr;
    if (WaveOutOpen(&device, deviceId, PlayerDeviceFormat(m_format), owner) != MMSYSERR_NOERROR)
        return Fail(kAudioDeviceOpenFailed);
    m_hDevice = device;
    return kAudioOk;
}

int CMp3PlayOperation::Start() {
    if (!m_hDevice) return kAudioOk;
    std::fill(m_carry.begin(), m_carry.end(), 0);
    m_nCarry = 0;
    m_nQueued = 0;
    if (!m_file || !m_pDecoder || !m_pInfo || !m_reader) return Fail(kAudioReadError);
    const uint64_t start = m_nStartByte >= 0
                               ? static_cast<uint64_t>(m_nStartByte)
                               : uint64_t(m_nStartMs) * m_format.nSamplesPerSec / 1000 * m_format.nBlockAlign;
    if (m_reader->Seek(start) != CMp3PartReader::kData) return Fail(kAudioReadError);

    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR* header = m_pHeaders[i];
        if (!header || !m_pBuffers[i]) return Fail(kAudioNoMemory);
        header->lpData = m_pBuffers[i];
        header->dwUser = 0;
        header->dwFlags = 0;
        header->dwLoops = 0;
        if (int r = FillPlayerBuffer(header, m_stretch, [this](WAVEHDR* h) { return DecodeBuffer(h); })) return r;
        if (int r = Queue(m_hDevice, header)) return r;
    }
    return kAudioOk;
}

int CMp3PlayOperation::OnBufferDone(HWAVEOUT device, WAVEHDR* header) {
    if (int r = TakeBackPlayerHeader(device, m_pHeaders, kBufferCount, header, m_nQueued))
        return r == kAudioHeaderNotDone || r == kAudioInvalidHandle ? r : Fail(r);
    --m_nQueued;
    if (int r = FillPlayerBuffer(header, m_stretch, [this](WAVEHDR* h) { return DecodeBuffer(h); })) return r;
    header->dwFlags = 0;
    return Queue(device, header);
}

int CMp3PlayOperation::DecodeBuffer(WAVEHDR* header) {
    const uint32_t want = std::min(m_nBytesPerBuffer, m_nRangeLength - std::min(m_nPlayed, m_nRangeLength));
    if (want < 1) return kAudioNothingQueued;
    if (!m_file || !m_reader) return Fail(kAudioReadError);
    while (m_nCarry < want) {
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        const int r = m_reader->Read(data, bytes);
        if (r == CMp3PartReader::kEnd) break;  // drained: the part ends with what came
        if (r == CMp3PartReader::kFailed) {
            const SSC status = m_reader->Status();
            if (status == SSC_OK) return Fail(kAudioReadError);
            if (SSC_SUCCESS(status))
                return FailWith(Mp3StatusMessage("MP3デコード処理でエラーが発生しました。", status));
            continue;  // other errors: the decoder goes on with the next frame
        }
        std::memcpy(m_carry.data() + m_nCarry, data, bytes);
        m_nCarry += bytes;
    }
    if (m_nCarry == 0) {
        m_nPlayed = m_nRangeLength;
        return kAudioNothingQueued;
    }
    // Every buffer but the last of a part holds exactly 100 ms; the rest waits.
    const uint32_t n = std::min(m_nCarry, want);
    std::memcpy(header->lpData, m_carry.data(), n);
    m_nPlayed += n;
    header->dwBufferLength = n;
    m_nCarry -= n;
    std::memmove(m_carry.data(), m_carry.data() + n, m_nCarry);
    return kAudioOk;
}

int CMp3PlayOperation::Stop() {
    if (!m_hDevice) return kAudioOk;
    if (int r = ResetPlayerDevice(m_hDevice, m_pHeaders, kBufferCount)) return Fail(r);
    m_nQueued = 0;
    m_stretch.Reset();
    ReleaseDecoder();
    return kAudioOk;
}

int CMp3PlayOperation::CloseFile() {
    if (!m_file) return kAudioOk;
    m_reader.reset();
    m_file->Close();
    m_file.reset();
    m_strPath.Empty();
    return kAudioOk;
}

int CMp3PlayOperation::CloseDevice() {
    if (!m_hDevice) return kAudioOk;
    const MMRESULT r = WaveOutClose(m_hDevice);
    m_hDevice = nullptr;
    return r == MMSYSERR_NOERROR ? kAudioOk : Fail(kAudioDeviceCloseFailed);
}

int CMp3PlayOperation::Queue(HWAVEOUT device, WAVEHDR* header) {
    if (WaveOutPrepareHeader(device, header) != MMSYSERR_NOERROR) return Fail(kAudioPrepareFailed);
    if (WaveOutWrite(device, header) != MMSYSERR_NOERROR) return Fail(kAudioWriteFailed);
    ++m_nQueued;
    return kAudioOk;
}

int CMp3PlayOperation::IndexOf(const WAVEHDR* header) const {
    return IndexOfPlayerHeader(m_pHeaders, kBufferCount, header);
}

void CMp3PlayOperation::ReleaseDecoder() {
    m_reader.reset();
    if (m_pInfo) m_pInfo->Release();
    m_pInfo = nullptr;
    if (m_pDecoder) m_pDecoder->Release();
    m_pDecoder = nullptr;
}

int CMp3PlayOperation::Fail(int result) {
    ShowAudioResultMessage(result);
    return result;
}

int CMp3PlayOperation::FailWith(const CString& text) {
    AfxMessageBox(text, MB_OK | MB_ICONWARNING);
    return kAudioFailed;
}
