#include "cli/progress_line.h"

#include <gtest/gtest.h>

// The estimate of the time left scales the time so far by the points left over the points done.
TEST(ProgressText, EstimatesTheTimeLeftFromThePointsDone) {
  ProgressCounts counts{0, 3, 0, 0};
  // Without the points' count: the cloud and the time alone.
  EXPECT_EQ(progressText("quorvane-eval", 0, counts, "a.pcd", 0.04),
            "quorvane-eval: cloud 1 of 3, a.pcd, 0.0 s");
  counts.points = 30000000;
  EXPECT_EQ(progressText("quorvane-eval", 0, counts, "a.pcd", 0.04),
            "quorvane-eval: cloud 1 of 3, a.pcd, 0 of 30.00 M points done, 0.0 s");
  // 1.5 M of 30 M points in 12 s: 28.5 M more take 228 s.
  counts = {1, 3, 1500000, 30000000};
  EXPECT_EQ(progressText("quorvane-eval", 1, counts, "b\nc.pcd", 12.0),
            "quorvane-eval: cloud 2 of 3, b\\nc.pcd, 1.50 M of 30.00 M points done, 12.0 s, about "
            "3 min 48 s left");
  counts = {2, 3, 9999, 10000};
  EXPECT_EQ(progressText("q", 2, counts, "d", 9999.0),
            "q: cloud 3 of 3, d, 9999 of 10.0 k points done, 9999.0 s, about 1 s left");
  counts = {2, 3, 1, 3601};
  EXPECT_EQ(progressText("q", 2, counts, "d", 1.0),
            "q: cloud 3 of 3, d, 1 of 3601 points done, 1.0 s, about 1 h 0 min left");
  // Every point done (a last cloud without points): no estimate.
  counts = {2, 3, 10, 10};
  EXPECT_EQ(progressText("q", 2, counts, "d", 1.0),
            "q: cloud 3 of 3, d, 10 of 10 points done, 1.0 s");
  // A large cloud's stage comes last.
  EXPECT_EQ(progressText("q", 2, counts, "d", 1.0, {"searching", 3, 4}),
            "q: cloud 3 of 3, d, 10 of 10 points done, 1.0 s, searching (3 of 4)");
}
