#pragma once
// The sound card: the ALSA host API of PortAudio, its default output device for
// WAVE_MAPPER (the system's "default" PCM, which converts rates the hardware refuses),
// one blocking stream per open device, fed by a writer thread of its own.

#include "platform/WaveOutDevice.h"

// The process-wide PortAudio backend. PortAudio is started on first use; when it
// finds no output device it looks again on the next query or open.
IWaveOutBackend& PortAudioWaveOut();
