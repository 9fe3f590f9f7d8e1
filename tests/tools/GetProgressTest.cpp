// vantry-get's progress line: its text with and without a known length, and that it stays silent off a
// terminal.
#include <gtest/gtest.h>

#include "tools/GetProgress.h"

using namespace vantry;

TEST(GetProgress, AKnownLengthShowsPercentageAmountRateAndTimeLeft) {
    // 3 MiB of 12 MiB in 2 s: 1.5 MiB/s, 9 MiB to go take 6 s.
    std::string line = FormatProgressLine(3u << 20, 12 << 20, 2000, 100);
    EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
    EXPECT_NE(line.find("3.0 MiB of 12.0 MiB"), std::string::npos) << line;
    EXPECT_NE(line.find("1.5 MiB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("0:06 left"), std::string::npos) << line;
    EXPECT_NE(line.find("[=========="), std::string::npos) << line;
    EXPECT_LT(line.size(), 100u);
    // Hours once the rest takes that long; the percentage never passes 100.
    EXPECT_NE(FormatProgressLine(1u << 20, 8ll << 30, 1000, 100).find("2:16:3"), std::string::npos);
    EXPECT_NE(FormatProgressLine(5000, 4000, 1000, 100).find("100%"), std::string::npos);
}

TEST(GetProgress, WithoutALengthItShowsAmountRateAndElapsedTimeOnly) {
    std::string line = FormatProgressLine(3 * 1024 * 1024, -1, 2000, 80);
    EXPECT_NE(line.find("3.0 MiB"), std::string::npos) << line;
    EXPECT_NE(line.find("1.5 MiB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("0:02"), std::string::npos) << line;
    EXPECT_EQ(line.find('%'), std::string::npos) << line;
    EXPECT_EQ(line.find("left"), std::string::npos) << line;
    EXPECT_EQ(line.find('['), std::string::npos) << line;
}

TEST(GetProgress, NarrowTerminalsDropTheBarButNeverWrap) {
    std::string line = FormatProgressLine(5ull << 30, 10ll << 30, 65000, 40);
    EXPECT_EQ(line.find('['), std::string::npos) << line;
    EXPECT_LE(line.size(), 39u);
    EXPECT_LE(FormatProgressLine(1, -1, 0, 10).size(), 9u);
    EXPECT_LE(FormatProgressLine(1, 100, 0, 10).size(), 9u);
}

TEST(GetProgress, NeverDrawsWhenDisabled) {
    GetProgress progress(false);
    for (uint64_t i = 1; i <= 100; ++i)
        progress.Update(i << 20, 100 << 20);
    progress.Finish();
    EXPECT_FALSE(progress.Drawn());
}

TEST(GetProgress, ALineOnceDueIsDrawnAndEndedHoweverQuicklyTheTransferEnds) {
    // A body finished right after the line became due: the drawing thread may not have run yet, and the
    // final state is still shown once, ended by a newline.
    for (int run = 0; run < 20; ++run) {
        testing::internal::CaptureStderr();
        {
            GetProgress progress(true);
            progress.Update(2u << 20, 2 << 20);
            progress.Finish();
        }
        std::string err = testing::internal::GetCapturedStderr();
        ASSERT_NE(err.find("100%"), std::string::npos) << "run " << run;
        ASSERT_EQ(err.back(), '\n') << "run " << run;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "run " << run;
    }
}
