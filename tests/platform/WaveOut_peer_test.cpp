// The sound card path end to end: PortAudio on ALSA, whose default PCM is pointed (by
// an .asoundrc in a temporary home) at a file plugin slaved to the null device. The
// file holds exactly what was played. Each case runs in a fresh process, because ALSA
// and PortAudio read the configuration once per process.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/WaveOut.h"
#include "platform/WaveOutDispatcher.h"

namespace {

constexpr uint32_t kDonePrepared = WHDR_DONE | WHDR_PREPARED;

// Plays a byte stream the way the players do: ten headers in flight, each one
// refilled and written again when it comes back.
class StreamingOwner : public IWaveOutOwner {
public:
    explicit StreamingOwner(size_t bytesPerBuffer) {
        for (auto& b : m_buffers) b.assign(bytesPerBuffer, 0);
    }
    // Starts a range on the device; a second call is continuous play on the same device.
    void Play(HWAVEOUT device, std::vector<char> source) {
        m_device = device;
        m_source = std::move(source);
        m_next = 0;
        for (size_t i = 0; i < 10 && Queue(i); ++i) {}
    }
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        ++reports;
        lateFlags.push_back(header->dwFlags);
        if ((header->dwFlags & kDonePrepared) != kDonePrepared) return;  // after a reset
        if (WaveOutUnprepareHeader(device, header) != MMSYSERR_NOERROR) ++failures;
        --queued;
        Queue(static_cast<size_t>(header - m_headers));
    }
    // The players' stop: reset, then unprepare what came back.
    void Stop() {
        if (WaveOutReset(m_device) != MMSYSERR_NOERROR) ++failures;
        for (WAVEHDR& h : m_headers)
            if ((h.dwFlags & kDonePrepared) == kDonePrepared && WaveOutUnprepareHeader(m_device, &h) != MMSYSERR_NOERROR)
                ++failures;
        queued = 0;
    }
    bool Finished() const { return queued == 0 && m_next >= m_source.size(); }

    int reports = 0, queued = 0, failures = 0;
    std::vector<uint32_t> lateFlags;

private:
    bool Queue(size_t i) {
        if (m_next >= m_source.size()) return false;
        const size_t n = std::min(m_buffers[i].size(), m_source.size() - m_next);
        std::copy_n(m_source.begin() + static_cast<std::ptrdiff_t>(m_next), n, m_buffers[i].begin());
        m_next += n;
        m_headers[i] = WAVEHDR{};
        m_headers[i].lpData = m_buffers[i].data();
        m_headers[i].dwBufferLength = static_cast<uint32_t>(n);
        if (WaveOutPrepareHeader(m_device, &m_headers[i]) != MMSYSERR_NOERROR ||
            WaveOutWrite(m_device, &m_headers[i]) != MMSYSERR_NOERROR) {
            ++failures;
            return false;
        }
        ++queued;
        return true;
    }

    std::vector<char> m_source;
    size_t m_next = 0;
    std::vector<char> m_buffers[10];
    WAVEHDR m_headers[10]{};
    HWAVEOUT m_device = nullptr;
};

#define CHILD_CHECK(cond)                                                      \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            _exit(1);                                                          \
        }                                                                      \
    } while (0)

// Sets up the temporary home and returns the capture file's path.
std::string CaptureHome() {
    char home[] = "/tmp/korvane-capture-XXXXXX";
    CHILD_CHECK(mkdtemp(home));
    const std::string capture = std::string(home) + "/played.raw";
    std::ofstream rc(std::string(home) + "/.asoundrc");
    rc << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" << capture << "\"\n  format \"raw\"\n}\n";
    rc.close();
    CHILD_CHECK(rc);
    setenv("HOME", home, 1);
    return capture;
}

// Reads what was captured and removes the temporary home.
std::vector<char> Captured(const std::string& capture) {
    std::ifstream in(capture, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove_all(std::filesystem::path(capture).parent_path());
    return bytes;
}

// A waveform that tells every position apart, so that a lost or repeated piece shows.
std::vector<char> Source(size_t samples, uint32_t salt) {
    std::vector<char> bytes(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        const int16_t v = static_cast<int16_t>((i * 2654435761u + salt) >> 7);
        bytes[2 * i] = static_cast<char>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    return bytes;
}

void PumpUntil(CManualWaveOutDispatcher& ui, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        CHILD_CHECK(std::chrono::steady_clock::now() < deadline);
        ui.WaitAndPump(std::chrono::milliseconds(50));
    }
}

// At each project rate: play a range, stop in the middle, then play another range on
// the same device, as continuous play does. What was heard of the first range is a
// prefix of it, every header comes back exactly once, the late reports meet unprepared
// headers, and the second range plays whole, byte for byte.
void StopAndPlayOn(uint32_t rate) {
    const std::string capture = CaptureHome();
    CManualWaveOutDispatcher ui;
    SetWaveOutDispatcher(&ui);
    const WaveOutFormat format{kWaveOutPcm, 1, rate, 16};
    CHILD_CHECK(WaveOutQuery(WAVE_MAPPER, format) == MMSYSERR_NOERROR);
    const std::vector<char> first = Source(rate * 3, 1), second = Source(static_cast<size_t>(rate * 2.37), rate);
    StreamingOwner owner(rate * 2 / 10);  // 100 ms headers
    HWAVEOUT device = nullptr;
    CHILD_CHECK(WaveOutOpen(&device, WAVE_MAPPER, format, &owner) == MMSYSERR_NOERROR);
    owner.Play(device, first);
    PumpUntil(ui, [&] { return owner.reports >= 3; });
    // No close is tried while it plays: the null device takes data as fast as it comes,
    // so whether anything is still queued at a given moment depends on the machine's load.
    // The refusal itself is the virtual device's test.

    const int before = owner.reports, inFlight = owner.queued;
    owner.Stop();
    owner.lateFlags.clear();
    ui.Pump();
    CHILD_CHECK(owner.reports - before == inFlight);
    for (uint32_t flags : owner.lateFlags) CHILD_CHECK(flags == WHDR_DONE);

    owner.Play(device, second);
    PumpUntil(ui, [&] { return owner.Finished(); });
    CHILD_CHECK(owner.failures == 0);
    CHILD_CHECK(WaveOutClose(device) == MMSYSERR_NOERROR);

    const std::vector<char> played = Captured(capture);
    CHILD_CHECK(played.size() >= second.size());
    const size_t head = played.size() - second.size();
    CHILD_CHECK(head <= first.size() && head % 2 == 0);
    CHILD_CHECK(std::equal(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(head), first.begin()));
    CHILD_CHECK(std::equal(played.begin() + static_cast<std::ptrdiff_t>(head), played.end(), second.begin()));
    _exit(0);
}

class WaveOutCapture : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WaveOutCapture, PlaysExactlyTheBytesWrittenAndStopsCleanly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StopAndPlayOn(GetParam()), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(ProjectRates, WaveOutCapture, ::testing::Values(16000u, 22050u, 44100u));

}  // namespace
