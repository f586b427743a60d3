// The time stretch: output counts per call, pitch and duration, seamless output
// across calls, and the bounds a long play or an odd caller must keep.

#include "audio/TimeStretch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/PlayerTestSupport.h"

using playertest::kStretchRates;
using playertest::kStretchTable;

namespace {

// The players' ratios by speed index (x0.75 .. x3.00).
constexpr double kRatio[9] = {0, 1.3333333333333, 1.0, 0.8, 0.66666666666667, 0.57142857142857,
                              0.49977324263038, 0.4, 0.33333333333333};

void Configure(CTimeStretch& ts, uint32_t rate, int index) {
    ts.SetSampleRate(rate);
    ts.SetSpeedIndex(index);
    ts.SetRatio(kRatio[index]);
}

// A tone with a second partial, so that signs are not trivially periodic.
std::vector<float> Speech(size_t n, uint32_t rate, double f = 440.0) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        s[i] = static_cast<float>(9000 * std::sin(2 * M_PI * f * t) + 2500 * std::sin(2 * M_PI * 2.37 * f * t + 0.3));
    }
    return s;
}

std::vector<float> Sine(double f, uint32_t rate, size_t n, double amplitude) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * f * i / rate));
    return s;
}

// Runs `input` through the stretch in calls of the given sizes (cycled); returns the
// joined output and the count of every call.
std::vector<float> Stretch(CTimeStretch& ts, const std::vector<float>& input, const std::vector<size_t>& sizes,
                           std::vector<uint32_t>* counts = nullptr) {
    std::vector<float> all, out(CTimeStretch::kBufferSamples);
    for (size_t call = 0, at = 0; at < input.size(); ++call) {
        const size_t n = std::min(sizes[call % sizes.size()], input.size() - at);
        uint32_t m = 0;
        EXPECT_EQ(ts.Process(input.data() + at, out.data(), static_cast<uint32_t>(n), &m), 0);
        all.insert(all.end(), out.begin(), out.begin() + m);
        if (counts) counts->push_back(m);
        at += n;
    }
    return all;
}

// Frequency from rising zero crossings between `from` and `to`.
double Frequency(const std::vector<float>& s, size_t from, size_t to, uint32_t rate) {
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings++ == 0) first = i;
            last = i;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

class TimeStretchSpeeds : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(TimeStretchSpeeds, EveryFullBufferGivesTheTableCountAndPitchStays) {
    const auto [row, column] = GetParam();
    const uint32_t rate = kStretchRates[column], expected = kStretchTable[row][column];
    CTimeStretch ts;
    Configure(ts, rate, row + 1);
    // Thirty seconds of 1 kHz in 100 ms buffers: the count sets the duration.
    std::vector<uint32_t> counts;
    const std::vector<float> out = Stretch(ts, Sine(1000.0, rate, rate * 30, 12000), {rate / 10}, &counts);
    EXPECT_EQ(counts, std::vector<uint32_t>(300, expected));
    // Same pitch (within 2 %), measured away from the leading silence and the tail.
    EXPECT_NEAR(Frequency(out, 8000, out.size() - 2000, rate), 1000.0, 20.0);
}

INSTANTIATE_TEST_SUITE_P(AllSpeedsAndRates, TimeStretchSpeeds,
                         ::testing::Combine(::testing::Range(0, 8), ::testing::Range(0, 3)));

TEST(TimeStretch, OutputIsOneSeamlessStreamWhateverTheCallSizes) {
    // Every sample handed out is final. Continuous play within a file runs without a
    // reset, and the short last buffer of each phrase must not hand out unfinished output.
    std::vector<size_t> phrases;
    for (int phrase = 0; phrase < 12; ++phrase) {
        phrases.insert(phrases.end(), 5, 2205);
        phrases.push_back(phrase % 3 == 0 ? 1 : 30);
    }
    const std::vector<float> voice = Speech(22050 * 6, 22050);
    for (int index : {1, 4, 6, 8}) {
        SCOPED_TRACE(index);
        auto run = [&](const std::vector<size_t>& sizes, std::vector<uint32_t>* counts = nullptr) {
            CTimeStretch ts;
            Configure(ts, 22050, index);
            return Stretch(ts, voice, sizes, counts);
        };
        const std::vector<float> a = run({2205});
        std::vector<uint32_t> counts;
        for (const std::vector<float>& b : {run({2205, 17, 2205, 2205, 900, 1, 3000, 2205, 0, 2205}), run(phrases, &counts)}) {
            const size_t common = std::min(a.size(), b.size());
            ASSERT_GT(common, 22050u);
            EXPECT_TRUE(std::equal(a.begin(), a.begin() + common, b.begin()));
        }
        for (uint32_t m : counts) EXPECT_LE(m, kStretchTable[index - 1][1]);
    }
}

TEST(TimeStretch, LongPlayKeepsItsLatencyBounded) {
    // At x1.50 and 16000 Hz the table hands out 1066 samples where the input yields
    // 1067.4 per call: unbounded, the delay between input and sound grows until the
    // output buffer overflows.
    auto delayOfClickAfter = [](int calls) {
        CTimeStretch ts;
        Configure(ts, 16000, 4);
        std::vector<float> in(1600, 0.0f), out(CTimeStretch::kBufferSamples);
        uint32_t m = 0;
        for (int c = 0; c < calls; ++c) ts.Process(in.data(), out.data(), 1600, &m);
        std::fill(in.begin(), in.begin() + 40, 20000.0f);
        for (int c = 0; c < 100; ++c) {
            ts.Process(in.data(), out.data(), 1600, &m);
            std::fill(in.begin(), in.end(), 0.0f);
            for (uint32_t i = 0; i < m; ++i)
                if (std::fabs(out[i]) > 1000.0f) return c;
        }
        return -1;
    };
    const int early = delayOfClickAfter(10), late = delayOfClickAfter(9000);  // 15 minutes
    ASSERT_GE(early, 0);
    ASSERT_GE(late, 0);
    EXPECT_LE(late - early, 1);

}

TEST(TimeStretch, AnOversizedCallStaysWithinTheBuffers) {
    CTimeStretch ts;
    Configure(ts, 16000, 1);
    const std::vector<float> big = Speech(100000, 16000);
    std::vector<float> out(CTimeStretch::kBufferSamples);
    uint32_t m = 0;
    ts.Process(big.data(), out.data(), static_cast<uint32_t>(big.size()), &m);
    EXPECT_LE(m, static_cast<uint32_t>(CTimeStretch::kBufferSamples));
    // What piled up goes out a little at a time, not all at once.
    ts.Process(big.data(), out.data(), 0, &m);
    EXPECT_LE(m, 2133u + CTimeStretch::kMaxCatchUp);
}

TEST(TimeStretch, ResetStartsOverExactlyLikeANewStretch) {
    CTimeStretch used, fresh;
    Configure(used, 22050, 7);
    Configure(fresh, 22050, 7);
    const std::vector<float> voice = Speech(22050 * 3, 22050);
    Stretch(used, Speech(22050 * 2, 22050, 777.0), {2205});
    EXPECT_EQ(used.Reset(), 0);
    EXPECT_EQ(Stretch(used, voice, {2205}), Stretch(fresh, voice, {2205}));
}

}  // namespace

namespace {

// When the input ends, what the stretch still holds comes out: everything fed is heard,
// up to its last sample, and the stretch starts afresh afterwards.
TEST(TimeStretchDrain, HandsOutWhatIsHeldUpToTheLastInputSample) {
    for (int speed : {1, 3, 8}) {
        SCOPED_TRACE(speed);
        const double ratios[9] = {0, 1.3333333333333, 1.0, 0.8, 0.66666666666667, 0.57142857142857, 0.49977324263038,
                                  0.4, 0.33333333333333};
        CTimeStretch stretch;
        stretch.SetSampleRate(22050);
        stretch.SetSpeedIndex(speed);
        stretch.SetRatio(ratios[speed]);
        stretch.Reset();
        std::vector<float> in(2205, 1000.0f), out(CTimeStretch::kBufferSamples);
        std::vector<float> heard;
        uint32_t m = 0;
        for (int i = 0; i < 30; ++i) {  // 3 s of a steady level
            stretch.Process(in.data(), out.data(), 2205, &m);
            heard.insert(heard.end(), out.begin(), out.begin() + m);
        }
        for (int calls = 0;; ++calls) {
            ASSERT_LT(calls, 10);
            stretch.Drain(out.data(), 3000, &m);  // a small capacity takes several calls
            EXPECT_LE(m, 3000u);
            if (m == 0) break;
            heard.insert(heard.end(), out.begin(), out.begin() + m);
        }
        const double hop = std::floor(1000.0 / ratios[speed]);
        EXPECT_NEAR(static_cast<double>(heard.size()), 6000.0 + 66150.0 * 1000.0 / hop, 1200.0);
        // The end is sound, not silence: the last samples carry the input's level.
        EXPECT_FLOAT_EQ(heard.back(), 1000.0f);
        // Nothing more, and nothing after a Reset without input.
        stretch.Drain(out.data(), 3000, &m);
        EXPECT_EQ(m, 0u);
    }
}

}  // namespace
