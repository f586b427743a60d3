#include "audio/WavePlayOperation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio/PlayerBuffers.h"
#include "platform/Riff.h"

namespace {

constexpr uint32_t kFormWave = RiffFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kChunkFmt = RiffFourCC('f', 'm', 't', ' ');
constexpr uint32_t kChunkData = RiffFourCC('d', 'a', 't', 'a');

int16_t SampleAt(const char* data, uint32_t index) {
    int16_t sample;
    std::memcpy(&sample, data + 2 * static_cast<size_t>(index), sizeof sample);
    return sample;
}

}  // namespace

CWavePlayOperation::CWavePlayOperation() = default;

CWavePlayOperation::~CWavePlayOperation() {
    ClosePlayerDeviceQuietly(m_hDevice, m_pHeaders, kBufferCount);
    if (m_file) m_file->Close();
    FreeBuffers();
}

int CWavePlayOperation::Initialize() {
    m_stretch.Initialize();
    FreeBuffers();
    m_file.reset();
    m_nEndPosition = 0;
    m_format = WaveFormatEx{};
    // The buffers come from the free store, which cannot be missing as a private heap
    // could; 12 is never returned here.
    m_nAllocResult = AllocBuffers();
    m_hDevice = nullptr;
    m_nQueued = 0;
    m_nReadPosition = 0;
    m_nBytesPerBuffer = 0;
    m_nDataOffset = 0;
    m_nDataSize = 0;
    return kAudioOk;
}

int CWavePlayOperation::AllocBuffers() {
    return AllocPlayerBuffers(m_pHeaders, m_pBuffers, kBufferCount, kBufferBytes) ? kAudioOk : Fail(kAudioNoMemory);
}

int CWavePlayOperation::FreeBuffers() {
    FreePlayerBuffers(m_pHeaders, m_pBuffers, kBufferCount);
    return kAudioOk;
}

int CWavePlayOperation::SetSampleRate(uint32_t rate) {
    m_stretch.SetSampleRate(rate);
    return kAudioOk;
}

int CWavePlayOperation::SetSpeed(int index) {
    m_nSpeed = index;
    return m_stretch.SetSpeed(index) ? kAudioOk : kAudioFailed;
}

int CWavePlayOperation::SetRange(uint32_t start, uint32_t length) {
    if (length == 0) return kAudioNothingQueued;
    m_nReadPosition = start;
    m_nEndPosition = static_cast<uint64_t>(start) + length;
    return kAudioOk;
}

uint32_t CWavePlayOperation::BytesPerBuffer(const WaveFormatEx& format) {
    // The stretch and the peak measure read the buffers as 16-bit mono samples; any
    // other layout would be played as noise at the wrong speed.
    if (format.wFormatTag != kWaveFormatPcm || format.nChannels != 1 || format.wBitsPerSample != 16) return 0;
    // From the rate, never from the header's own bytes-per-second field: a damaged or
    // foreign header must not decide how much is read into a buffer.
    const uint32_t align = WaveBlockAlign(format);
    const uint64_t bytes = static_cast<uint64_t>(WaveBytesPerSecond(format)) / 10 / align * align;
    if (bytes < align || bytes > kBufferBytes) return 0;
    return static_cast<uint32_t>(bytes);
}

int CWavePlayOperation::OpenFile(const char* path) {
    if (m_file) return Fail(kAudioFileAlreadyOpen);
    if (!path || !*path) return Fail(kAudioEmptyPath);

    int error = 0;
    m_file = CRiffFile::Open(CString(path), RiffOpenMode::Read, error);
    if (!m_file) return Fail(kAudioCannotOpenFile);
    m_strPath = path;

    // From here on a failure leaves the file open until CloseFile, as the owners'
    // stop routines expect.
    RiffChunk riff;
    riff.formType = kFormWave;
    if (m_file->Descend(riff, nullptr, kRiffFindRiff) != kRiffOk) return Fail(kAudioNoRiffChunk);
    RiffChunk fmt;
    fmt.id = kChunkFmt;
    if (m_file->Descend(fmt, &riff, kRiffFindChunk) != kRiffOk) return Fail(kAudioNoFmtChunk);

    m_format = WaveFormatEx{};
    const int64_t wanted = std::min<uint32_t>(fmt.size, sizeof m_format);
    if (m_file->Read(&m_format, wanted) != wanted) return Fail(kAudioCannotReadFormat);
    if (m_file->Ascend(fmt) != kRiffOk) return Fail(kAudioNoDataChunk);

    RiffChunk data;
    data.id = kChunkData;
    if (m_file->Descend(data, &riff, kRiffFindChunk) != kRiffOk) return Fail(kAudioNoDataChunk);
    m_nDataOffset = data.dataOffset;
    m_nDataSize = data.size;

    m_nBytesPerBuffer = BytesPerBuffer(m_format);
    if (m_nBytesPerBuffer == 0) return Fail(kAudioCannotOpenFile);
    return kAudioOk;
}

int CWavePlayOperation::QueryDevice(unsigned deviceId) {
    if (WaveOutQuery(deviceId, PlayerDeviceFormat(m_format)) != MMSYSERR_NOERROR) return Fail(kAudioDeviceQueryFailed);
    return kAudioOk;
}

int CWavePlayOperation::OpenDevice(unsigned deviceId, IWaveOutOwner* owner) {
    if (m_hDevice) return Fail(kAudioDeviceAlreadyOpen);
    HWAVEOUT device = nullptr;
    if (WaveOutOpen(&device, deviceId, PlayerDeviceFormat(m_format), owner) != MMSYSERR_NOERROR)
        return Fail(kAudioDeviceOpenFailed);
    m_hDevice = device;
    return kAudioOk;
}

int CWavePlayOperation::Start() {
    if (!m_hDevice) return kAudioOk;
    m_nQueued = 0;
    if (!m_file || m_file->Seek(m_nDataOffset + static_cast<int64_t>(m_nReadPosition), SEEK_SET) < 0)
        return Fail(kAudioReadError);

    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR* header = m_pHeaders[i];
        if (!header || !m_pBuffers[i]) return Fail(kAudioNoMemory);
        header->lpData = m_pBuffers[i];
        header->dwUser = 0;
        header->dwFlags = 0;
        header->dwLoops = 0;
        if (int r = FillPlayerBuffer(header, m_stretch, [this](WAVEHDR* h) { return ReadBuffer(h); })) return r;
        if (int r = Queue(m_hDevice, header)) return r;
    }
    return kAudioOk;
}

int CWavePlayOperation::OnBufferDone(HWAVEOUT device, WAVEHDR* header) {
    if (int r = TakeBackPlayerHeader(device, m_pHeaders, kBufferCount, header, m_nQueued))
        return r == kAudioHeaderNotDone || r == kAudioInvalidHandle ? r : Fail(r);
    --m_nQueued;
    if (int r = FillPlayerBuffer(header, m_stretch, [this](WAVEHDR* h) { return ReadBuffer(h); })) return r;
    header->dwFlags = 0;
    return Queue(device, header);
}

int CWavePlayOperation::Stop() {
    if (!m_hDevice) return kAudioOk;
    if (int r = ResetPlayerDevice(m_hDevice, m_pHeaders, kBufferCount)) return Fail(r);
    m_nQueued = 0;
    m_stretch.Reset();
    return kAudioOk;
}

int CWavePlayOperation::CloseFile() {
    if (!m_file) return kAudioOk;
    const int r = m_file->Close();
    m_file.reset();
    m_strPath.Empty();
    return r == kRiffOk ? kAudioOk : kAudioCloseFileFailed;
}

int CWavePlayOperation::CloseDevice() {
    if (!m_hDevice) return kAudioOk;
    const MMRESULT r = WaveOutClose(m_hDevice);
    m_hDevice = nullptr;
    return r == MMSYSERR_NOERROR ? kAudioOk : Fail(kAudioDeviceCloseFailed);
}

int CWavePlayOperation::GetPeakLevel(const WAVEHDR* header) {
    if (!header || !header->lpData) return -96;
    const uint32_t count = header->dwBufferLength / 2;
    int least = 0, greatest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int sample = SampleAt(header->lpData, i);
        least = std::min(least, sample);
        greatest = std::max(greatest, sample);
    }
    // The negative side reaches one step further, so each side has its own full scale.
    const double peak = -least > greatest ? -least * 3.0517578125e-05 : greatest / 32767.0;
    if (!(peak > 0.0)) return -96;
    return static_cast<int>(20.0 * std::log10(peak));
}

int CWavePlayOperation::ReadBuffer(WAVEHDR* header) {
    // The range ends at the end of the data chunk too: what follows it in the file
    // (a list of tags, say) is not sound.
    const uint64_t end = std::min(m_nEndPosition, m_nDataSize);
    if (m_nReadPosition >= end) return kAudioNothingQueued;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_nBytesPerBuffer, end - m_nReadPosition));
    if (n < 1) return kAudioNothingQueued;
    if (!m_file) return Fail(kAudioReadError);
    const int64_t got = m_file->Read(header->lpData, n);
    if (got < 0) return Fail(kAudioReadError);
    if (got == 0) return kAudioNothingQueued;
    m_nReadPosition += static_cast<uint64_t>(got);
    header->dwBufferLength = static_cast<uint32_t>(got);
    return kAudioOk;
}

int CWavePlayOperation::Queue(HWAVEOUT device, WAVEHDR* header) {
    if (WaveOutPrepareHeader(device, header) != MMSYSERR_NOERROR) return Fail(kAudioPrepareFailed);
    if (WaveOutWrite(device, header) != MMSYSERR_NOERROR) return Fail(kAudioWriteFailed);
    ++m_nQueued;
    return kAudioOk;
}

int CWavePlayOperation::IndexOf(const WAVEHDR* header) const {
    return IndexOfPlayerHeader(m_pHeaders, kBufferCount, header);
}

int CWavePlayOperation::Fail(int result) {
    ShowAudioResultMessage(result);
    return result;
}
