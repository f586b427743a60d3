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

namespace fs = std::filesystem;

// Plays a byte stream the way the players do: ten headers of 100 ms in flight, each
// one refilled and written again when it comes back.
class StreamingOwner : public IWaveOutOwner {
public:
    StreamingOwner(std::vector<char> source, size_t bytesPerBuffer) : m_source(std::move(source)) {
        for (auto& b : m_buffers) b.assign(bytesPerBuffer, 0);
    }

    bool Start(HWAVEOUT device) {
        m_device = device;
        for (size_t i = 0; i < 10; ++i)
            if (!Queue(i)) break;
        return m_failures == 0;
    }

    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        ++reports;
        lateFlags.push_back(header->dwFlags);
        if ((header->dwFlags & (WHDR_DONE | WHDR_PREPARED)) != (WHDR_DONE | WHDR_PREPARED)) return;  // after a reset
        if (WaveOutUnprepareHeader(device, header) != MMSYSERR_NOERROR) ++m_failures;
        --queued;
        Queue(static_cast<size_t>(header - m_headers));
    }

    // The players' stop: reset, then unprepare what came back.
    void Stop() {
        if (WaveOutReset(m_device) != MMSYSERR_NOERROR) ++m_failures;
        for (WAVEHDR& h : m_headers) {
            if ((h.dwFlags & (WHDR_DONE | WHDR_PREPARED)) == (WHDR_DONE | WHDR_PREPARED)) {
                if (WaveOutUnprepareHeader(m_device, &h) != MMSYSERR_NOERROR) ++m_failures;
            }
        }
        queued = 0;
    }

    // A new range on the same device, as continuous play does.
    void Restart(std::vector<char> source) {
        m_source = std::move(source);
        m_next = 0;
        Start(m_device);
    }

    bool Finished() const { return queued == 0 && m_next >= m_source.size(); }
    int failures() const { return m_failures; }

    int reports = 0;
    int queued = 0;
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
            ++m_failures;
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
    int m_failures = 0;
};

// Sets up the temporary home and returns the capture file's path; empty on failure.
std::string CaptureHome() {
    char home[] = "/tmp/korvane-capture-XXXXXX";
    if (!mkdtemp(home)) return {};
    const std::string capture = std::string(home) + "/played.raw";
    std::ofstream rc(std::string(home) + "/.asoundrc");
    rc << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" << capture << "\"\n  format \"raw\"\n}\n";
    rc.close();
    setenv("HOME", home, 1);
    return rc ? capture : std::string();
}

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A waveform that tells every position apart, so that a lost or repeated piece shows.
std::vector<char> Source(size_t frames, uint16_t channels, uint32_t salt) {
    std::vector<char> bytes(frames * channels * 2);
    for (size_t i = 0; i < frames * channels; ++i) {
        const int16_t v = static_cast<int16_t>((i * 2654435761u + salt) >> 7);
        bytes[2 * i] = static_cast<char>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    return bytes;
}

bool PumpUntil(CManualWaveOutDispatcher& ui, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ui.WaitAndPump(std::chrono::milliseconds(50));
    }
    return true;
}

#define CHILD_CHECK(cond)                                                 \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            _exit(1);                                                     \
        }                                                                 \
    } while (0)

// Plays `seconds` of 16-bit audio and compares the capture with what was sent.
void PlayAndCompare(uint32_t rate, uint16_t channels, double seconds) {
    const std::string capture = CaptureHome();
    CHILD_CHECK(!capture.empty());
    CManualWaveOutDispatcher ui;
    SetWaveOutDispatcher(&ui);
    const WaveOutFormat format{kWaveOutPcm, channels, rate, 16};
    CHILD_CHECK(WaveOutQuery(WAVE_MAPPER, format) == MMSYSERR_NOERROR);

    const std::vector<char> source = Source(static_cast<size_t>(rate * seconds), channels, rate);
    StreamingOwner owner(source, rate * channels * 2 / 10);
    HWAVEOUT device = nullptr;
    CHILD_CHECK(WaveOutOpen(&device, WAVE_MAPPER, format, &owner) == MMSYSERR_NOERROR);
    CHILD_CHECK(owner.Start(device));
    CHILD_CHECK(PumpUntil(ui, [&] { return owner.Finished(); }));
    CHILD_CHECK(owner.failures() == 0);
    CHILD_CHECK(WaveOutClose(device) == MMSYSERR_NOERROR);

    const std::vector<char> played = ReadAll(capture);
    fprintf(stderr, "sent %zu bytes, captured %zu\n", source.size(), played.size());
    CHILD_CHECK(played == source);
    fs::remove_all(fs::path(capture).parent_path());
    _exit(0);
}

class WaveOutCapture : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(WaveOutCapture, PlaysExactlyTheBytesWrittenAtTheProjectRate) {
    EXPECT_EXIT(PlayAndCompare(GetParam(), 1, 2.37), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(ProjectRates, WaveOutCapture, ::testing::Values(16000u, 22050u, 44100u));

// Stop in the middle, then play another range on the same device: what was heard of
// the first range is a prefix of it, every header comes back exactly once, the late
// reports meet unprepared headers, and the second range plays whole.
void StopAndPlayOn() {
    const std::string capture = CaptureHome();
    CHILD_CHECK(!capture.empty());
    CManualWaveOutDispatcher ui;
    SetWaveOutDispatcher(&ui);
    const WaveOutFormat format{kWaveOutPcm, 1, 16000, 16};
    const std::vector<char> first = Source(16000 * 3, 1, 1);
    const std::vector<char> second = Source(16000 / 2 + 77, 1, 2);

    StreamingOwner owner(first, 3200);
    HWAVEOUT device = nullptr;
    CHILD_CHECK(WaveOutOpen(&device, WAVE_MAPPER, format, &owner) == MMSYSERR_NOERROR);
    CHILD_CHECK(owner.Start(device));
    CHILD_CHECK(PumpUntil(ui, [&] { return owner.reports >= 3; }));
    CHILD_CHECK(WaveOutClose(device) == WAVERR_STILLPLAYING);

    const int before = owner.reports;
    const size_t inFlight = static_cast<size_t>(owner.queued);
    owner.Stop();
    CHILD_CHECK(owner.failures() == 0);
    owner.lateFlags.clear();
    ui.Pump();
    CHILD_CHECK(owner.reports - before == static_cast<int>(inFlight));
    for (uint32_t flags : owner.lateFlags) CHILD_CHECK(flags == WHDR_DONE);

    owner.Restart(second);
    CHILD_CHECK(PumpUntil(ui, [&] { return owner.Finished(); }));
    CHILD_CHECK(owner.failures() == 0);
    CHILD_CHECK(WaveOutClose(device) == MMSYSERR_NOERROR);

    const std::vector<char> played = ReadAll(capture);
    fprintf(stderr, "captured %zu bytes\n", played.size());
    CHILD_CHECK(played.size() >= second.size());
    const size_t head = played.size() - second.size();
    CHILD_CHECK(head <= first.size() && head % 2 == 0);
    CHILD_CHECK(std::equal(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(head), first.begin()));
    CHILD_CHECK(std::equal(played.begin() + static_cast<std::ptrdiff_t>(head), played.end(), second.begin()));
    fs::remove_all(fs::path(capture).parent_path());
    _exit(0);
}

TEST(WaveOutCaptureStop, StopKeepsOrderAndThePlayedPartIsAPrefix) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StopAndPlayOn(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
