// MP3 decoder library: public interface.
// Standard library only. The names of the surface are those of the design.
#pragma once

#include <cstdint>

typedef uint32_t SSC;

// Status codes, in the order of the status table.
constexpr SSC SSC_OK = 0x00000000u;
constexpr SSC SSC_ERR_WRONG_PARAMETER = 0xC0000001u;
constexpr SSC SSC_ERR_NO_MEMORY = 0xC0000002u;
constexpr SSC SSC_ERR_INVALID_HANDLE = 0xC0000003u;
constexpr SSC SSC_IO_GENERIC_ERROR = 0x80010001u;
constexpr SSC SSC_IO_OPEN_FAILED = 0x80010002u;
constexpr SSC SSC_IO_CLOSE_FAILED = 0x80010003u;
constexpr SSC SSC_IO_READ_ERROR = 0x80010004u;
constexpr SSC SSC_INFO_CRC_ERROR = 0x41010001u;
constexpr SSC SSC_INFO_NOT_ENOUGH_MAIN_DATA = 0x41010002u;
constexpr SSC SSC_INFO_MP3PRO_DETECTED = 0x41010003u;
constexpr SSC SSC_DEC_GENERIC_ERROR = 0xC1010001u;
constexpr SSC SSC_DEC_WRONG_LAYER = 0xC1010002u;
constexpr SSC SSC_DEC_BUFFER_TOO_SMALL = 0xC1010003u;
constexpr SSC SSC_SYNC_SEARCHED = 0x81010001u;
constexpr SSC SSC_SYNC_LOST = 0x81010002u;
constexpr SSC SSC_SYNC_NEED_DATA = 0x81010003u;
constexpr SSC SSC_SYNC_EOF = 0x81010004u;

// Success and information count as success.
inline bool SSC_SUCCESS(SSC s) { return (s >> 30) <= 1u; }

// The largest output one DecodeFrame call can deliver, in bytes (mended fault: forced
// 44100 Hz output of a low-rate stream is larger than the callers' 4608 bytes).
// Worst case: 576 samples at 8000 Hz converted to 44100 Hz, two channels.
constexpr int MP3DEC_MAX_FRAME_SAMPLES_PER_CHANNEL = 576 * 44100 / 8000 + 2;  // 3177
constexpr int MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16 = MP3DEC_MAX_FRAME_SAMPLES_PER_CHANNEL * 2 * 2;
constexpr int MP3DEC_MAX_FRAME_OUTPUT_BYTES = MP3DEC_MAX_FRAME_SAMPLES_PER_CHANNEL * 2 * 4;
// Capacity of the ancillary text output (mended fault: the original had none).
constexpr int MP3DEC_MAX_ANCILLARY_BYTES = 1024;

struct MP3FrameInfo {
  uint32_t layer;
  uint32_t version;
  uint32_t bitrate;
  uint32_t bitrateIndex;
  uint32_t channels;
  uint32_t sampleRate;
  uint32_t outputChannels;
  uint32_t outputRate;
  uint32_t finalRate;
  uint32_t bitsPerSample;
  uint32_t frameLength;
  float frameDuration;
  uint32_t crcError;
  uint32_t mainDataMissing;
  uint32_t mp3proActive;
};

struct MP3StreamInfo {
  int32_t bitrate;
  uint32_t channels;
  uint32_t sampleRate;
  uint32_t outputChannels;
  uint32_t outputRate;
  uint32_t finalRate;
  uint32_t bitsPerSample;
  uint32_t duration;
  uint32_t vbr;
  uint32_t vbrHeader;
  uint32_t seekable;
  uint32_t mp3pro;
  int32_t firstFrame;
};

class MP3Decoder {
 public:
  virtual void Release() = 0;
  virtual void Reset() = 0;
  // ancillaryCount, when ancillaryOut is given, holds the capacity of ancillaryOut on entry
  // when it is positive (else MP3DEC_MAX_ANCILLARY_BYTES is assumed) and the count on return.
  virtual SSC DecodeFrame(void* out, int capacityBytes, int* outBytes, uint8_t* ancillaryOut,
                          int* ancillaryCount, int sbrHighBand) = 0;
  virtual const MP3FrameInfo* GetFrameInfo() = 0;
  virtual int Feed(const uint8_t* data, int length) = 0;
  virtual int GetFreeInputSpace() = 0;
  virtual int GetBufferedInput() = 0;
  virtual void SetEndOfInput() = 0;
  virtual bool IsEndOfStream() = 0;
  virtual ~MP3Decoder() {}
};

class MP3DecoderInfo {
 public:
  virtual void Release() = 0;
  virtual bool Open(const uint8_t* head, int length, uint32_t fileSize) = 0;
  virtual const MP3StreamInfo* GetInfo() = 0;
  virtual uint32_t PercentToOffset(float percent) = 0;
  virtual uint32_t TimeToOffset(uint32_t milliseconds) = 0;
  virtual void GetVersion(char* out) = 0;
  virtual ~MP3DecoderInfo() {}
};

SSC MP3CreateDecoder(MP3Decoder** out, int floatOutput, int noCrcCheck, int force44100,
                     int useGaplessInfo, int useLimiter);
SSC MP3CreateDecoderInfo(MP3DecoderInfo** out);
const char* MP3GetStatusText(SSC code);
