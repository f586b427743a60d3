#pragma once
// Player of MP3 projects; see CWavePlayOperation for why it owns no device yet.

#include "audio/AudioResult.h"

class CMp3PlayOperation {
public:
    virtual ~CMp3PlayOperation() = default;
    int Initialize() { return kAudioOk; }
    int GetDeviceState() const { return kAudioNoDevice; }
    int Stop() { return kAudioOk; }
    int CloseFile() { return kAudioOk; }
    int CloseDevice() { return kAudioOk; }
};
