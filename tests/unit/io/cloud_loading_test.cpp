#include "io/cloud_loading.h"
#include "io/pcd_file_check.h"
#include "support/pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <cmath>
#include <cstring>
#include <limits>

#include <pcl/common/io.h>
#include <pcl/io/pcd_io.h>

namespace fs = boost::filesystem;

namespace {

const std::string kHeader = "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\n"
                            "COUNT 1 1 1 1\nWIDTH 2\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\n"
                            "POINTS 2\nDATA ascii\n";

std::string problemOf(const TempDirectory& directory, const std::string& content) {
  const fs::path file = directory.path / "cloud.pcd";
  writeTextFile(file, content);
  return readPcdFile(file.string()).problem;
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
  EXPECT_EQ(readPcdFile((directory.path / "missing.pcd").string()).problem,
            "cannot be read: No such file or directory");
  fs::create_directory(directory.path / "folder.pcd");
  EXPECT_EQ(readPcdFile((directory.path / "folder.pcd").string()).problem, "is not a regular file");
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
    const LoadedCloud loaded = readPcdFile(file.string());
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
      readPcdFile(QUORVANE_FUZZ_REGRESSION_DIR "/binary-data-starting-with-columns.pcd").problem,
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

namespace {

// loadMeasurablePoints against PCL's reader (loadMeasurableCloud): the same problem, or the
// same points, coordinates bit for bit, colours, normals and sensor origin.
void expectPointsOfPclsReader(const std::string& path) {
  SCOPED_TRACE(path);
  const LoadedCloud viaPcl = loadMeasurableCloud(path, NormalReading::Read);
  const LoadedPoints direct = loadMeasurablePoints(path, NormalReading::Read);
  ASSERT_EQ(direct.problem, viaPcl.problem);
  if (!direct.problem.empty())
    return;
  EXPECT_EQ(direct.attributes.hasColor, viaPcl.attributes.hasColor);
  EXPECT_EQ(direct.sensorOrigin, viaPcl.cloud.sensor_origin_);
  ASSERT_EQ(direct.points.size(), viaPcl.cloud.size());
  ASSERT_EQ(direct.attributes.normals.size(), viaPcl.attributes.normals.size());
  std::size_t different = 0;
  for (std::size_t i = 0; i < direct.points.size(); ++i) {
    const ColorPoint& got = direct.points[i];
    const pcl::PointXYZRGBA& want = viaPcl.cloud[i];
    different += std::memcmp(got.position, want.data, sizeof got.position) != 0 ||
                 got.r != want.r || got.g != want.g || got.b != want.b;
  }
  for (std::size_t i = 0; i < direct.attributes.normals.size(); ++i)
    different += std::memcmp(direct.attributes.normals[i].data(),
                             viaPcl.attributes.normals[i].data(), 3 * sizeof(float)) != 0;
  EXPECT_EQ(different, 0u);
}

// The cloud as points of another type, in both binary storages.
template <typename Point> void expectEveryStorageAs(const ColorCloud& cloud, const fs::path& file) {
  pcl::PointCloud<Point> converted;
  pcl::copyPointCloud(cloud, converted);
  converted.sensor_origin_ = Eigen::Vector4f(0.25f, -3.0f, 1e-3f, 0.0f);
  ASSERT_EQ(pcl::PCDWriter().writeBinary(file.string(), converted), 0);
  expectPointsOfPclsReader(file.string());
  ASSERT_EQ(pcl::PCDWriter().writeBinaryCompressed(file.string(), converted), 0);
  expectPointsOfPclsReader(file.string());
}

} // namespace

TEST(LoadMeasurablePoints, GivesThePointsOfPclsReaderValueForValue) {
  TempDirectory directory;
  for (const fs::path& scan : fs::directory_iterator(QUORVANE_SAMPLE_DIR)) {
    if (scan.extension() != ".pcd")
      continue;
    expectPointsOfPclsReader(scan.string());
    // The scan in both binary storages: its own fields, and those of other point types.
    pcl::PCLPointCloud2 blob;
    ASSERT_EQ(pcl::io::loadPCDFile(scan.string(), blob), 0);
    const fs::path binary = directory.path / scan.filename();
    ASSERT_EQ(pcl::PCDWriter().writeBinary(binary.string(), blob), 0);
    expectPointsOfPclsReader(binary.string());
    ASSERT_EQ(pcl::PCDWriter().writeBinaryCompressed(binary.string(), blob), 0);
    expectPointsOfPclsReader(binary.string());
    const ColorCloud cloud = readPcdFile(scan.string()).cloud;
    expectEveryStorageAs<pcl::PointXYZ>(cloud, binary);
    expectEveryStorageAs<pcl::PointXYZRGB>(cloud, binary);
    expectEveryStorageAs<pcl::PointXYZRGBNormal>(cloud, binary);
  }
  for (const fs::path& finding : fs::directory_iterator(QUORVANE_FUZZ_REGRESSION_DIR))
    if (finding.extension() == ".pcd")
      expectPointsOfPclsReader(finding.string());
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    const fs::path file = directory.path / damaged.name;
    writeTextFile(file, damaged.content);
    expectPointsOfPclsReader(file.string());
  }
}

TEST(LoadMeasurablePoints, ReadsTheFieldsThatPclMapsWhereverTheyLie) {
  // Three padding bytes put the floats off their alignment; the first x is a double, which
  // PCL does not map, so the second is the coordinate, not the third; rgb is unsigned; the
  // second point is NaN and the third has -0 and a subnormal.
  const std::string header = "VERSION 0.7\nFIELDS _ x y z x rgb normal_x x\nSIZE 1 8 4 4 4 4 4 4\n"
                             "TYPE U F F F F U F F\nCOUNT 3 1 1 1 1 1 1 1\nWIDTH 3\nHEIGHT 1\n"
                             "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS 3\nDATA binary\n";
  std::string body;
  const auto add = [&](const auto& value) {
    body.append(reinterpret_cast<const char*>(&value), sizeof value);
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float points[3][3] = {{1.5f, 2.5f, 3.5f}, {0.0f, nan, 1.0f}, {-0.0f, 1e-40f, -7.0f}};
  const std::uint32_t colors[3] = {0x11223344u, 0x55667788u, 0xff0000ffu};
  for (int i = 0; i < 3; ++i) {
    body.append("\x01\x02\x03", 3);
    add(double{99.0});
    add(points[i][1]);
    add(points[i][2]);
    add(points[i][0]);
    add(colors[i]);
    add(float{0.5f});
    add(float{99.0f});
  }
  TempDirectory directory;
  const fs::path file = directory.path / "padded.pcd";
  writeTextFile(file, header + body);
  const LoadedPoints loaded = loadMeasurablePoints(file.string());
  ASSERT_EQ(loaded.problem, "");
  EXPECT_TRUE(loaded.attributes.hasColor);
  ASSERT_EQ(loaded.points.size(), 2u);
  EXPECT_EQ(loaded.points[0].position[0], 1.5f);
  EXPECT_EQ(loaded.points[0].position[2], 3.5f);
  EXPECT_EQ(loaded.points[0].r, 0x22);
  EXPECT_EQ(loaded.points[0].g, 0x33);
  EXPECT_EQ(loaded.points[0].b, 0x44);
  EXPECT_TRUE(std::signbit(loaded.points[1].position[0]));
  EXPECT_EQ(loaded.points[1].position[1], 1e-40f);
  EXPECT_EQ(loaded.points[1].r, 0x00);
  EXPECT_EQ(loaded.points[1].b, 0xff);
  expectPointsOfPclsReader(file.string());
}

// A binary_compressed body whose LZF stream decodes to fewer bytes than its prefix says: the
// missing bytes must not be read as points.
TEST(LoadMeasurablePoints, RefusesACompressedBodyThatDecodesShort) {
  TempDirectory directory;
  const fs::path file = directory.path / "short.pcd";
  std::string body;
  const std::uint32_t sizes[2] = {21, 24}; // 21 compressed bytes, 24 promised (2 points)
  body.append(reinterpret_cast<const char*>(sizes), sizeof sizes);
  body += '\x13'; // an LZF literal run of 20 bytes: 4 short of the promise
  const float values[5] = {1, 2, 3, 4, 5};
  body.append(reinterpret_cast<const char*>(values), sizeof values);
  writeTextFile(file, "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 2\n"
                      "HEIGHT 1\nPOINTS 2\nDATA binary_compressed\n" +
                          body);
  const LoadedPoints loaded = loadMeasurablePoints(file.string());
  EXPECT_NE(loaded.problem, "");
  EXPECT_TRUE(loaded.points.empty());
  EXPECT_NE(readPcdFile(file.string()).problem, "");
}

// A compressed body leaves padding fields out, which PCL's reader alone knows how to undo (its
// writer never writes one): a compressed file with a '_' field goes to PCL's reader.
TEST(LoadMeasurablePoints, LeavesACompressedFileWithPaddingToPclsReader) {
  std::string body;
  // Every x, the padding, every y, every z: 32 bytes, as the header's 16 bytes a point need.
  const float values[8] = {1.0f, 2.0f, 7.0f, 7.0f, -1.0f, -2.0f, 0.5f, 0.25f};
  const std::uint32_t sizes[2] = {33, 32};
  body.append(reinterpret_cast<const char*>(sizes), sizeof sizes);
  body += '\x1f'; // an LZF literal run of 32 bytes
  body.append(reinterpret_cast<const char*>(values), sizeof values);
  TempDirectory directory;
  const fs::path file = directory.path / "padded.pcd";
  writeTextFile(file, "VERSION 0.7\nFIELDS x _ y z\nSIZE 4 1 4 4\nTYPE F U F F\nCOUNT 1 4 1 1\n"
                      "WIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA binary_compressed\n" +
                          body);
  const PcdFileCheck check = checkPcdFile(file.string());
  ASSERT_EQ(check.problem, "");
  EXPECT_FALSE(check.binaryLayout);
  expectPointsOfPclsReader(file.string());
}
