#pragma once
// Encoding a 16-bit WAV file into a plain, mono, constant-bit-rate MP3 file at one of the
// two bit rates of MP3 projects (32000 bit/s at 22050 Hz, 64000 bit/s at 44100 Hz), with
// progress and cancel. The encoder converts the rate and mixes two channels down itself.
//
// Results: 0 done, 1 failed, 2 cancelled, 5 the source is missing or cannot be opened,
// 8 a header or format the encoder cannot take, 11 no source path; every failure but one
// of the encoder's own set-up has shown its message.

#include <cstdint>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

enum : int {
    kMp3EncodeOk = 0,
    kMp3EncodeFailed = 1,
    kMp3EncodeCancelled = 2,
    kMp3EncodeNoFile = 5,
    kMp3EncodeBadFormat = 8,
    kMp3EncodeNoPath = 11,
};

// `quality` is the MP3 quality setting (0 speed, 1 standard, 2 quality).
int EncodeWaveToMp3(CWaveTaskHost& host, const CString& source, const CString& target, int bitRate, int quality,
                    const CString& caption, const CString& text);

// The samples by which a decode of what EncodeWaveToMp3 writes from `inputRate` mono
// audio lags that audio (the encoder's delay, at the output rate); 0 when unknown.
int32_t Mp3EncoderDelay(uint32_t inputRate, int bitRate, int quality);
