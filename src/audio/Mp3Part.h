#pragma once
// Reading an MP3 file from any place in its decoded stream, sample for sample as a decode
// of the whole file from its first frame gives it there.
//
// Positions count bytes of the decoded 16-bit stream from the first audio frame. A decoder
// that starts inside a stream lacks the main data that earlier frames carry (the bit
// reservoir) and the overlap of the frame before: so the reader walks the frame headers
// to the frame that holds the wanted sample, starts the decoder a few frames earlier, and
// drops what comes out before that sample. At the end the last frames are drained.
//
// A leading ID3v2 tag is no audio: every read of an MP3's start begins behind it.

#include <cstdint>
#include <vector>

#include "mp3dec/mp3dec.h"

class CRiffFile;

// The size of the ID3v2 tag (or tags) at the head of `head`, its header and footer
// included; 0 when there is none. `length` bytes are given; a tag's size needs only its
// first 10 bytes.
uint32_t Id3v2TagSize(const uint8_t* head, int64_t length);

// The file offset of the first byte behind any leading ID3v2 tags, the file left there;
// -1 when the file cannot be read.
int64_t SkipMp3Tags(CRiffFile& file);

// Opens the head of an MP3 file for the stream information: skips the tags, reads up to
// `head.size()` bytes from the first audio byte into `head`, and leaves the file at that
// byte. `got` is the bytes read, `streamBytes` the bytes from the first audio byte to the
// end of the file. False when the file cannot be read.
bool ReadMp3Head(CRiffFile& file, std::vector<uint8_t>& head, int64_t& got, int64_t& audioStart,
                 int64_t& streamBytes);

// Walks an MP3 file's frame headers from its first audio frame: the decoded bytes of its
// complete frames (a last frame cut short holds no whole audio; bytes that are no frame
// are passed over) and the most that one frame decodes to. False when the file cannot be
// read.
bool MeasureMp3Frames(CRiffFile& file, uint64_t& decodedBytes, uint32_t& frameBytes);

class CMp3PartReader {
public:
    enum : int { kFailed = -1, kEnd = 0, kData = 1 };

    // Both are the caller's and must outlive the reader; the decoder is reset by Seek.
    CMp3PartReader(MP3Decoder* decoder, CRiffFile* file);

    // Places the reader at byte `start` of the decoded stream. kData, or kFailed when the
    // file cannot be read (Status() is then 0).
    int Seek(uint64_t start);

    // The next decoded bytes from the place on: kData with `data` and `bytes` (valid until
    // the next call), kEnd when the stream has been drained, kFailed after a read failure
    // (Status() 0) or a decoder status the callers report (Status()).
    int Read(const uint8_t*& data, uint32_t& bytes);

    SSC Status() const { return m_status; }
    // The stream's frames hold no audio from the wanted place on.
    bool PastEnd() const { return m_pastEnd; }

private:
    struct Frame {
        int64_t offset;    // in the file
        uint64_t decoded;  // decoded bytes of the stream before it
    };
    bool Walk(uint64_t start, std::vector<Frame>& frames, bool& pastEnd);
    bool Fill();

    MP3Decoder* m_decoder;
    CRiffFile* m_file;
    std::vector<uint8_t> m_input;
    std::vector<uint8_t> m_pcm;
    std::vector<Frame> m_frames;  // from the first decoded frame to the one after the place
    int64_t m_fed = 0;            // file offset of the next byte to feed
    int m_pending = 0, m_at = 0;
    uint64_t m_start = 0;         // the place asked for
    uint64_t m_position = 0;      // decoded bytes of the stream before the next output
    bool m_aligned = false;       // m_position is known
    bool m_pastEnd = false;
    SSC m_status = SSC_OK;
};
