#include "audio/LevelMeter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/WavePlayOperation.h"

namespace {

int PeakOf(const std::vector<int16_t>& samples) {
    std::vector<char> bytes(2 * samples.size());
    if (!samples.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
    WAVEHDR header{};
    header.lpData = bytes.data();
    header.dwBufferLength = static_cast<uint32_t>(bytes.size());
    return CWavePlayOperation::GetPeakLevel(&header);
}

}  // namespace

TEST(PeakLevel, SilenceFullScaleAndAPeakOfOneHundred) {
    EXPECT_EQ(PeakOf(std::vector<int16_t>(1600, 0)), -96);
    EXPECT_EQ(PeakOf({}), -96);
    EXPECT_EQ(CWavePlayOperation::GetPeakLevel(nullptr), -96);
    EXPECT_EQ(PeakOf({0, 5, -32768, 3}), 0);
    EXPECT_EQ(PeakOf({0, 100, -20}), -50);
    EXPECT_EQ(PeakOf({0, -100, 20}), -50);
    EXPECT_EQ(PeakOf({1}), -90);             // -90.3 truncates toward zero
    EXPECT_EQ(PeakOf({-1000, -16384}), -6);  // only negative samples
}

TEST(LevelMeterState, SegmentsOfTheLevels) {
    // The edges of the 5 dB steps, the 1 dB steps, and above full scale.
    const int cases[][2] = {{-95, 0}, {-50, 0}, {-49, 1}, {-45, 1}, {-44, 2}, {-30, 4}, {-29, 5}, {0, 34}, {1, 35}};
    for (const auto& c : cases) EXPECT_EQ(CLevelMeterState::SegmentOfLevel(c[0]), c[1]) << c[0];
}

TEST(LevelMeterState, APeakHoldsForSixteenChangingCallsAndSilenceClearsIt) {
    CLevelMeterState meter;
    ASSERT_TRUE(meter.SetLevel(0));  // segment 34
    // Falling and rising below it on every call.
    for (int call = 2; call <= 16; ++call) {
        EXPECT_TRUE(meter.SetLevel(call % 2 == 0 ? -20 : -10)) << call;
        EXPECT_EQ(meter.PeakSegment(), 34) << call;
    }
    EXPECT_TRUE(meter.SetLevel(-10));  // call 17
    EXPECT_EQ(meter.PeakSegment(), 24);
    // A higher level takes the marker at once.
    EXPECT_TRUE(meter.SetLevel(-5));
    EXPECT_EQ(meter.PeakSegment(), 29);
    // Silence clears the bar and the marker; the next level sets the marker again.
    EXPECT_TRUE(meter.SetLevel(-96));
    EXPECT_EQ(meter.CurrentSegment(), -1);
    EXPECT_EQ(meter.PeakSegment(), -1);
    EXPECT_TRUE(meter.SetLevel(-40));
    EXPECT_EQ(meter.PeakSegment(), 2);
}

TEST(LevelMeterState, FourUnchangedCallsBringTheMarkerDown) {
    CLevelMeterState meter;
    ASSERT_TRUE(meter.SetLevel(0));
    ASSERT_TRUE(meter.SetLevel(-20));  // segment 14, marker stays at 34
    for (int same = 1; same <= 3; ++same) {
        EXPECT_FALSE(meter.SetLevel(-20)) << same;  // nothing to redraw
        EXPECT_EQ(meter.PeakSegment(), 34);
    }
    EXPECT_TRUE(meter.SetLevel(-20));
    EXPECT_EQ(meter.PeakSegment(), 14);
    // Levels within one segment count as unchanged.
    EXPECT_FALSE(meter.SetLevel(-20));
    EXPECT_TRUE(meter.SetLevel(-50));
    EXPECT_FALSE(meter.SetLevel(-60));
}
