#pragma once
// What every wave-out backend shares: the queue of written headers in write order,
// the "done" bookkeeping and the reports to the owner. A backend only moves audio:
// it takes the oldest queued header's bytes and says when that header is finished.
//
// Each write gets a ticket. The report of a finished write carries the device's
// handle and the ticket; the header is marked done on the user-interface thread, just
// before the owner hears of it, unless a reset or close marked it already. Header
// flags are therefore never touched off that thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/WaveOut.h"

class CWaveOutDevice;

class IWaveOutBackend {
public:
    virtual ~IWaveOutBackend() = default;
    // See WaveOutQuery; the format has passed WaveOutCheckFormat.
    virtual MMRESULT Query(unsigned deviceId, const WaveOutFormat& format) = 0;
    // See WaveOutOpen; on success `device` holds the open device.
    virtual MMRESULT Open(unsigned deviceId, const WaveOutFormat& format, std::unique_ptr<CWaveOutDevice>& device) = 0;
};

class CWaveOutDevice {
public:
    explicit CWaveOutDevice(const WaveOutFormat& format);
    virtual ~CWaveOutDevice();
    CWaveOutDevice(const CWaveOutDevice&) = delete;
    CWaveOutDevice& operator=(const CWaveOutDevice&) = delete;

    const WaveOutFormat& Format() const { return m_format; }

    // The layer's side, on the user-interface thread.
    void Attach(HWAVEOUT handle, IWaveOutOwner* owner);
    MMRESULT Write(WAVEHDR* header);
    MMRESULT Reset();
    // WAVERR_STILLPLAYING while a header is queued; else marks what is finished done
    // and stops the output for good, and the device may be destroyed.
    MMRESULT Close();
    // The report of write `ticket`: marks its header done and gives it and the owner
    // to tell, or false when the report is void (already delivered, owner destroyed).
    bool TakeReport(uint64_t ticket, WAVEHDR*& header, IWaveOutOwner*& owner);

    // Headers written and not yet finished by the output.
    size_t QueuedCount() const;

protected:
    struct Entry {
        uint64_t ticket;
        WAVEHDR* header;
        const char* data;   // the header's data and length as written
        size_t size;        // whole frames only
        size_t consumed = 0;
        bool finished = false;  // out of the output's queue (played or reset)
        bool posted = false;    // its report is on its way to the user-interface thread
        bool marked = false;    // its header carries WHDR_DONE
    };

    // Under m_mutex: the oldest entry the output has not finished, or null.
    Entry* FrontQueuedLocked();
    Entry* FindLocked(uint64_t ticket);
    // Under m_mutex: the entry leaves the output's queue; its report is posted unless
    // the backend holds it back (and posts it later with PostLocked).
    void FinishLocked(Entry& entry, bool post = true);
    void PostLocked(Entry& entry);

    // Backend hooks. QueuedLocked: something new is queued (under m_mutex).
    // StopOutputLocked: drop whatever the output still holds; on return the output
    // takes no more bytes of the entries finished so far (called under `lock`, which
    // the backend may release while it waits). CloseOutput: end for good, without the
    // lock.
    virtual void QueuedLocked() {}
    virtual void StopOutputLocked(std::unique_lock<std::mutex>& lock) {}
    virtual void CloseOutput() {}

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_entries;  // in write order

private:
    void MarkDoneLocked(Entry& entry);

    WaveOutFormat m_format;
    HWAVEOUT m_handle = nullptr;
    IWaveOutOwner* m_owner = nullptr;
    std::weak_ptr<void> m_ownerToken;
    bool m_closed = false;
};

// The report of a finished write, run on the user-interface thread: dropped when the
// device has been closed since (its handle is gone) or its owner destroyed.
void WaveOutDeliverReport(HWAVEOUT handle, uint64_t ticket);
