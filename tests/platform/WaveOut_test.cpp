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

class RecordingOwner : public IWaveOutOwner {
public:
    void OnWaveOutDone(HWAVEOUT, WAVEHDR* header) override {
        headers.push_back(header);
        flags.push_back(header->dwFlags);  // as the owner found them
    }
    std::vector<WAVEHDR*> headers;
    std::vector<uint32_t> flags;
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

constexpr uint32_t kQueued = WHDR_PREPARED | WHDR_INQUEUE;
constexpr uint32_t kDone = WHDR_PREPARED | WHDR_DONE;

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
    void Queue(HWAVEOUT device, std::initializer_list<Buffer*> buffers) {
        for (Buffer* b : buffers) {
            ASSERT_EQ(WaveOutPrepareHeader(device, &b->header), MMSYSERR_NOERROR);
            ASSERT_EQ(WaveOutWrite(device, &b->header), MMSYSERR_NOERROR);
        }
    }

    CVirtualWaveOut card;
    CManualWaveOutDispatcher ui;
    RecordingOwner owner;
};

TEST_F(VirtualWaveOutTest, PlaysWholeFramesInOrderAndReportsOnlyOnThePump) {
    HWAVEOUT device = Open(&owner);
    Buffer a(8, 0), odd(5, 100), empty(0, 0), c(4, 200);
    Queue(device, {&a, &odd, &empty, &c});
    EXPECT_EQ(card.Complete(3), 3u);
    EXPECT_EQ(card.PlayedSizes(), (std::vector<size_t>{8, 4, 0}));  // half a frame is not played
    // Nothing reaches the owner, and no flag changes, until the user-interface thread runs.
    EXPECT_TRUE(owner.headers.empty());
    EXPECT_EQ(a.header.dwFlags, kQueued);

    EXPECT_EQ(ui.Pump(), 3u);
    EXPECT_EQ(owner.headers, (std::vector<WAVEHDR*>{&a.header, &odd.header, &empty.header}));
    EXPECT_EQ(owner.flags[0], kDone);
    EXPECT_EQ(c.header.dwFlags, kQueued);
    EXPECT_EQ(card.Complete(), 1u);
    ui.Pump();
    EXPECT_EQ(card.Played(), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 100, 101, 102, 103, 200, 201, 202, 203}));
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, ResetMarksEverythingDoneAtOnceAndLateReportsMeetTheHeadersAsTheyAreNow) {
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0), b(4, 10), c(4, 20);
    Queue(device, {&a, &b, &c});
    card.Complete(1);  // a's report is on its way, b and c are queued

    EXPECT_EQ(WaveOutReset(device), MMSYSERR_NOERROR);
    for (Buffer* x : {&a, &b, &c}) EXPECT_EQ(x->header.dwFlags, kDone);
    EXPECT_TRUE(owner.headers.empty());  // told afterwards, not from inside the reset
    EXPECT_EQ(card.Complete(), 0u);
    EXPECT_EQ(card.Played(), Bytes({&a}));

    // The players' stop unprepares every header that is done and prepared; a restart
    // before the reports arrive writes one again.
    for (Buffer* x : {&a, &b, &c}) EXPECT_EQ(WaveOutUnprepareHeader(device, &x->header), MMSYSERR_NOERROR);
    c.header.dwFlags = 0;
    Queue(device, {&c});
    EXPECT_EQ(ui.Pump(), 3u);
    EXPECT_EQ(owner.headers, (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
    EXPECT_EQ(owner.flags, (std::vector<uint32_t>{WHDR_DONE, WHDR_DONE, kQueued}));
    // The new write is reported on its own.
    EXPECT_EQ(card.Complete(), 1u);
    ui.Pump();
    EXPECT_EQ(owner.headers.back(), &c.header);
    EXPECT_EQ(owner.flags.back(), kDone);
    EXPECT_EQ(card.Played(), Bytes({&a, &c}));
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, CloseWaitsForTheQueueAndNoLaterGenerationGetsTheOldReports) {
    RecordingOwner second;
    for (int generation = 0; generation < 50; ++generation) {
        HWAVEOUT first = Open(&owner);
        Buffer a(4, 0), b(4, 10);
        Queue(first, {&a, &b});
        card.Complete(1);
        EXPECT_EQ(WaveOutClose(first), WAVERR_STILLPLAYING);  // b still queued
        card.Complete(1);
        // Both played, neither reported: the close hands them back done all the same.
        ASSERT_EQ(WaveOutClose(first), MMSYSERR_NOERROR);
        EXPECT_EQ(b.header.dwFlags, kDone);
        // Whatever the allocator does, the next device is another generation.
        HWAVEOUT next = Open(&second);
        EXPECT_NE(next, first);
        EXPECT_EQ(ui.Pump(), 2u);
        EXPECT_EQ(WaveOutWrite(first, &a.header), MMSYSERR_INVALHANDLE);
        ASSERT_EQ(WaveOutClose(next), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(owner.headers.empty());
    EXPECT_TRUE(second.headers.empty());
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
    Queue(device, {&a, &b});
    card.Complete(1);
    ui.Pump();
    EXPECT_EQ(heard, 1);
    card.Complete(1);
    doomed.reset();
    ui.Pump();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(b.header.dwFlags, kDone);  // still handed back
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(VirtualWaveOutTest, ErrorResultsOfHeadersFormatsAndDevices) {
    HWAVEOUT device = Open(&owner);
    Buffer a(4, 0);
    EXPECT_EQ(WaveOutWrite(device, &a.header), WAVERR_UNPREPARED);
    Queue(device, {&a});
    EXPECT_EQ(WaveOutWrite(device, &a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(WaveOutUnprepareHeader(device, &a.header), WAVERR_STILLPLAYING);
    WaveOutReset(device);
    EXPECT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);

    EXPECT_EQ(WaveOutQuery(1, Pcm16(44100)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{kWaveOutPcm, 1, 44100, 24}), WAVERR_BADFORMAT);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{3, 1, 44100, 16}), WAVERR_BADFORMAT);  // not PCM

    card.SetFormatFilter([](const WaveOutFormat& f) { return f.samplesPerSec != 22050; });
    EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, Pcm16(22050), &owner), WAVERR_BADFORMAT);
    EXPECT_EQ(device, nullptr);

    // No device at all: "no driver", whatever the format.
    card.SetDeviceCount(0);
    EXPECT_EQ(WaveOutQuery(WAVE_MAPPER, WaveOutFormat{kWaveOutPcm, 1, 44100, 24}), MMSYSERR_NODRIVER);
    EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, Pcm16(16000), &owner), MMSYSERR_NODRIVER);
}

TEST(WaveOutDispatcher, ApplicationDispatcherRunsReportsInTheEventLoopThread) {
    CWxWaveOutDispatcher dispatcher;
    wxInitializer wx;
    ASSERT_TRUE(wx.IsOk());
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
TEST(WaveOutPortAudio, MachineWithoutOutputDeviceReportsNoDevice) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", ec))
        if (entry.path().filename().string().rfind("controlC", 0) == 0) GTEST_SKIP() << "this machine has a sound card";
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
