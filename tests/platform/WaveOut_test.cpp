// The wave-out device as the players use it: headers in order, done flags, reset and
// close semantics, reports that must not reach a closed device or a destroyed owner.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>

#include "platform/WaveOut.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace {

struct Report {
    HWAVEOUT device;
    WAVEHDR* header;
    uint32_t flags;  // as the owner found them
};

class RecordingOwner : public IWaveOutOwner {
public:
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        reports.push_back({device, header, header->dwFlags});
        if (onDone) onDone(device, header);
    }
    std::vector<Report> reports;
    std::function<void(HWAVEOUT, WAVEHDR*)> onDone;
};

// A header with its own bytes: `size` bytes counting up from `first`.
struct Buffer {
    Buffer(size_t size, uint8_t first) : data(size) {
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(first + i);
        header = WAVEHDR{};
        header.lpData = data.data();
        header.dwBufferLength = static_cast<uint32_t>(size);
    }
    std::vector<char> data;
    WAVEHDR header;
};

std::vector<uint8_t> Bytes(std::initializer_list<const Buffer*> buffers) {
    std::vector<uint8_t> all;
    for (const Buffer* b : buffers) all.insert(all.end(), b->data.begin(), b->data.end());
    return all;
}

WaveOutFormat Pcm16(uint32_t rate, uint16_t channels = 1) { return WaveOutFormat{kWaveOutPcm, channels, rate, 16}; }

class VirtualWaveOutTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&ui);
    }
    void TearDown() override {
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
    }
    HWAVEOUT Open(IWaveOutOwner* who, uint32_t rate = 16000) {
        HWAVEOUT device = nullptr;
        EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, Pcm16(rate), who), MMSYSERR_NOERROR);
        return device;
    }
    void Queue(HWAVEOUT device, Buffer& b) {
        ASSERT_EQ(WaveOutPrepareHeader(device, &b.header), MMSYSERR_NOERROR);
        ASSERT_EQ(WaveOutWrite(device, &b.header), MMSYSERR_NOERROR);
    }

    CVirtualWaveOut card;
    CManualWaveOutDispatcher ui;
    RecordingOwner owner;
};

TEST_F(VirtualWaveOutTest, PlaysHeadersInOrderAndReportsThemOnThePump) {
    HWAVEOUT device = Open(&owner);
    Buffer a(8, 0), b(6, 100), c(4, 200);
    Queue(device, a);
    Queue(device, b);
    Queue(device, c);
    EXPECT_EQ(a.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);

    EXPECT_EQ(card.Complete(2), 2u);
    EXPECT_EQ(card.Played(), Bytes({&a, &b}));
    EXPECT_EQ(card.PlayedSizes(), (std::vector<size_t>{8, 6}));
    // Nothing reaches the owner, and no flag changes, until the user-interface thread runs.
    EXPECT_TRUE(owner.reports.empty());
    EXPECT_EQ(a.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);

    EXPECT_EQ(ui.Pump(), 2u);
    ASSERT_EQ(owner.reports.size(), 2u);
    EXPECT_EQ(owner.reports[0].header, &a.header);
    EXPECT_EQ(owner.reports[1].header, &b.header);
    EXPECT_EQ(owner.reports[0].device, device);
    EXPECT_EQ(owner.reports[0].flags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(c.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(card.QueuedCount(), 1u);

    EXPECT_EQ(card.Complete(), 1u);
    EXPECT_EQ(card.Complete(), 0u);
    ui.Pump();
    EXPECT_EQ(owner.reports.size(), 3u);
    EXPECT_EQ(card.Played(), Bytes({&a, &b, &c}));
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, OwnerRefillsAndRequeuesFromItsReport) {
    // The players' loop: each header that comes back is unprepared, refilled with the
    // next bytes, prepared and written again.
    HWAVEOUT device = Open(&owner);
    std::vector<uint8_t> source(100);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + 1);
    size_t next = 0;
    Buffer slots[2] = {Buffer(10, 0), Buffer(10, 0)};
    auto fill = [&](Buffer& b) {
        const size_t n = std::min<size_t>(b.data.size(), source.size() - next);
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(next), n, b.data.begin());
        b.header.dwBufferLength = static_cast<uint32_t>(n);
        next += n;
        return n > 0;
    };
    owner.onDone = [&](HWAVEOUT dev, WAVEHDR* header) {
        ASSERT_EQ(WaveOutUnprepareHeader(dev, header), MMSYSERR_NOERROR);
        Buffer& b = header == &slots[0].header ? slots[0] : slots[1];
        if (!fill(b)) return;
        header->dwFlags = 0;
        ASSERT_EQ(WaveOutPrepareHeader(dev, header), MMSYSERR_NOERROR);
        ASSERT_EQ(WaveOutWrite(dev, header), MMSYSERR_NOERROR);
    };
    for (Buffer& b : slots) {
        fill(b);
        Queue(device, b);
    }
    for (int round = 0; round < 100 && card.Complete(1); ++round) ui.Pump();
    EXPECT_EQ(card.Played(), source);
    EXPECT_EQ(owner.reports.size(), 10u);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, HeaderStateRules) {
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0);
    EXPECT_EQ(WaveOutWrite(device, &a.header), WAVERR_UNPREPARED);
    EXPECT_EQ(WaveOutUnprepareHeader(device, &a.header), MMSYSERR_NOERROR);  // unprepared stays so
    Queue(device, a);
    EXPECT_EQ(WaveOutWrite(device, &a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(WaveOutUnprepareHeader(device, &a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(WaveOutPrepareHeader(device, &a.header), MMSYSERR_NOERROR);  // prepared stays so
    EXPECT_EQ(WaveOutPrepareHeader(device, nullptr), MMSYSERR_INVALPARAM);
    WAVEHDR noData{};
    noData.dwBufferLength = 10;
    EXPECT_EQ(WaveOutPrepareHeader(device, &noData), MMSYSERR_INVALPARAM);

    HWAVEOUT bogus = reinterpret_cast<HWAVEOUT>(uintptr_t{0xDEAD0000});
    EXPECT_EQ(WaveOutPrepareHeader(bogus, &a.header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(WaveOutWrite(bogus, &a.header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(WaveOutReset(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(WaveOutClose(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(WaveOutOpen(nullptr, WAVE_MAPPER, Pcm16(16000), &owner), MMSYSERR_INVALPARAM);

    WaveOutReset(device);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, OnlyWholeFramesPlayAndAnEmptyHeaderStillComesBack) {
    HWAVEOUT device = Open(&owner);
    Buffer odd(5, 1), empty(0, 0);
    Queue(device, odd);
    Queue(device, empty);
    EXPECT_EQ(card.Complete(), 2u);
    ui.Pump();
    EXPECT_EQ(card.Played(), (std::vector<uint8_t>{1, 2, 3, 4}));
    ASSERT_EQ(owner.reports.size(), 2u);
    EXPECT_EQ(owner.reports[1].header, &empty.header);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, ResetMarksEverythingDoneAtOnceAndReportsEachOnceInOrder) {
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0), b(4, 10), c(4, 20);
    Queue(device, a);
    Queue(device, b);
    Queue(device, c);
    card.Complete(1);  // a's report is on its way, b and c are queued

    EXPECT_EQ(WaveOutReset(device), MMSYSERR_NOERROR);
    for (Buffer* x : {&a, &b, &c}) EXPECT_EQ(x->header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_TRUE(owner.reports.empty());  // told afterwards, not from inside the reset
    EXPECT_EQ(card.QueuedCount(), 0u);
    EXPECT_EQ(card.Complete(), 0u);
    EXPECT_EQ(card.Played(), Bytes({&a}));

    // The players' stop: unprepare every header that is done and prepared.
    for (Buffer* x : {&a, &b, &c}) EXPECT_EQ(WaveOutUnprepareHeader(device, &x->header), MMSYSERR_NOERROR);
    EXPECT_EQ(ui.Pump(), 3u);
    ASSERT_EQ(owner.reports.size(), 3u);
    EXPECT_EQ(owner.reports[0].header, &a.header);
    EXPECT_EQ(owner.reports[1].header, &b.header);
    EXPECT_EQ(owner.reports[2].header, &c.header);
    // The late reports meet headers that are done but no longer prepared.
    for (const Report& r : owner.reports) EXPECT_EQ(r.flags, WHDR_DONE);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, LateReportsAfterAResetMeetRequeuedHeadersUndone) {
    // Stop and start again before the reset's reports arrive: the stale reports find the
    // headers queued again, not done, and the new writes are reported on their own.
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0), b(4, 10);
    Queue(device, a);
    Queue(device, b);
    WaveOutReset(device);
    for (Buffer* x : {&a, &b}) {
        WaveOutUnprepareHeader(device, &x->header);
        x->header.dwFlags = 0;
        Queue(device, *x);
    }
    ui.Pump();
    ASSERT_EQ(owner.reports.size(), 2u);
    for (const Report& r : owner.reports) EXPECT_EQ(r.flags, WHDR_PREPARED | WHDR_INQUEUE);

    EXPECT_EQ(card.Complete(), 2u);
    ui.Pump();
    ASSERT_EQ(owner.reports.size(), 4u);
    EXPECT_EQ(owner.reports[2].header, &a.header);
    EXPECT_EQ(owner.reports[2].flags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(owner.reports[3].header, &b.header);
    EXPECT_EQ(card.Played(), Bytes({&a, &b}));
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, CloseRefusesWhileQueuedAndDropsReportsAfterwards) {
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0), b(4, 10);
    Queue(device, a);
    Queue(device, b);
    EXPECT_EQ(WaveOutClose(device), WAVERR_STILLPLAYING);
    EXPECT_EQ(card.OpenDevices(), 1u);

    card.Complete(1);
    EXPECT_EQ(WaveOutClose(device), WAVERR_STILLPLAYING);  // b still queued
    card.Complete(1);
    // Both played, neither reported: the close hands them back done all the same.
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(a.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(b.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(card.OpenDevices(), 0u);
    EXPECT_EQ(ui.Pending(), 2u);
    ui.Pump();
    EXPECT_TRUE(owner.reports.empty());
    EXPECT_EQ(WaveOutWrite(device, &a.header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualWaveOutTest, ReportsOfAnEarlierGenerationNeverReachALaterDevice) {
    RecordingOwner second;
    for (int generation = 0; generation < 50; ++generation) {
        HWAVEOUT first = Open(&owner);
        Buffer a(4, 0);
        Queue(first, a);
        card.Complete();
        ASSERT_EQ(WaveOutClose(first), MMSYSERR_NOERROR);
        // Whatever the allocator does, the next device is another generation.
        HWAVEOUT next = Open(&second);
        EXPECT_NE(next, first);
        ui.Pump();
        EXPECT_EQ(WaveOutPrepareHeader(first, &a.header), MMSYSERR_INVALHANDLE);
        ASSERT_EQ(WaveOutClose(next), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(owner.reports.empty());
    EXPECT_TRUE(second.reports.empty());
    EXPECT_EQ(card.OpensSoFar(), 100u);
}

TEST_F(VirtualWaveOutTest, ReportsForADestroyedOwnerAreDropped) {
    int heard = 0;
    struct CountingOwner : IWaveOutOwner {
        explicit CountingOwner(int& n) : count(n) {}
        void OnWaveOutDone(HWAVEOUT, WAVEHDR*) override { ++count; }
        int& count;
    };
    auto doomed = std::make_unique<CountingOwner>(heard);
    HWAVEOUT device = Open(doomed.get());
    Buffer a(4, 0), b(4, 4);
    Queue(device, a);
    Queue(device, b);
    card.Complete(1);
    ui.Pump();
    EXPECT_EQ(heard, 1);
    card.Complete(1);
    doomed.reset();
    ui.Pump();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(b.header.dwFlags, WHDR_PREPARED | WHDR_DONE);  // still handed back
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, FormatsAndDevicesTheMachineDoesNotHave) {
    EXPECT_EQ(WaveOutQuery(0, Pcm16(44100, 2)), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveOutQuery(1, Pcm16(44100)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{kWaveOutPcm, 1, 44100, 24}), WAVERR_BADFORMAT);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{3, 1, 44100, 16}), WAVERR_BADFORMAT);  // not PCM

    card.SetFormatFilter([](const WaveOutFormat& f) { return f.samplesPerSec != 22050; });
    HWAVEOUT device = reinterpret_cast<HWAVEOUT>(uintptr_t{1});
    EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, Pcm16(22050), &owner), WAVERR_BADFORMAT);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(card.OpensSoFar(), 0u);

    device = Open(&owner, 16000);
    EXPECT_EQ(card.LastFormat().samplesPerSec, 16000u);
    WaveOutClose(device);

    // No device at all: "no driver", whatever the format.
    card.SetDeviceCount(0);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, Pcm16(16000)), MMSYSERR_NODRIVER);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{kWaveOutPcm, 1, 44100, 24}), MMSYSERR_NODRIVER);
    EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, Pcm16(16000), &owner), MMSYSERR_NODRIVER);
}

TEST(WaveOutDispatcher, ApplicationDispatcherRunsReportsInTheEventLoopThread) {
    CWxWaveOutDispatcher dispatcher;
    wxInitializer wx;
    ASSERT_TRUE(wx.IsOk());
    ASSERT_NE(wxAppConsole::GetInstance(), nullptr);
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
        dispatcher.Post([&] { order.push_back(1); ranOn = std::this_thread::get_id(); });
        dispatcher.Post([&] { order.push_back(2); });
    });
    poster.join();
    EXPECT_TRUE(order.empty());
    wxAppConsole::GetInstance()->ProcessPendingEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// The sound card path on a machine without one: the original's "no device", not a
// failure of the layer. Run in a fresh process whose ALSA sees no user configuration
// and no sound server, because PortAudio looks at the machine once per process.
bool MachineHasSoundCard() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", ec))
        if (entry.path().filename().string().rfind("controlC", 0) == 0) return true;
    return false;
}

TEST(WaveOutPortAudio, MachineWithoutOutputDeviceReportsNoDevice) {
    if (MachineHasSoundCard()) GTEST_SKIP() << "this machine has a sound card";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto probe = [] {
        char home[] = "/tmp/korvane-nodev-XXXXXX";
        if (!mkdtemp(home)) _exit(3);
        setenv("HOME", home, 1);
        setenv("XDG_RUNTIME_DIR", home, 1);
        setenv("PULSE_SERVER", "unix:/nonexistent", 1);
        SetWaveOutBackend(nullptr);
        const MMRESULT query = WaveOutQuery(WAVE_MAPPER, Pcm16(16000));
        HWAVEOUT device = nullptr;
        RecordingOwner owner;
        const MMRESULT open = WaveOutOpen(&device, WAVE_MAPPER, Pcm16(22050), &owner);
        // Looking again (as the next play does) must not change the answer or crash.
        const MMRESULT again = WaveOutQuery(WAVE_MAPPER, Pcm16(44100));
        std::filesystem::remove_all(home);
        fprintf(stderr, "query %u open %u again %u\n", query, open, again);
        _exit(query == MMSYSERR_NODRIVER && open == MMSYSERR_NODRIVER && again == MMSYSERR_NODRIVER && !device ? 0 : 1);
    };
    EXPECT_EXIT(probe(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
