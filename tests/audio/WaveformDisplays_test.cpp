#include <gtest/gtest.h>

#include "audio/WaveformDisplays.h"

namespace {

TEST(WaveformDisplays, RulerLabelsAndTicksFollowTheWindowStart) {
    // 12.34 s: second 12 is partly cut off at the left, second 13 one second on.
    auto labels = CTimeScaleStatic::Labels(1234);
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[0].x, -31);
    EXPECT_EQ(labels[0].text, "00：00：12");
    EXPECT_EQ(labels[1].x, 69);
    EXPECT_EQ(labels.back().x, 469);
    labels = CTimeScaleStatic::Labels(0);
    EXPECT_EQ(labels[0].x, 3);
    EXPECT_EQ(labels.size(), 5u);
    EXPECT_EQ(CTimeScaleStatic::Labels(3723 * 100)[0].text, "01：02：03");

    auto ticks = CTimeScaleStatic::Ticks(0, 500);
    ASSERT_EQ(ticks.size(), 49u);  // 10 .. 490; 0 and 500 are the frame
    EXPECT_EQ(ticks[0].x, 10);
    EXPECT_EQ(ticks[0].top, 23);
    EXPECT_EQ(ticks[4].x, 50);
    EXPECT_EQ(ticks[4].top, 17);  // every 500 ms a long one
    ticks = CTimeScaleStatic::Ticks(1234, 500);
    EXPECT_EQ(ticks[0].x, 6);     // 12.40 s
    EXPECT_EQ(ticks[1].x, 16);
    EXPECT_EQ(ticks[1].top, 17);  // 12.50 s
}

TEST(WaveformDisplays, ColumnsSpanEachPixelsPeaksAndDataEndsInWholeBlocks) {
    // 3.5 blocks of 3200 bytes: three whole blocks, 30 pixels of data; the rest is grey.
    EXPECT_EQ(CWaveViewStatic::DataWidth(11200, 3200, false), 30);
    EXPECT_EQ(CWaveViewStatic::DataWidth(11200, 3200, true), 500);
    EXPECT_EQ(CWaveViewStatic::DataWidth(5 * 32000, 3200, false), 500);
    EXPECT_EQ(CWaveViewStatic::DataWidth(100, 0, false), 0);

    const std::vector<int16_t> samples = {32767, -32768, 0, 0, 16384, -8192, 100, 0};
    const auto columns = CWaveViewStatic::Columns(samples.data(), 16, 4);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[0].top, 0);       // full scale up
    EXPECT_EQ(columns[0].bottom, 151);  // full scale down, the line includes its last pixel
    EXPECT_EQ(columns[1].top, 75);      // silence: the middle line
    EXPECT_EQ(columns[1].bottom, 76);
    EXPECT_EQ(columns[2].top, 37);
    EXPECT_EQ(columns[2].bottom, 95);
    EXPECT_EQ(columns[3].top, 75);
    // More pixels than samples: the columns without a sample of their own stay flat.
    EXPECT_EQ(CWaveViewStatic::Columns(samples.data(), 4, 8).size(), 8u);
}

}  // namespace
