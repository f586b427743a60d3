#pragma once
// Decoding MP3 files for the audio engine: the stream's format, a whole file into a 16-bit
// mono WAV file, and priming a fresh decoder with the stream beside the program, so that
// its first real frame decodes as every later one does.
//
// Results: 0 done, 1 failed, 2 cancelled, 8 a stream the project cannot take; failures
// have shown their message through the host (or, for the priming file, the players' box).

#include <cstdint>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

class MP3Decoder;
class MP3DecoderInfo;

struct MP3StreamInfo;

// The bytes of 16-bit audio one frame of the stream decodes to.
uint32_t Mp3FrameBytes(const MP3StreamInfo& info);

enum : int {
    kMp3DecodeOk = 0,
    kMp3DecodeFailed = 1,
    kMp3DecodeCancelled = 2,
    kMp3DecodeNotAccepted = 8,
    // A part runs on past the end of its file (a recording cut short): no message, since
    // only the caller knows which phrase it is.
    kMp3DecodeCut = 10,
};

struct Mp3FileInfo {
    uint32_t bitRate = 0;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
};

// A decoder message with the status's own text: "text(status text)".
CString Mp3StatusMessage(const char* text, uint32_t status);

// The priming stream for a bit rate, beside the program; empty for other rates.
CString Mp3PrimingFile(const CString& programFolder, int32_t bitRate);

// 0, or 1 after its message.
int GetMp3FileInfo(CWaveTaskHost& host, const CString& path, Mp3FileInfo& info);

// Feeds the priming stream until a frame decodes, and drops what came out. 0, or 38
// after the players' message when the stream cannot be opened or read.
int PrimeMp3Decoder(MP3Decoder* decoder, MP3DecoderInfo* info, const CString& programFolder);

// Decodes `source` into a mono 16-bit WAV file at `target`: at 44100 Hz for a 44100 Hz
// project, else at the stream's own rate. Only the two formats of MP3 projects are taken.
int DecodeMp3FileToWave(CWaveTaskHost& host, const CString& source, const CString& target, const CString& caption,
                        const CString& text, uint32_t projectRate, const CString& programFolder);

// Decodes `length` bytes of decoded audio from byte `start` of the MP3 file `source` into
// the WAV file `destination` (the stream's rate, 16 bits). A part whose end lies within one
// frame past the end of the stream is filled with silence up to its length (the rounding
// of a length); one that runs further gives kMp3DecodeCut. 0, 10, or 1 after its message.
int DecodeMp3PhraseToWave(CWaveTaskHost& host, const CString& source, const CString& destination, uint32_t length,
                          uint32_t start, const CString& programFolder);

// The silent 100 ms blocks at the end of `length` bytes of decoded audio from byte
// `start` of the MP3 file at `path`, decoded in memory. 0 with `silence` in bytes; 10
// (`silence` untouched) when the part runs more than one frame past the end of the
// stream; or 1 after its message.
int MeasureMp3TrailingSilence(CWaveTaskHost& host, const CString& path, uint32_t start, uint32_t length,
                              int thresholdDb, const CString& programFolder, uint32_t& silence);
