#include "platform/WaveOutVirtual.h"

#include <algorithm>
#include <vector>

class CVirtualWaveOutDevice final : public CWaveOutDevice {
public:
    CVirtualWaveOutDevice(CVirtualWaveOut& card, const WaveOutFormat& format) : CWaveOutDevice(format), m_card(&card) {}
    ~CVirtualWaveOutDevice() override { CloseOutput(); }

    // The ticket of the oldest queued header, or 0.
    uint64_t OldestTicket() {
        std::lock_guard<std::mutex> lock(m_mutex);
        Entry* entry = FrontQueuedLocked();
        return entry ? entry->ticket : 0;
    }

    // Plays the oldest queued header whole.
    void PlayOldest() {
        std::vector<char> played;
        CVirtualWaveOut* card = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Entry* entry = FrontQueuedLocked();
            if (!entry) return;
            played.assign(entry->data, entry->data + entry->size);
            entry->consumed = entry->size;
            FinishLocked(*entry);
            card = m_card;
        }
        // The card's lock is taken without the device's, as Complete takes them.
        if (card) card->Record(played.data(), played.size());
    }

    void Detach() { m_card = nullptr; }

protected:
    void CloseOutput() override {
        if (m_card) m_card->Forget(this);
        m_card = nullptr;
    }

private:
    CVirtualWaveOut* m_card;  // null once either side has gone
};

CVirtualWaveOut::CVirtualWaveOut() = default;

CVirtualWaveOut::~CVirtualWaveOut() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CVirtualWaveOutDevice* device : m_open) device->Detach();
}

void CVirtualWaveOut::SetDeviceCount(unsigned count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceCount = count;
}

void CVirtualWaveOut::SetFormatFilter(std::function<bool(const WaveOutFormat&)> accepts) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accepts = std::move(accepts);
}

MMRESULT CVirtualWaveOut::Query(unsigned deviceId, const WaveOutFormat& format) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_deviceCount == 0) return MMSYSERR_NODRIVER;
    if (deviceId != WAVE_MAPPER && deviceId >= m_deviceCount) return MMSYSERR_BADDEVICEID;
    if (m_accepts && !m_accepts(format)) return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

MMRESULT CVirtualWaveOut::Open(unsigned deviceId, const WaveOutFormat& format,
                               std::unique_ptr<CWaveOutDevice>& device) {
    if (MMRESULT r = Query(deviceId, format)) return r;
    auto opened = std::make_unique<CVirtualWaveOutDevice>(*this, format);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open.push_back(opened.get());
    ++m_opens;
    m_lastFormat = format;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
}

size_t CVirtualWaveOut::Complete(size_t count) {
    size_t done = 0;
    for (; done < count; ++done) {
        // The oldest write over all devices; tickets are drawn in write order.
        CVirtualWaveOutDevice* oldest = nullptr;
        uint64_t oldestTicket = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (CVirtualWaveOutDevice* device : m_open) {
                const uint64_t ticket = device->OldestTicket();
                if (ticket && (!oldest || ticket < oldestTicket)) {
                    oldest = device;
                    oldestTicket = ticket;
                }
            }
        }
        if (!oldest) break;
        oldest->PlayOldest();
    }
    return done;
}

size_t CVirtualWaveOut::QueuedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t count = 0;
    for (CVirtualWaveOutDevice* device : m_open) count += device->QueuedCount();
    return count;
}

std::vector<uint8_t> CVirtualWaveOut::Played() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_played;
}

std::vector<size_t> CVirtualWaveOut::PlayedSizes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playedSizes;
}

void CVirtualWaveOut::ClearPlayed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_played.clear();
    m_playedSizes.clear();
}

unsigned CVirtualWaveOut::OpenDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<unsigned>(m_open.size());
}

unsigned CVirtualWaveOut::OpensSoFar() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}

WaveOutFormat CVirtualWaveOut::LastFormat() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFormat;
}

void CVirtualWaveOut::Forget(CVirtualWaveOutDevice* device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), device), m_open.end());
}

void CVirtualWaveOut::Record(const char* data, size_t size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_played.insert(m_played.end(), reinterpret_cast<const uint8_t*>(data), reinterpret_cast<const uint8_t*>(data) + size);
    m_playedSizes.push_back(size);
}
