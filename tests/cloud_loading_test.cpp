#include "cloud_loading.h"
#include "pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <cstring>

namespace fs = boost::filesystem;

namespace {

const std::string kHeader = "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\n"
                            "COUNT 1 1 1 1\nWIDTH 2\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\n"
                            "POINTS 2\nDATA ascii\n";

std::string problemOf(const TempDirectory& directory, const std::string& content) {
  const fs::path file = directory.path / "cloud.pcd";
  writeTextFile(file, content);
  return readCloudFile(file.string()).problem;
}

// The points exactly as stored, bit for bit.
std::string pointBytes(const ColorCloud& cloud) {
  std::string bytes;
  for (const auto& point : cloud) {
    char raw[16];
    std::memcpy(raw, point.data, 12);
    std::memcpy(raw + 12, &point.rgba, 4);
    bytes.append(raw, sizeof raw);
  }
  return bytes;
}

} // namespace

TEST(ReadCloudFile, RefusesEveryDamageWithItsReason) {
  TempDirectory directory;
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    if (!damaged.reason.empty()) {
      EXPECT_EQ(problemOf(directory, damaged.content), damaged.reason) << damaged.name;
    }
  }
}

TEST(ReadCloudFile, RefusesWhatIsNotARegularFile) {
  TempDirectory directory;
  EXPECT_EQ(readCloudFile((directory.path / "missing.pcd").string()).problem,
            "cannot be read: No such file or directory");
  fs::create_directory(directory.path / "folder.pcd");
  EXPECT_EQ(readCloudFile((directory.path / "folder.pcd").string()).problem,
            "is not a regular file");
}

TEST(ReadCloudFile, RefusesAsciiDataThatTheReaderWouldMisread) {
  TempDirectory directory;
  const struct {
    const char* data;
    const char* reason;
  } cases[] = {
      {"1 2 3 255 7\n4 5 6 255\n", "line 11: 5 values where a point has 4"},
      {"1 2 3 255\n4 5 6\n", "line 12: 3 values where a point has 4"},
      {"1 2 3 255\n   \n4 5 6 255\n", "line 12: 0 values where a point has 4"},
      {"1 2 3 255\r\n\r\n4 5 6 255\r\n", "line 12: 0 values where a point has 4"},
      {"abc 2 3 255\n4 5 6 255\n", "line 11: 'abc' is not a value of field 'x' (F 4)"},
      {"1 0x1p3 3 255\n4 5 6 255\n", "line 11: '0x1p3' is not a value of field 'y' (F 4)"},
      {"1 2 1.5abc 255\n4 5 6 255\n", "line 11: '1.5abc' is not a value of field 'z' (F 4)"},
      {"1 2 3 -1\n4 5 6 255\n", "line 11: '-1' is not a value of field 'rgba' (U 4)"},
      {"1 2 . 255\n4 5 6 255\n", "line 11: '.' is not a value of field 'z' (F 4)"},
      {"1 2 3 255\n4 5 -e5 255\n", "line 12: '-e5' is not a value of field 'z' (F 4)"},
      {"1 2 3 4294967296\n4 5 6 255\n",
       "line 11: '4294967296' is not a value of field 'rgba' (U 4)"},
      {"1 2 3 255\n4 5 6 255\n7 8 9 255\n", "line 13: more data lines than POINTS (2)"},
      {"1 2 3 255\n", "the data holds 1 points where POINTS is 2"},
  };
  for (const auto& example : cases)
    EXPECT_EQ(problemOf(directory, kHeader + example.data), example.reason) << example.data;
  // Forms that the reader reads exactly.
  for (const char* data : {"+1 -2.5e3 .5 +4294967295\n4. 5E-1 -0 0\n",
                           "inf -INF nan 255\n-nan 5 6 255\n", "  1\t2 3 255 \n\n4 5 6 255\r\n"})
    EXPECT_EQ(problemOf(directory, kHeader + data), "") << data;
}

TEST(ReadCloudFile, BinaryDataThatFitsExactlyIsAccepted) {
  TempDirectory directory;
  for (auto storage : {PcdStorage::Binary, PcdStorage::BinaryCompressed})
    EXPECT_EQ(problemOf(directory, validPcdText(storage)), "");
}

TEST(ReadCloudFile, FormsThatPclReadsLikeTheCleanFileGiveTheSamePoints) {
  TempDirectory directory;
  const auto pointsOf = [&](const std::string& content) {
    const fs::path file = directory.path / "form.pcd";
    writeTextFile(file, content);
    const LoadedCloud loaded = readCloudFile(file.string());
    EXPECT_EQ(loaded.problem, "");
    return pointBytes(loaded.cloud);
  };
  const auto windowsHeader = [](const std::string& text) {
    const std::size_t dataEnd = text.find('\n', text.find("\nDATA ") + 1);
    std::string header;
    for (char c : text.substr(0, dataEnd + 1))
      header += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return header + text.substr(dataEnd + 1);
  };
  for (auto storage : {PcdStorage::Binary, PcdStorage::Ascii}) {
    const std::string clean = validPcdText(storage);
    const std::string expected = pointsOf(clean);
    ASSERT_EQ(expected.size(), 20u * 16u);
    EXPECT_EQ(pointsOf(windowsHeader(clean)), expected);
    EXPECT_EQ(pointsOf(withHeaderLine(clean, "SIZE", "SIZE 4 4 4 4 ")), expected);
    EXPECT_EQ(pointsOf(withHeaderLine(clean, "FIELDS", " FIELDS x  y\tz rgba\t")), expected);
    EXPECT_EQ(pointsOf(withHeaderLine(clean, "POINTS", "POINTS 20  ")), expected);
  }
}

TEST(LoadMeasurableCloud, DropsNonFinitePointsEvenFromCloudsMarkedDense) {
  TempDirectory directory;
  const fs::path file = directory.path / "dirty.pcd";
  // inf and -nan leave the reader's dense flag set; only a literal nan clears it.
  writeTextFile(file,
                withHeaderLine(withHeaderLine(kHeader, "WIDTH", "WIDTH 4"), "POINTS", "POINTS 4") +
                    "inf 5 5 4278190080\n0 0 0 4278190080\n1 0 0 4294967295\n0 -nan 0 0\n");
  const LoadedCloud loaded = loadMeasurableCloud(file.string());
  EXPECT_EQ(loaded.problem, "");
  const ColorCloud& cloud = loaded.cloud;
  ASSERT_EQ(cloud.size(), 2u);
  EXPECT_EQ(cloud[1].x, 1.0f);
  EXPECT_EQ(cloud[1].rgba, 4294967295u);
}

TEST(LoadMeasurableCloud, RefusesCoordinatesWhoseSquaredDistancesOverflow) {
  TempDirectory directory;
  const fs::path file = directory.path / "huge.pcd";
  const auto withX = [&](const std::string& x) { return kHeader + x + " 0 0 255\n0 0 0 255\n"; };
  writeTextFile(file, withX("-2e38"));
  EXPECT_EQ(loadMeasurableCloud(file.string()).problem,
            "a coordinate of magnitude 2e+38 exceeds 4.61169e+18, beyond which squared "
            "distances overflow single precision");
  writeTextFile(file, withX("3e19"));
  EXPECT_EQ(loadMeasurableCloud(file.string()).problem,
            "a coordinate of magnitude 3e+19 exceeds 4.61169e+18, beyond which squared "
            "distances overflow single precision");
  // The bound itself is measurable: 3 * (2 * 2^62)^2 stays below the largest float.
  writeTextFile(file, withX("-4611686018427387904"));
  EXPECT_EQ(loadMeasurableCloud(file.string()).problem, "");
}

TEST(LoadMeasurableCloud, SampleScansAndFuzzFindingsLoadOrFailWithAReason) {
  for (const char* name : {"milk_color.pcd", "table_scene_mug_stereo_textured.pcd", "cturtle.pcd",
                           "colored_cloud.pcd", "pcl_logo.pcd"}) {
    const LoadedCloud loaded = loadMeasurableCloud(samplePath(name));
    EXPECT_EQ(loaded.problem, "") << name;
    EXPECT_GT(loaded.cloud.size(), 0u) << name;
  }
  EXPECT_EQ(
      readCloudFile(QUORVANE_FUZZ_REGRESSION_DIR "/binary-data-starting-with-columns.pcd").problem,
      "colour field 'rgba' is stored as U 2; colours must be packed in 4 bytes (rgb as F 4 or "
      "U 4, rgba as U 4)");
}

TEST(LoadMeasurableCloud, ReadsColourAndNormalsWhereTheFileHasThem) {
  TempDirectory directory;
  const fs::path file = directory.path / "cloud.pcd";
  ColorCloud cloud;
  const auto load = [&](const std::string& content, ColorCloud& points) {
    writeTextFile(file, content);
    LoadedCloud loaded = loadMeasurableCloud(file.string(), NormalReading::Read);
    EXPECT_EQ(loaded.problem, "");
    points = loaded.cloud;
    return loaded.attributes;
  };
  // The normals follow their points when the NaN point is dropped.
  CloudAttributes attributes =
      load("VERSION 0.7\nFIELDS x y z normal_x normal_y normal_z rgb\nSIZE 4 4 4 4 4 4 4\n"
           "TYPE F F F F F F F\nCOUNT 1 1 1 1 1 1 1\nWIDTH 3\nHEIGHT 1\nPOINTS 3\nDATA ascii\n"
           "0 0 0 1 0 0 0\nnan 0 0 0 1 0 0\n2 0 0 0 0 1 0\n",
           cloud);
  EXPECT_TRUE(attributes.hasColor);
  ASSERT_EQ(cloud.size(), 2u);
  ASSERT_EQ(attributes.normals.size(), 2u);
  EXPECT_EQ(attributes.normals[0], Eigen::Vector3f(1, 0, 0));
  EXPECT_EQ(attributes.normals[1], Eigen::Vector3f(0, 0, 1));
  // Normals stored as doubles would be read as zeros, so they are not taken; no colour field.
  attributes = load("VERSION 0.7\nFIELDS x y z normal_x normal_y normal_z\nSIZE 4 4 4 8 8 8\n"
                    "TYPE F F F F F F\nCOUNT 1 1 1 1 1 1\nWIDTH 1\nHEIGHT 1\nPOINTS 1\n"
                    "DATA ascii\n0 0 0 1 0 0\n",
                    cloud);
  EXPECT_FALSE(attributes.hasColor);
  EXPECT_TRUE(attributes.normals.empty());
}
