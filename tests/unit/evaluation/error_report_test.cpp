#include "evaluation/error_report.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A string stream that counts how often it is flushed.
struct CountingBuffer : std::stringbuf {
  int flushes = 0;
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

} // namespace

// Each row ends with a flush, so that an interrupted run keeps every finished row.
TEST(ErrorReport, EveryEndedRowIsFlushedToBothStreams) {
  CountingBuffer consoleBuffer, reportBuffer;
  std::ostream console(&consoleBuffer), report(&reportBuffer);
  writeCloudOpening(console, report, "quorvane/pcd_binary_original/a.pcd");
  writeRatioFound(console, report, 0.25f);
  EXPECT_EQ(consoleBuffer.flushes + reportBuffer.flushes, 0);
  writeStatisticsFound(console, report, CloudErrorStats{1.5f, 1.75f, 1.25f, 3.1875f});
  EXPECT_EQ(consoleBuffer.flushes, 1);
  EXPECT_EQ(reportBuffer.flushes, 1);
  writeCloudOpening(console, report, "quorvane/pcd_binary_original/b&\"c.pcd");
  writeRatioMissing(console, report);
  writeStatisticsMissing(console, report);
  EXPECT_EQ(consoleBuffer.flushes, 2);
  EXPECT_EQ(reportBuffer.flushes, 2);
  EXPECT_EQ(consoleBuffer.str(),
            "cloud: \"quorvane/pcd_binary_original/a.pcd\"  compressionratio:0.25 error dist: 1.5 "
            "var: 1.25 color: 1.75 color var: 3.1875\ncloud: "
            "\"quorvane/pcd_binary_original/b&&&\"c.pcd\"  :compressed file not found: : "
            "reconstructed file not found for cloud: \n");
  EXPECT_EQ(reportBuffer.str(), "\"quorvane/pcd_binary_original/a.pcd\";0.25;1.5;1.25;1.75;3.1875\n"
                                "\"quorvane/pcd_binary_original/b&&&\"c.pcd\";1.0;-;-;-;-\n");
}
