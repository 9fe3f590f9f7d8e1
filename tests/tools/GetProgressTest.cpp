// vantry-get's progress line: its text, and that it stays silent off a terminal.
#include <gtest/gtest.h>

#include "tools/GetProgress.h"

using namespace vantry;

TEST(GetProgress, LineShowsAmountRateAndTimeWithinTheWidth) {
    std::string line = FormatProgressLine(3 * 1024 * 1024, 2000, 80);
    EXPECT_NE(line.find("3.0 MiB"), std::string::npos) << line;
    EXPECT_NE(line.find("1.5 MiB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("0:02"), std::string::npos) << line;
    EXPECT_NE(line.find("<=>"), std::string::npos) << line;
    EXPECT_LT(line.size(), 80u);
}

TEST(GetProgress, NarrowTerminalsDropTheBarButNeverWrap) {
    std::string line = FormatProgressLine(5ull << 30, 65000, 30);
    EXPECT_EQ(line.find('['), std::string::npos) << line;
    EXPECT_NE(line.find("1:05"), std::string::npos) << line;
    EXPECT_LE(line.size(), 29u);
    EXPECT_LE(FormatProgressLine(1, 0, 10).size(), 9u);
}

TEST(GetProgress, CountsWithoutDrawingWhenDisabled) {
    GetProgress progress(false);
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(progress.BytesReceived(65536));
    EXPECT_EQ(progress.ReceivedTotal(), 100u * 65536);
    EXPECT_FALSE(progress.Drawn());
}
