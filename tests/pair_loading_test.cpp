#include "cloud_comparison.h"
#include "pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <cmath>
#include <limits>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

struct LoadResult {
  CloudErrorStats stats;
  std::string out;
  std::string err;
};

LoadResult runLoadAndCompare(const std::string& original, const std::string& reconstructed) {
  CaptureStdout();
  CaptureStderr();
  LoadResult result{loadAndCompare(original, reconstructed), "", ""};
  result.err = GetCapturedStderr();
  result.out = GetCapturedStdout();
  return result;
}

void expectEqualStats(const CloudErrorStats& got, const CloudErrorStats& want) {
  EXPECT_EQ(got.meanDistance, want.meanDistance);
  EXPECT_EQ(got.meanColor, want.meanColor);
  EXPECT_EQ(got.varianceDistance, want.varianceDistance);
  EXPECT_EQ(got.varianceColor, want.varianceColor);
}

void expectLoadFailure(const LoadResult& result, const std::string& failingPath) {
  EXPECT_FALSE(result.stats.cloudsLoaded);
  EXPECT_TRUE(std::isnan(result.stats.meanDistance));
  EXPECT_TRUE(std::isnan(result.stats.meanColor));
  EXPECT_TRUE(std::isnan(result.stats.varianceDistance));
  EXPECT_TRUE(std::isnan(result.stats.varianceColor));
  EXPECT_EQ(countOccurrences(result.err, "Error loading cloud"), 1u) << result.err;
  EXPECT_NE(result.err.find("Error loading cloud " + failingPath + ".\n"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.out, "");
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

} // namespace

TEST(LoadAndCompare, ComparesTheOriginalAgainstTheReconstruction) {
  TempDirectory directory;
  const auto original = (directory.path / "original.pcd").string();
  const auto reconstructed = (directory.path / "reconstructed.pcd").string();
  writeCloud(original, *cloudOf({colorPoint(0, 0, 0, 200, 100, 50)}), PcdStorage::Ascii);
  writeCloud(reconstructed,
             *cloudOf({colorPoint(1, 1, 0, 190, 104, 47), colorPoint(9, 9, 9, 0, 0, 0)}),
             PcdStorage::BinaryCompressed);
  const LoadResult result = runLoadAndCompare(original, reconstructed);
  EXPECT_TRUE(result.stats.cloudsLoaded);
  expectEqualStats(result.stats, CloudErrorStats{1.41421354f, 11.1803398f, 0.0f, 0.0f});
  EXPECT_EQ(result.out, "\n");
}

TEST(LoadAndCompare, RemovesNonFinitePointsEvenFromCloudsMarkedDense) {
  TempDirectory directory;
  const auto clean = (directory.path / "clean.pcd").string();
  const auto dirty = (directory.path / "dirty.pcd").string();
  const std::string header = "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\n"
                             "COUNT 1 1 1 1\nWIDTH %\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\n"
                             "POINTS %\nDATA ascii\n";
  const auto withCount = [&](int count) {
    std::string text = header;
    for (auto at = text.find('%'); at != std::string::npos; at = text.find('%'))
      text.replace(at, 1, std::to_string(count));
    return text;
  };
  const std::string finitePoints = "0 0 0 4278190080\n1 0 0 4294967295\n";
  // inf and -nan leave the reader's dense flag set; only a literal nan clears it.
  writeTextFile(clean, withCount(2) + finitePoints);
  writeTextFile(dirty, withCount(4) + "inf 5 5 4278190080\n" + finitePoints + "0 -nan 0 0\n");
  const LoadResult reference = runLoadAndCompare(clean, clean);
  const LoadResult asOriginal = runLoadAndCompare(dirty, clean);
  const LoadResult asReconstructed = runLoadAndCompare(clean, dirty);
  expectEqualStats(reference.stats, CloudErrorStats{0.0f, 0.0f, 0.0f, 0.0f});
  expectEqualStats(asOriginal.stats, reference.stats);
  expectEqualStats(asReconstructed.stats, reference.stats);
}

TEST(LoadAndCompare, SampleScanWithNaNPointsMatchesItself) {
  const std::string scan = samplePath("table_scene_mug_stereo_textured.pcd");
  const LoadResult result = runLoadAndCompare(scan, scan);
  expectEqualStats(result.stats, CloudErrorStats{0.0f, 0.0f, 0.0f, 0.0f});
}

TEST(LoadAndCompare, CloudWithoutColourLoadsAndCompares) {
  TempDirectory directory;
  const auto coloured = (directory.path / "coloured.pcd").string();
  writeCloud(coloured, *cloudOf({colorPoint(0, 0, 0, 3, 4, 0)}), PcdStorage::Binary);
  const std::string turtle = samplePath("cturtle.pcd");
  const LoadResult same = runLoadAndCompare(turtle, turtle);
  EXPECT_TRUE(same.stats.cloudsLoaded);
  expectEqualStats(same.stats, CloudErrorStats{0.0f, 0.0f, 0.0f, 0.0f});

  writeTextFile(directory.path / "xyz.pcd", "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\n"
                                            "COUNT 1 1 1\nWIDTH 1\nHEIGHT 1\nPOINTS 1\n"
                                            "DATA ascii\n0 0 2\n");
  const LoadResult mixed = runLoadAndCompare((directory.path / "xyz.pcd").string(), coloured);
  EXPECT_TRUE(mixed.stats.cloudsLoaded);
  expectEqualStats(mixed.stats, CloudErrorStats{2.0f, 5.0f, 0.0f, 0.0f});
}

TEST(LoadAndCompare, AllNonFiniteOriginalGivesNaNWithoutError) {
  TempDirectory directory;
  const auto file = (directory.path / "nan.pcd").string();
  writeCloud(file, *cloudOf({colorPoint(kNaN, kNaN, kNaN, 1, 2, 3)}), PcdStorage::Binary);
  const LoadResult result = runLoadAndCompare(file, samplePath("milk_color.pcd"));
  EXPECT_TRUE(result.stats.cloudsLoaded);
  EXPECT_TRUE(std::isnan(result.stats.meanDistance));
  EXPECT_EQ(result.out, "\n");
  const LoadResult reversed = runLoadAndCompare(samplePath("milk_color.pcd"), file);
  EXPECT_TRUE(reversed.stats.cloudsLoaded);
  EXPECT_TRUE(std::isnan(reversed.stats.meanDistance));
  EXPECT_EQ(countOccurrences(reversed.out, "error no punto cercano encontrado\n"), 13704u);
}

TEST(LoadAndCompare, NamesTheFirstFileThatFailsAndReadsNoFurther) {
  TempDirectory directory;
  const std::string good = samplePath("milk_color.pcd");
  const std::string missing = (directory.path / "missing.pcd").string();
  const std::string alsoMissing = (directory.path / "also-missing.pcd").string();
  expectLoadFailure(runLoadAndCompare(missing, good), missing);
  expectLoadFailure(runLoadAndCompare(good, missing), missing);
  expectLoadFailure(runLoadAndCompare(missing, alsoMissing), missing);
}

TEST(LoadAndCompare, DamagedFilesFailCleanlyInEitherPosition) {
  TempDirectory directory;
  const std::string good = samplePath("milk_color.pcd");
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    SCOPED_TRACE(damaged.name);
    const std::string file = (directory.path / "damaged.pcd").string();
    writeTextFile(file, damaged.content);
    expectLoadFailure(runLoadAndCompare(file, good), file);
    expectLoadFailure(runLoadAndCompare(good, file), file);
  }
}

TEST(LoadAndCompare, InputsFoundByFuzzingLoadOrFailCleanly) {
  const boost::filesystem::path folder = QUORVANE_FUZZ_REGRESSION_DIR;
  std::size_t files = 0;
  for (boost::filesystem::directory_iterator entry(folder), end; entry != end; ++entry) {
    const std::string file = entry->path().string();
    SCOPED_TRACE(file);
    for (const bool asOriginal : {true, false}) {
      const std::string good = samplePath("milk_color.pcd");
      const LoadResult result =
          asOriginal ? runLoadAndCompare(file, good) : runLoadAndCompare(good, file);
      const std::size_t errors = countOccurrences(result.err, "Error loading cloud");
      EXPECT_EQ(errors, result.stats.cloudsLoaded ? 0u : 1u) << result.err;
    }
    ++files;
  }
  EXPECT_GE(files, 2u);
}
