#include "ui/progress.h"
#include "support/test_support.h"

namespace {

TEST(ProgressTest, PercentageStaysWithin32BitsAndNeverPassesHundred) {
    struct Case {
        uint32_t done;
        uint32_t total;
        uint32_t percentage;
    } cases[] = {
        {5, 0, 0},
        {0, 50, 100},
        {0, 99, 100},
        {65536, 150000, 43},
        {131072, 150000, 87},
        {150, 199, 100},
        {1000000, 1000000, 100},
        {2000000, 1000000, 100},
        {4294967295u, 4294967295u, 100},
        {42949671u, 4294967295u, 0},
        {2147483648u, 4294967295u, 50},
    };
    for (const auto& c : cases)
        EXPECT_EQ(progressPercentage(c.done, c.total), c.percentage) << c.done << "/" << c.total;
}

}  // namespace
