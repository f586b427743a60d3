// The time stretch: output counts per call, pitch and duration, seamless output
// across calls, and the bounds a long play or an odd caller must keep.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "audio/TimeStretch.h"

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

// Runs `input` through the stretch in calls of the given sizes (cycled); returns the
// joined output and the count of every call.
std::vector<float> Stretch(CTimeStretch& ts, const std::vector<float>& input, const std::vector<size_t>& sizes,
                       std::vector<uint32_t>* counts = nullptr) {
    std::vector<float> all;
    std::vector<float> out(CTimeStretch::kBufferSamples);
    size_t at = 0;
    for (size_t call = 0; at < input.size(); ++call) {
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
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

TEST(TimeStretch, SignCountsZeroAsPositive) {
    EXPECT_EQ(CTimeStretch::Sign(0.0f), 1);
    EXPECT_EQ(CTimeStretch::Sign(-0.0f), 1);
    EXPECT_EQ(CTimeStretch::Sign(1e-30f), 1);
    EXPECT_EQ(CTimeStretch::Sign(-1e-30f), -1);
    EXPECT_EQ(CTimeStretch::Sign(-32768.0f), -1);
}

struct TableRow {
    int index;
    uint32_t counts[3];  // 16000, 22050, 44100 Hz
};
constexpr TableRow kTable[] = {
    {1, {2133, 2940, 5880}}, {2, {1600, 2205, 4410}}, {3, {1280, 1764, 3528}}, {4, {1066, 1470, 2940}},
    {5, {914, 1260, 2520}},  {6, {800, 1102, 2205}},  {7, {640, 882, 1764}},   {8, {533, 735, 1470}},
};
constexpr uint32_t kRates[3] = {16000, 22050, 44100};

class TimeStretchSpeeds : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(TimeStretchSpeeds, EveryFullBufferGivesTheTableCountAndPitchStays) {
    const auto [row, column] = GetParam();
    const uint32_t rate = kRates[column];
    const int index = kTable[row].index;
    const uint32_t expected = kTable[row].counts[column];
    CTimeStretch ts;
    Configure(ts, rate, index);
    EXPECT_EQ(ts.OutputCount(rate / 10), expected);

    // Thirty seconds of 1 kHz in 100 ms buffers.
    std::vector<float> tone(rate * 30);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(12000 * std::sin(2 * M_PI * 1000.0 * i / rate));
    std::vector<uint32_t> counts;
    const std::vector<float> out = Stretch(ts, tone, {rate / 10}, &counts);
    for (size_t call = 0; call < counts.size(); ++call) ASSERT_EQ(counts[call], expected) << "call " << call;

    // Same pitch (within 2 %), measured away from the leading silence and the tail.
    const double f = Frequency(out, 8000, out.size() - 2000, rate);
    EXPECT_NEAR(f, 1000.0, 20.0);
}

INSTANTIATE_TEST_SUITE_P(AllSpeedsAndRates, TimeStretchSpeeds,
                         ::testing::Combine(::testing::Range(0, 8), ::testing::Range(0, 3)));

TEST(TimeStretch, NormalSpeedIsTheInputDelayedBy5900Samples) {
    // After a reset every segment lands exactly after the previous one: lag -100 is
    // the smallest and matches perfectly, and ties keep it. Leading silence (all
    // scores equal) must not move it either.
    CTimeStretch ts;
    Configure(ts, 16000, 2);
    std::vector<float> input(16000 * 2, 0.0f);
    const std::vector<float> voice = Speech(16000 * 4, 16000);
    input.insert(input.end(), voice.begin(), voice.end());
    const std::vector<float> out = Stretch(ts, input, {1600});
    ASSERT_EQ(out.size(), input.size());
    for (size_t k = 0; k < 5900; ++k) ASSERT_EQ(out[k], 0.0f) << k;
    for (size_t k = 5900; k < out.size(); ++k) ASSERT_NEAR(out[k], input[k - 5900], 0.01f) << k;
}

TEST(TimeStretch, FirstCallAtLowestSpeedStepRunsNoSegmentAndGivesSilence) {
    CTimeStretch ts;
    Configure(ts, 16000, 8);
    const std::vector<float> voice = Speech(1600, 16000);
    std::vector<float> out(CTimeStretch::kBufferSamples, 1.0f);
    uint32_t m = 0;
    ts.Process(voice.data(), out.data(), 1600, &m);
    EXPECT_EQ(m, 533u);
    for (uint32_t i = 0; i < m; ++i) ASSERT_EQ(out[i], 0.0f);
}

TEST(TimeStretch, OutputJoinsSeamlesslyWhateverTheCallSizes) {
    // Every sample handed out is final, so the joined outputs of any split of the
    // input are prefixes of one and the same stream.
    for (int index : {1, 4, 6, 8}) {
        CTimeStretch whole, ragged;
        Configure(whole, 22050, index);
        Configure(ragged, 22050, index);
        const std::vector<float> voice = Speech(22050 * 6, 22050);
        const std::vector<float> a = Stretch(whole, voice, {2205});
        const std::vector<float> b = Stretch(ragged, voice, {2205, 17, 2205, 2205, 900, 1, 3000, 2205, 0, 2205});
        const size_t common = std::min(a.size(), b.size());
        ASSERT_GT(common, 22050u);
        for (size_t i = 0; i < common; ++i) ASSERT_EQ(a[i], b[i]) << "index " << index << " sample " << i;
    }
}

TEST(TimeStretch, StretchedToneHasNoJumpsAtSegmentOrBufferEdges) {
    CTimeStretch ts;
    Configure(ts, 16000, 4);
    const double amplitude = 10000, f = 300;
    std::vector<float> tone(16000 * 5);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * f * i / 16000));
    const std::vector<float> out = Stretch(ts, tone, {1600});
    const double steepest = amplitude * 2 * M_PI * f / 16000;
    double worst = 0;
    for (size_t i = 5901; i < out.size(); ++i) worst = std::max(worst, std::fabs(double(out[i]) - out[i - 1]));
    EXPECT_LT(worst, 1.25 * steepest);
}

TEST(TimeStretch, ShortBuffersAtTheEndOfRangesNeverHandOutUnfinishedOutput) {
    // Continuous play in one file runs through the stretch without a reset; the last
    // buffer of each phrase is short but asks for a full count. What comes out must
    // stay the same seamless stream, only less of it per call while the stock is low.
    CTimeStretch phrases, reference;
    Configure(phrases, 44100, 4);
    Configure(reference, 44100, 4);
    const std::vector<float> voice = Speech(44100 * 8, 44100);
    std::vector<size_t> sizes;
    for (int phrase = 0; phrase < 12; ++phrase) {
        for (int i = 0; i < 5; ++i) sizes.push_back(4410);
        sizes.push_back(phrase % 3 == 0 ? 1 : 30);
    }
    std::vector<uint32_t> counts;
    const std::vector<float> a = Stretch(phrases, voice, sizes, &counts);
    const std::vector<float> b = Stretch(reference, voice, {4410});
    for (uint32_t m : counts) EXPECT_LE(m, 2940u);
    const size_t common = std::min(a.size(), b.size());
    ASSERT_GT(common, 44100u);
    for (size_t i = 0; i < common; ++i) ASSERT_EQ(a[i], b[i]) << i;
}

TEST(TimeStretch, LongPlayKeepsItsLatencyBounded) {
    // At x1.50 and 16000 Hz the table hands out 1066 samples where the input yields
    // 1067.4 per call: without a bound the retained output, and with it the delay
    // between input and sound, grows by 1.4 samples per call until the buffer overflows.
    auto delayOfClickAfter = [](int calls) {
        CTimeStretch ts;
        Configure(ts, 16000, 4);
        std::vector<float> in(1600, 0.0f), out(CTimeStretch::kBufferSamples);
        uint32_t m = 0;
        for (int c = 0; c < calls; ++c) ts.Process(in.data(), out.data(), 1600, &m);
        for (size_t i = 0; i < 40; ++i) in[i] = 20000.0f;
        for (int c = 0; c < 100; ++c) {
            ts.Process(in.data(), out.data(), 1600, &m);
            std::fill(in.begin(), in.end(), 0.0f);
            for (uint32_t i = 0; i < m; ++i)
                if (std::fabs(out[i]) > 1000.0f) return c;
        }
        return -1;
    };
    const int early = delayOfClickAfter(10);
    const int late = delayOfClickAfter(9000);  // 15 minutes
    ASSERT_GE(early, 0);
    ASSERT_GE(late, 0);
    EXPECT_LE(late - early, 1);
}

TEST(TimeStretch, CatchUpAfterLongPlayAddsOnlyAFewSamplesPerCall) {
    CTimeStretch ts;
    Configure(ts, 44100, 4);
    const std::vector<float> voice = Speech(4410 * 64, 44100);
    std::vector<float> out(CTimeStretch::kBufferSamples);
    uint32_t m = 0;
    uint32_t least = UINT32_MAX, most = 0;
    for (int c = 0; c < 3000; ++c) {  // five minutes
        ts.Process(voice.data() + (c % 64) * 4410, out.data(), 4410, &m);
        least = std::min(least, m);
        most = std::max(most, m);
    }
    EXPECT_EQ(least, 2940u);
    EXPECT_GT(most, 2940u);  // the bound has been reached and is being held
    EXPECT_LE(most, 2940u + CTimeStretch::kMaxCatchUp);
}

TEST(TimeStretch, RateWithoutTableRowStillChangesTheSpeed) {
    CTimeStretch ts;
    Configure(ts, 48000, 6);  // hop 2000: 2400 out per 4800 in
    EXPECT_EQ(ts.OutputCount(4800), 2400u);
    const std::vector<float> voice = Speech(48000 * 20, 48000);
    std::vector<uint32_t> counts;
    Stretch(ts, voice, {4800}, &counts);
    for (uint32_t m : counts) ASSERT_EQ(m, 2400u);
}

TEST(TimeStretch, OversizedOrOddCallsStayWithinTheBuffers) {
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

    // A ratio that is no speed at all plays at normal speed rather than stalling.
    ts.SetRatio(0.0);
    ts.SetSampleRate(8000);
    EXPECT_EQ(ts.OutputCount(800), 800u);
    ts.SetRatio(1e-9);
    for (int c = 0; c < 200; ++c) ts.Process(big.data(), out.data(), 1600, &m);
    EXPECT_GT(m, 0u);
    EXPECT_EQ(ts.GetRatio(), 1e-9);
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
