#include "ply_loading.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <pcl/common/io.h>
#include <pcl/io/ply_io.h>

#include <boost/filesystem.hpp>

#include <cmath>
#include <cstring>
#include <sstream>

namespace fs = boost::filesystem;

namespace {

// The cloud as an ascii PLY file, each float in the 9 digits that give it back (PCL's ascii
// writer keeps 6).
template <typename Point>
void writeAsciiPly(const fs::path& file, const ColorCloud& cloud, const Normals& normals) {
  constexpr bool color = pcl::traits::has_color_v<Point>;
  constexpr bool normal = pcl::traits::has_normal_v<Point>;
  std::ostringstream text;
  text << "ply\nformat ascii 1.0\nelement vertex " << cloud.size()
       << "\nproperty float x\nproperty float y\nproperty float z\n"
       << (color ? "property uchar red\nproperty uchar green\nproperty uchar blue\n" : "")
       << (normal ? "property float nx\nproperty float ny\nproperty float nz\n" : "")
       << "end_header\n";
  text.precision(9);
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    text << cloud[i].x << " " << cloud[i].y << " " << cloud[i].z;
    if (color)
      text << " " << +cloud[i].r << " " << +cloud[i].g << " " << +cloud[i].b;
    if (normal)
      text << " " << normals[i][0] << " " << normals[i][1] << " " << normals[i][2];
    text << "\n";
  }
  writeTextFile(file, text.str());
}

// readPlyFile of a PLY file of the cloud, against the cloud: every point, bit for bit.
template <typename Point>
void expectCloudThroughPly(const ColorCloud& cloud, const Normals& normals, bool binary,
                           const fs::path& file) {
  SCOPED_TRACE(file.string() + (binary ? " binary" : " ascii"));
  pcl::PointCloud<Point> converted;
  pcl::copyPointCloud(cloud, converted);
  if constexpr (pcl::traits::has_normal_v<Point>)
    for (std::size_t i = 0; i < converted.size(); ++i) {
      converted[i].normal_x = normals[i][0];
      converted[i].normal_y = normals[i][1];
      converted[i].normal_z = normals[i][2];
    }
  if (binary)
    ASSERT_EQ(pcl::PLYWriter().write(file.string(), converted, true, false), 0);
  else
    writeAsciiPly<Point>(file, cloud, normals);
  const LoadedCloud loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  ASSERT_EQ(loaded.cloud.size(), cloud.size());
  EXPECT_EQ(loaded.attributes.hasColor, pcl::traits::has_color_v<Point>);
  EXPECT_EQ(loaded.attributes.normals.size(), pcl::traits::has_normal_v<Point> ? cloud.size() : 0);
  std::size_t different = 0;
  const auto same = [](float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
  };
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    const auto& want = cloud[i];
    const auto& got = loaded.cloud[i];
    for (int axis = 0; axis < 3; ++axis)
      different += !same(want.data[axis], got.data[axis]);
    if (pcl::traits::has_color_v<Point>)
      different += want.r != got.r || want.g != got.g || want.b != got.b;
    if (pcl::traits::has_normal_v<Point>)
      for (int axis = 0; axis < 3; ++axis)
        different += !same(normals[i][axis], loaded.attributes.normals[i][axis]);
  }
  EXPECT_EQ(different, 0u);
}

std::string problemOf(const TempDirectory& directory, const std::string& content) {
  const fs::path file = directory.path / "cloud.ply";
  writeTextFile(file, content);
  return readPlyFile(file.string()).problem;
}

const std::string kAsciiHeader = "ply\nformat ascii 1.0\ncomment made by hand\nelement vertex 2\n";

} // namespace

TEST(ReadPlyFile, GivesTheShippedScansBackFromPclsPlyFiles) {
  TempDirectory directory;
  for (const char* name : {"milk_color.pcd", "colored_cloud.pcd", "cturtle.pcd"}) {
    const LoadedCloud scan = readCloudFile(samplePath(name), NormalReading::Read);
    ASSERT_EQ(scan.problem, "");
    Normals normals = scan.attributes.normals;
    normals.resize(scan.cloud.size(), Eigen::Vector3f(0.0f, 0.6f, 0.8f));
    const fs::path file = directory.path / (std::string(name) + ".ply");
    for (bool binary : {true, false}) {
      expectCloudThroughPly<pcl::PointXYZ>(scan.cloud, normals, binary, file);
      expectCloudThroughPly<pcl::PointXYZRGBA>(scan.cloud, normals, binary, file);
      expectCloudThroughPly<pcl::PointXYZRGBNormal>(scan.cloud, normals, binary, file);
    }
  }
}

TEST(ReadPlyFile, ReadsIntegerAndDoubleCoordinatesBigEndianDataAndFacesAfterTheVertices) {
  TempDirectory directory;
  const fs::path file = directory.path / "cloud.ply";
  // Integer coordinates up to 2^24, as voxelized clouds store them, with float normals.
  writeTextFile(file, kAsciiHeader +
                          "property int x\nproperty short y\nproperty uint z\nproperty uchar red\n"
                          "property uchar green\nproperty uchar blue\nproperty float nx\n"
                          "property float ny\nproperty float nz\nend_header\n"
                          "16777216 -7 3 10 20 30 0 0 1\n4 5 1023 255 0 1 0.6 0.8 0\n");
  LoadedCloud loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  ASSERT_EQ(loaded.cloud.size(), 2u);
  EXPECT_EQ(loaded.cloud[0].x, 16777216.0f);
  EXPECT_EQ(loaded.cloud[0].y, -7.0f);
  EXPECT_EQ(loaded.cloud[1].z, 1023.0f);
  EXPECT_EQ(loaded.cloud[0].r, 10);
  EXPECT_EQ(loaded.cloud[0].b, 30);
  EXPECT_EQ(loaded.cloud[1].r, 255);
  EXPECT_TRUE(loaded.attributes.hasColor);
  EXPECT_EQ(loaded.attributes.normals[1], Eigen::Vector3f(0.6f, 0.8f, 0.0f));

  // Big-endian doubles, colour with alpha, and a face list after the vertices.
  std::string body;
  const auto bigEndian = [&](auto value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    for (std::size_t i = sizeof value; i-- > 0;)
      body += bytes[i];
  };
  for (double x : {0.1, -2.5}) {
    bigEndian(x);
    bigEndian(1.0);
    bigEndian(1e30);
    body += std::string("\x07\x08\x09\xff", 4);
  }
  body += std::string("\x03", 1) + std::string(12, '\0');
  writeTextFile(file, "ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty double x\n"
                      "property double y\nproperty double z\nproperty uchar red\n"
                      "property uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                      "element face 1\nproperty list uchar int vertex_indices\nend_header\n" +
                          body);
  loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  ASSERT_EQ(loaded.cloud.size(), 2u);
  EXPECT_EQ(loaded.cloud[0].x, 0.1f);
  EXPECT_EQ(loaded.cloud[1].x, -2.5f);
  EXPECT_EQ(loaded.cloud[1].z, 1e30f);
  EXPECT_EQ(loaded.cloud[1].g, 8);
  EXPECT_TRUE(loaded.attributes.normals.empty());
}

TEST(ReadPlyFile, RefusesWhatPclWouldMisreadWithTheReason) {
  TempDirectory directory;
  const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
  EXPECT_EQ(problemOf(directory, kAsciiHeader +
                                     "property int x\nproperty int y\nproperty int z\nend_header\n"
                                     "1 2 16777217\n4 5 6\n"),
            "vertex 0 has the integer coordinate 16777217, which single precision cannot hold "
            "exactly");
  EXPECT_EQ(
      problemOf(directory, kAsciiHeader + xyz +
                               "property ushort red\nproperty ushort green\n"
                               "property ushort blue\nend_header\n1 2 3 4 5 6\n1 2 3 4 5 6\n"),
      "colour property 'red' is stored as ushort; colours must be uchar");
  EXPECT_EQ(problemOf(directory,
                      kAsciiHeader + xyz + "property uchar red\nend_header\n1 2 3 4\n1 2 3 4\n"),
            "the vertices have some of red, green and blue but not all three");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz + "end_header\n1.5 abc 3\n4 5 6\n"),
            "vertex 0: 'abc' is not a value of property 'y' (float)");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz + "end_header\n1 2 3\n4 5 6 7\n"),
            "vertex 1: 4 values where a vertex has 3");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz + "end_header\n1 2 3e39\n4 5 6\n"),
            "vertex 0: '3e39' is not a value of property 'z' (float)");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + "property float x\nproperty float y\nend_header\n"
                                                "1 2\n3 4\n"),
            "the vertices have no property 'z'");
  EXPECT_EQ(
      problemOf(directory, "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\n" +
                               xyz + "end_header\n" + std::string(24, '\0')),
      "the file declares 4000000000 vertices");
  EXPECT_EQ(problemOf(directory, "ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + xyz +
                                     "end_header\n" + std::string(24, '\0')),
            "the header promises 3 vertices of 12 bytes but the file holds 24 bytes of data");
  EXPECT_EQ(problemOf(directory, "ply\nformat binary_little_endian 1.0\nelement vertex 1\n" + xyz +
                                     "property list uchar int labels\nend_header\n"),
            "vertex property 'labels' is a list");
  // Found by the fuzzer: PCL's reader aborts on a grid smaller than the vertices.
  EXPECT_EQ(problemOf(directory, "ply\nformat binary_little_endian 1.0\nobj_info num_cols 2\n"
                                 "obj_info num_rows 1\nelement vertex 3\n" +
                                     xyz + "end_header\n" + std::string(36, '\0')),
            "obj_info gives a grid of num_cols x num_rows = 2 x 1 where the file has 3 vertices");
  EXPECT_EQ(readPlyFile(QUORVANE_FUZZ_REGRESSION_DIR "/grid-smaller-than-vertices.ply").problem,
            "obj_info gives a grid of num_cols x num_rows = 2 x 1 where the file has 6 vertices");
  EXPECT_EQ(problemOf(directory, "solid cube\n"), "it does not start with 'ply'");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz), "the header has no end_header line");
}
