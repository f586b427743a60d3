#pragma once
// The playback volume as the view keeps it: 0 to 65535, read once when the view first
// shows, set by the volume commands. Each operation opens the system's mixer, does its
// part and closes it again, so a volume changed elsewhere meanwhile is no obstacle.
// Results are 1 for success and 0 for failure; without a mixer everything is 0.

#include <cstdint>

class CVolumeMixer {
public:
    static constexpr uint32_t kNoMixer = 65535;

    CVolumeMixer() = default;

    // Looks for the mixer of the output device and remembers it.
    int Open();
    // Clears the mute of the output.
    int Unmute();
    // Sets the volume and clears the mute, so that the new volume is heard.
    int SetVolume(uint32_t value);
    int GetVolume(uint32_t* value);

private:
    uint32_t m_nMixerId = kNoMixer;  // kNoMixer until Open has found one
    uint32_t m_nFlag = 0;            // always 0; kept with the id as the view knows the object
};
