#pragma once
// The output volume: the playback element of the default card's simple mixer,
// "Master", else "PCM". Under a sound server that is the system-wide volume. A machine
// without a card or without either element has no mixer: Open fails and every
// operation reports failure.

#include <cstdint>
#include <functional>
#include <memory>

class IMixer {
public:
    virtual ~IMixer() = default;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Volumes run from 0 to 65535 over the element's whole range.
    virtual bool GetVolume(uint32_t& value) = 0;
    // Sets every channel and switches the element on, so that what is set is heard.
    virtual bool SetVolume(uint32_t value) = 0;
    // Switches the element on; false when it has no switch.
    virtual bool Unmute() = 0;
};

// The ALSA simple mixer.
class CAlsaMixer final : public IMixer {
public:
    CAlsaMixer();
    ~CAlsaMixer() override;
    CAlsaMixer(const CAlsaMixer&) = delete;
    CAlsaMixer& operator=(const CAlsaMixer&) = delete;

    bool Open() override;
    void Close() override;
    bool GetVolume(uint32_t& value) override;
    bool SetVolume(uint32_t value) override;
    bool Unmute() override;

private:
    struct Alsa;
    std::unique_ptr<Alsa> m_alsa;
};

// A new mixer of the kind in use: ALSA, or what a test installed (an empty factory
// restores ALSA).
std::unique_ptr<IMixer> CreateMixer();
void SetMixerFactory(std::function<std::unique_ptr<IMixer>()> factory);
