// The progress line's text.
#include "verify/progress.h"

#include "gtest/gtest.h"

TEST(ProgressLine, NamesEveryCounterAndTheRate) {
  EXPECT_EQ(CheckProgress::lineText(1000, 400, 25, 2.0),
            "explored 1000, stored 400, waiting 25, 500 states/s, 2.0 s");
  EXPECT_EQ(CheckProgress::lineText(0, 0, 0, 0.0),
            "explored 0, stored 0, waiting 0, 0 states/s, 0.0 s")
      << "no division by a zero time";
  EXPECT_EQ(CheckProgress::lineText(12345678901ull, 1, 2, 10.0),
            "explored 12345678901, stored 1, waiting 2, 1234567890 states/s, 10.0 s");
}
