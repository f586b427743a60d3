#include "audio/Mp3Part.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Riff.h"

namespace {

constexpr int kInputBytes = 8192;
constexpr int64_t kWalkBytes = 65536;
// The decoder needs the main data of the frames before the first one it is to give out
// exactly (the bit reservoir reaches back at most 511 bytes of main data) and the
// overlap of the two frames before it (one granule each at the low rates).
constexpr int kOverlapFrames = 2;
constexpr int64_t kReservoirBytes = 1024;

struct FrameHeader {
    uint32_t bytes = 0;    // the whole frame
    uint32_t samples = 0;  // per channel
    uint32_t channels = 0;
};

// A Layer III frame header; bytes 0 when the four bytes are none.
FrameHeader ParseHeader(const uint8_t* h) {
    static const uint16_t kRates1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const uint16_t kRates2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const uint32_t kSampleRates[3] = {44100, 48000, 32000};
    FrameHeader f;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return f;
    const int version = (h[1] >> 3) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    const int layer = (h[1] >> 1) & 3;
    const int rateIndex = h[2] >> 4;
    const int sampleIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer != 1 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return f;
    const bool mpeg1 = version == 3;
    const uint32_t sampleRate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const uint32_t bitRate = 1000u * (mpeg1 ? kRates1 : kRates2)[rateIndex];
    f.samples = mpeg1 ? 1152 : 576;
    f.bytes = (mpeg1 ? 144 : 72) * bitRate / sampleRate + ((h[2] >> 1) & 1);
    f.channels = (h[3] >> 6) == 3 ? 1 : 2;
    return f;
}

// Follows the frame headers of a file, buffered; bytes that are no frame are passed over,
// as the decoder passes over them.
class FrameWalk {
public:
    FrameWalk(CRiffFile& file, int64_t first) : m_file(file), m_buffer(static_cast<size_t>(kWalkBytes)), m_at(first) {}

    // The first frame from `at` on: its offset in `at`, its header in `f`. False at the
    // end of the file, and after a read failure (Failed()).
    bool Next(int64_t& at, FrameHeader& f) {
        for (;; ++at) {
            const uint8_t* h = BytesAt(at);
            if (!h) return false;
            f = ParseHeader(h);
            if (f.bytes != 0) return true;
        }
    }
    bool Failed() const { return m_failed; }

private:
    // The four bytes at `at`, or null at the end of the file.
    const uint8_t* BytesAt(int64_t at) {
        if (at < m_at || at + 4 > m_at + m_length) {
            if (m_file.Seek(at, SEEK_SET) != at) return nullptr;
            m_length = m_file.Read(m_buffer.data(), kWalkBytes);
            m_at = at;
            if (m_length < 4) {
                m_failed = m_length < 0;
                m_length = std::max<int64_t>(m_length, 0);
                return nullptr;
            }
        }
        return m_buffer.data() + (at - m_at);
    }

    CRiffFile& m_file;
    std::vector<uint8_t> m_buffer;
    int64_t m_at, m_length = 0;
    bool m_failed = false;
};

}  // namespace

bool MeasureMp3Frames(CRiffFile& file, uint64_t& decodedBytes, uint32_t& frameBytes) {
    decodedBytes = 0;
    frameBytes = 0;
    const int64_t first = SkipMp3Tags(file);
    const int64_t size = first < 0 ? -1 : file.Seek(0, SEEK_END);
    if (size < 0) return false;
    FrameWalk walk(file, first);
    int64_t at = first;
    FrameHeader f;
    // A frame cut short by the end of the file holds no whole audio.
    while (walk.Next(at, f) && at + f.bytes <= size) {
        const uint32_t decoded = f.samples * f.channels * 2;
        decodedBytes += decoded;
        frameBytes = std::max(frameBytes, decoded);
        at += f.bytes;
    }
    return !walk.Failed();
}

uint32_t Id3v2TagSize(const uint8_t* head, int64_t length) {
    if (length < 10 || std::memcmp(head, "ID3", 3) != 0 || head[3] == 0xFF || head[4] == 0xFF) return 0;
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (head[i] & 0x80) return 0;  // not a tag's sync-safe size
        size = (size << 7) | head[i];
    }
    return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

int64_t SkipMp3Tags(CRiffFile& file) {
    int64_t at = 0;
    for (;;) {
        uint8_t head[10];
        if (file.Seek(at, SEEK_SET) != at) return -1;
        const int64_t got = file.Read(head, sizeof head);
        if (got < 0) return -1;
        const uint32_t tag = Id3v2TagSize(head, got);
        if (tag == 0) break;
        at += tag;
    }
    return file.Seek(at, SEEK_SET) == at ? at : -1;
}

bool ReadMp3Head(CRiffFile& file, std::vector<uint8_t>& head, int64_t& got, int64_t& audioStart,
                 int64_t& streamBytes) {
    audioStart = SkipMp3Tags(file);
    if (audioStart < 0) return false;
    got = file.Read(head.data(), static_cast<int64_t>(head.size()));
    const int64_t size = file.Seek(0, SEEK_END);
    if (got < 0 || size < 0 || file.Seek(audioStart, SEEK_SET) != audioStart) return false;
    streamBytes = std::max<int64_t>(0, size - audioStart);
    return true;
}

CMp3PartReader::CMp3PartReader(MP3Decoder* decoder, CRiffFile* file)
    : m_decoder(decoder), m_file(file), m_input(kInputBytes), m_pcm(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16) {}

// Follows the frame headers from the first audio frame to the frame after the one that
// holds byte `start` of the decoded stream, keeping the frames the decoder is to start
// from. pastEnd: the stream ends before `start`.
bool CMp3PartReader::Walk(uint64_t start, std::vector<Frame>& frames, bool& pastEnd) {
    frames.clear();
    pastEnd = false;
    const int64_t first = SkipMp3Tags(*m_file);
    if (first < 0) return false;
    FrameWalk walk(*m_file, first);
    m_status = SSC_OK;
    int64_t at = first;
    uint64_t decoded = 0;
    FrameHeader f;
    while (walk.Next(at, f)) {
        frames.push_back({at, decoded});
        if (decoded > start) return true;
        decoded += uint64_t(f.samples) * f.channels * 2;
        at += f.bytes;
        if (frames.size() > 512) frames.erase(frames.begin(), frames.begin() + 256);
    }
    if (walk.Failed()) {
        m_status = SSC_IO_READ_ERROR;
        return false;
    }
    // The end of the file: the last frame read holds `start` or the stream is over.
    frames.push_back({at, decoded});
    pastEnd = decoded <= start;
    return true;
}

int CMp3PartReader::Seek(uint64_t start) {
    m_start = start;
    m_aligned = false;
    m_pending = m_at = 0;
    m_status = SSC_OK;
    std::vector<Frame> walked;
    if (!Walk(start, walked, m_pastEnd)) return kFailed;
    // walked.back() follows the frame that holds `start`; start kOverlapFrames earlier and
    // far enough before that for the main data those frames use.
    const int holding = std::max<int>(0, static_cast<int>(walked.size()) - 2);
    int first = std::max(0, holding - kOverlapFrames);
    const int64_t needed = walked[static_cast<size_t>(first)].offset;
    while (first > 0 && needed - walked[static_cast<size_t>(first)].offset < kReservoirBytes) --first;
    m_frames.assign(walked.begin() + first, walked.end());
    m_fed = m_frames.front().offset;
    m_position = m_frames.front().decoded;
    m_decoder->Reset();
    if (m_file->Seek(m_fed, SEEK_SET) != m_fed) return kFailed;
    return kData;
}

int CMp3PartReader::Read(const uint8_t*& data, uint32_t& bytes) {
    if (m_pastEnd) return kEnd;
    m_status = SSC_OK;
    for (;;) {
        if (m_decoder->IsEndOfStream()) return kEnd;
        if (m_pending == 0) {
            const int64_t got = m_file->Read(m_input.data(), kInputBytes);
            if (got < 0) return kFailed;
            if (got == 0) m_decoder->SetEndOfInput();
            m_pending = static_cast<int>(got);
            m_at = 0;
            m_fed += got;
        }
        const int taken = m_decoder->Feed(m_input.data() + m_at, m_pending);
        m_at += taken;
        m_pending -= taken;
        int n = 0;
        const SSC status = m_decoder->DecodeFrame(m_pcm.data(), static_cast<int>(m_pcm.size()), &n, nullptr, nullptr, 0);
        if (status == SSC_SYNC_EOF) return kEnd;
        if (!SSC_SUCCESS(status) && (status >> 30) == 2u) continue;  // warnings give nothing
        if (!m_aligned) {
            // Until the first wanted sample the frame just decoded is found by where the
            // decoder stands in the file: the frames before it may have been dropped for
            // want of their main data.
            const int64_t consumed = m_fed - m_pending - m_decoder->GetBufferedInput();
            auto it = std::lower_bound(m_frames.begin(), m_frames.end(), consumed,
                                       [](const Frame& f, int64_t v) { return f.offset < v; });
            if (it != m_frames.begin()) --it;
            m_position = it->decoded;
        }
        const uint64_t end = m_position + static_cast<uint64_t>(std::max(n, 0));
        if (end <= m_start) {
            m_position = end;
            continue;  // before the place: pre-roll, whatever its status
        }
        if (status != SSC_OK) {
            m_status = status;
            return kFailed;
        }
        const uint64_t skip = m_position < m_start ? m_start - m_position : 0;
        m_position = end;
        m_aligned = true;
        data = m_pcm.data() + skip;
        bytes = static_cast<uint32_t>(static_cast<uint64_t>(n) - skip);
        return kData;
    }
}
