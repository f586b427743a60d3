#include "platform/WaveOutDevice.h"

#include <atomic>

#include "platform/WaveOutDispatcher.h"

namespace {
// Tickets count across all devices, so that the order of writes is known everywhere.
std::atomic<uint64_t> g_nextTicket{1};
}  // namespace

CWaveOutDevice::CWaveOutDevice(const WaveOutFormat& format) : m_format(format) {}

CWaveOutDevice::~CWaveOutDevice() = default;

void CWaveOutDevice::Attach(HWAVEOUT handle, IWaveOutOwner* owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handle = handle;
    m_owner = owner;
    if (owner) m_ownerToken = owner->WaveOutOwnerToken();
}

MMRESULT CWaveOutDevice::Write(WAVEHDR* header) {
    const uint32_t align = WaveOutBlockAlign(m_format);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return MMSYSERR_INVALHANDLE;
    Entry entry;
    entry.ticket = g_nextTicket.fetch_add(1);
    entry.header = header;
    entry.data = header->lpData;
    // A trailing part of a frame cannot be played; it is skipped, not carried over.
    entry.size = header->dwBufferLength - header->dwBufferLength % align;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    m_entries.push_back(entry);
    QueuedLocked();
    m_changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutDevice::Reset() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed) return MMSYSERR_INVALHANDLE;
    // Everything leaves the output's queue and is done before we return; the reports
    // not yet on their way follow those that are, so the owner hears of them in order.
    for (Entry& entry : m_entries) {
        entry.finished = true;
        MarkDoneLocked(entry);
        if (!entry.posted) PostLocked(entry);
    }
    StopOutputLocked(lock);
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutDevice::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return MMSYSERR_INVALHANDLE;
        for (const Entry& entry : m_entries)
            if (!entry.finished) return WAVERR_STILLPLAYING;
        // Played but not yet reported: the owner must find them done, as after a reset;
        // the reports themselves die with the handle.
        for (Entry& entry : m_entries) MarkDoneLocked(entry);
        m_entries.clear();
        m_closed = true;
    }
    CloseOutput();
    return MMSYSERR_NOERROR;
}

bool CWaveOutDevice::TakeReport(uint64_t ticket, WAVEHDR*& header, IWaveOutOwner*& owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry* entry = FindLocked(ticket);
    if (!entry) return false;
    MarkDoneLocked(*entry);
    header = entry->header;
    owner = m_owner;
    // Delivery is in ticket order, so this is the front but for reports already void.
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->ticket == ticket) {
            m_entries.erase(it);
            break;
        }
    }
    return owner != nullptr && !m_ownerToken.expired();
}

size_t CWaveOutDevice::QueuedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t count = 0;
    for (const Entry& entry : m_entries)
        if (!entry.finished) ++count;
    return count;
}

CWaveOutDevice::Entry* CWaveOutDevice::FrontQueuedLocked() {
    for (Entry& entry : m_entries)
        if (!entry.finished) return &entry;
    return nullptr;
}

CWaveOutDevice::Entry* CWaveOutDevice::FindLocked(uint64_t ticket) {
    for (Entry& entry : m_entries)
        if (entry.ticket == ticket) return &entry;
    return nullptr;
}

void CWaveOutDevice::FinishLocked(Entry& entry, bool post) {
    entry.finished = true;
    if (post && !entry.posted) PostLocked(entry);
}

void CWaveOutDevice::PostLocked(Entry& entry) {
    // Posted under the device's lock, so that reports of one device enter the
    // dispatcher in ticket order whichever thread posts them.
    entry.posted = true;
    GetWaveOutDispatcher().Post([handle = m_handle, ticket = entry.ticket] { WaveOutDeliverReport(handle, ticket); });
}

void CWaveOutDevice::MarkDoneLocked(Entry& entry) {
    if (entry.marked) return;
    entry.marked = true;
    entry.header->dwFlags = (entry.header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}
