#include "audio/FftFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// The even-values form against every value of the plain form, over inputs that fit one
// block, exactly a pair of blocks, and several pairs with an odd count and a lone block.
TEST(FftFilter, EvenValuesAreThoseOfTheFullFilter) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> kernel(1024);
    for (int t = 0; t < 1024; ++t) kernel[t] = std::exp(-0.0001 * (t - 512) * (t - 512)) * std::cos(0.3 * (t - 512));
    CFftFilter filter;
    ASSERT_EQ(filter.Init(13), 1);
    ASSERT_EQ(filter.SetKernel(kernel.data(), 1024, 512), 1);
    const long counts[] = {1, 2, 1000, 7168 - 512, 2 * 7168 - 512, 45124, 45125, 100001};
    for (long count : counts) {
        std::vector<double> in(count);
        for (double& v : in) v = u(rng);
        std::vector<double> full(count), even((count + 1) / 2 + 1, 42.0);
        ASSERT_EQ(filter.Filter(full.data(), in.data(), count), 1);
        ASSERT_EQ(filter.FilterEven(even.data(), in.data(), count), 1);
        double worst = 0;
        for (long i = 0; i < (count + 1) / 2; ++i) worst = std::max(worst, std::fabs(even[i] - full[2 * i]));
        EXPECT_LT(worst, 1e-12) << count;
        EXPECT_EQ(even.back(), 42.0) << count;  // nothing past the even values
    }
    // An odd kernel centre has no even form.
    ASSERT_EQ(filter.SetKernel(kernel.data(), 1023, 511), 1);
    std::vector<double> in(10, 1.0), out(5);
    EXPECT_EQ(filter.FilterEven(out.data(), in.data(), 10), 0);
}

}  // namespace
