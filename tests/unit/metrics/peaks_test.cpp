#include "metrics/peaks.h"

#include <gtest/gtest.h>

TEST(ParsePeak, TakesNumbersAndTheCommonTestConditionsNames) {
  EXPECT_EQ(parsePeak("vox10"), 1023.0);
  EXPECT_EQ(parsePeak("vox20"), 1048575.0);
  EXPECT_EQ(parsePeak("lidar-1mm"), 30000.0);
  EXPECT_EQ(parsePeak("0.25"), 0.25);
  EXPECT_EQ(parsePeak("1e-30"), 1e-30);
  for (const char* bad :
       {"vox9", "vox21", "vox", "0", "-1", "inf", "nan", "1e999", "", "3 ", "10x"})
    EXPECT_FALSE(parsePeak(bad)) << bad;
}
