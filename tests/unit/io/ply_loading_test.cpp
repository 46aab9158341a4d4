#include "io/ply_loading.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <pcl/common/io.h>
#include <pcl/io/ply_io.h>

#include <boost/filesystem.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
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
    const LoadedCloud scan = readPcdFile(samplePath(name), NormalReading::Read);
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

// pc_error's reflectance: a property reflectance (taken first) or refc, uint8 or uint16; another
// type is no reflectance, and says why, but the cloud is read.
TEST(ReadPlyFile, ReadsReflectanceAsPcErrorDoes) {
  TempDirectory directory;
  const fs::path file = directory.path / "cloud.ply";
  const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
  writeTextFile(file, kAsciiHeader + xyz +
                          "property ushort refc\nproperty uint16 reflectance\n"
                          "end_header\n0 0 0 9 65535\n1 0 0 8 0\n");
  LoadedCloud loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  EXPECT_EQ(std::vector<std::uint16_t>(loaded.attributes.reflectance.begin(),
                                       loaded.attributes.reflectance.end()),
            (std::vector<std::uint16_t>{65535, 0}));
  writeTextFile(file, kAsciiHeader + xyz + "property uchar refc\nend_header\n0 0 0 255\n1 1 1 3\n");
  loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.attributes.reflectance.size(), 2u);
  EXPECT_EQ(loaded.attributes.reflectance[0], 255);
  writeTextFile(file, kAsciiHeader + xyz +
                          "property float reflectance\nend_header\n0 0 0 0.5\n1 0 0 1\n");
  loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  EXPECT_TRUE(loaded.attributes.reflectance.empty());
  EXPECT_EQ(loaded.attributes.reflectanceProblem,
            "its reflectance property 'reflectance' is stored as float, where reflectance is uint8 "
            "or uint16");
  // A point whose coordinate single precision cannot hold is dropped with its reflectance.
  writeTextFile(file, kAsciiHeader + "property float x\nproperty double y\nproperty float z\n"
                                     "property uint16 reflectance\nend_header\n"
                                     "0 1e300 0 1\n0 0 0 2\n");
  const LoadedPoints points =
      loadMeasurablePoints(file.string(), NormalReading::Skip, ReflectanceReading::Read);
  ASSERT_EQ(points.problem, "");
  ASSERT_EQ(points.attributes.reflectance.size(), 1u);
  EXPECT_EQ(points.attributes.reflectance[0], 2);
  EXPECT_TRUE(loadMeasurablePoints(file.string()).attributes.reflectance.empty());
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
                                     "property list uchar float x\nend_header\n"),
            "vertex property 'x' is a list");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz + "property float x\nend_header\n"),
            "the vertices have two properties for 'x'");
  EXPECT_EQ(problemOf(directory, "solid cube\n"), "it does not start with 'ply'");
  EXPECT_EQ(problemOf(directory, kAsciiHeader + xyz), "the header has no end_header line");
}

namespace {

// A property of a generated PLY file and the value each vertex stores in it.
struct GeneratedProperty {
  std::string name;
  std::string type;
  std::vector<double> values;
};

// Writes the properties' values as a PLY vertex element in the format, a byte or a digit at a
// time and independently of the reader: the reference the reader is held against.
std::string plyOf(const std::vector<GeneratedProperty>& properties, std::size_t count,
                  const std::string& format) {
  std::string text =
      "ply\nformat " + format + " 1.0\nelement vertex " + std::to_string(count) + "\n";
  for (const GeneratedProperty& property : properties)
    text += "property " + property.type + " " + property.name + "\n";
  text += "end_header\n";
  const bool bigEndian = format == "binary_big_endian";
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t k = 0; k < properties.size(); ++k) {
      const std::string& type = properties[k].type;
      const double value = properties[k].values[i];
      if (format == "ascii") {
        char digits[64];
        std::snprintf(digits, sizeof digits, type == "float" ? "%.9g" : "%.17g", value);
        text += (k == 0 ? "" : " ") + std::string(digits);
        continue;
      }
      char bytes[8];
      std::size_t size = 0;
      const auto store = [&](auto typed) {
        size = sizeof typed;
        std::memcpy(bytes, &typed, size);
      };
      if (type == "float")
        store(static_cast<float>(value));
      else if (type == "double")
        store(value);
      else if (type == "uchar")
        store(static_cast<std::uint8_t>(value));
      else if (type == "char")
        store(static_cast<std::int8_t>(value));
      else if (type == "short")
        store(static_cast<std::int16_t>(value));
      else if (type == "ushort")
        store(static_cast<std::uint16_t>(value));
      else if (type == "int")
        store(static_cast<std::int32_t>(value));
      else
        store(static_cast<std::uint32_t>(value));
      for (std::size_t b = 0; b < size; ++b)
        text += bytes[bigEndian ? size - 1 - b : b];
    }
    if (format == "ascii")
      text += "\n";
  }
  return text;
}

} // namespace

// Every property order and type, in the three formats: each point must hold its own values.
TEST(ReadPlyFile, ReadsEveryPropertyOrderAndTypeAsWritten) {
  TempDirectory directory;
  const fs::path file = directory.path / "generated.ply";
  std::mt19937 generator(25);
  const std::vector<std::string> coordinateTypes = {"float", "double", "int",  "uint",
                                                    "short", "ushort", "char", "uchar"};
  const std::vector<std::string> otherTypes = {"float", "double", "int", "uchar", "ushort"};
  for (int round = 0; round < 60; ++round) {
    const std::size_t count = 1 + generator() % 40;
    std::vector<GeneratedProperty> properties;
    const auto values = [&](const std::string& type, bool coordinate) {
      std::vector<double> result(count);
      for (double& value : result) {
        if (type == "float")
          value = static_cast<float>(std::uniform_real_distribution<double>(-1e3, 1e3)(generator));
        else if (type == "double")
          value = std::uniform_real_distribution<double>(-1e3, 1e3)(generator);
        else if (type == "uchar")
          value = generator() % 256;
        else if (type == "char")
          value = static_cast<int>(generator() % 256) - 128;
        else if (type == "short")
          value = static_cast<int>(generator() % 65536) - 32768;
        else if (type == "ushort")
          value = generator() % 65536;
        else
          value = static_cast<double>(generator() % (coordinate ? 16777217u : 4000000000u)) -
                  (type == "int" ? (coordinate ? 8000000.0 : 2000000000.0) : 0.0);
      }
      return result;
    };
    for (const char* axis : {"x", "y", "z"}) {
      const std::string type = coordinateTypes[generator() % coordinateTypes.size()];
      properties.push_back({axis, type, values(type, true)});
    }
    const bool color = generator() % 3 != 0;
    if (color)
      for (const char* channel : {"red", "green", "blue"})
        properties.push_back({channel, "uchar", values("uchar", false)});
    const bool normals = generator() % 2 == 0;
    if (normals)
      for (const char* axis : {"nx", "ny", "nz"})
        properties.push_back({axis, "float", values("float", false)});
    for (int extra = generator() % 3; extra > 0; --extra) {
      const std::string type = otherTypes[generator() % otherTypes.size()];
      properties.push_back({"extra" + std::to_string(extra), type, values(type, false)});
    }
    std::shuffle(properties.begin(), properties.end(), generator);
    for (const std::string format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
      SCOPED_TRACE("round " + std::to_string(round) + ", " + format);
      writeTextFile(file, plyOf(properties, count, format));
      const LoadedCloud loaded = readPlyFile(file.string());
      ASSERT_EQ(loaded.problem, "");
      ASSERT_EQ(loaded.cloud.size(), count);
      EXPECT_EQ(loaded.attributes.hasColor, color);
      ASSERT_EQ(loaded.attributes.normals.size(), normals ? count : 0);
      std::size_t different = 0;
      for (const GeneratedProperty& property : properties)
        for (std::size_t i = 0; i < count; ++i) {
          const pcl::PointXYZRGBA& point = loaded.cloud[i];
          const float want = static_cast<float>(property.values[i]);
          const std::string& name = property.name;
          if (name == "x" || name == "y" || name == "z")
            different += point.data[name[0] - 'x'] != want;
          else if (name == "red")
            different += point.r != want;
          else if (name == "green")
            different += point.g != want;
          else if (name == "blue")
            different += point.b != want;
          else if (name[0] == 'n')
            different += loaded.attributes.normals[i][name[1] - 'x'] != want;
        }
      EXPECT_EQ(different, 0u);
    }
  }
}

// Files that PCL's PLY reader aborted on or misread; each is now read as written.
TEST(ReadPlyFile, ReadsTheFilesPclsReaderAbortedOnOrMisread) {
  // Colours in reverse order, binary: PCL's reader failed an assertion.
  LoadedCloud loaded = readPlyFile(QUORVANE_FUZZ_REGRESSION_DIR "/colours-blue-green-red.ply");
  ASSERT_EQ(loaded.problem, "");
  ASSERT_EQ(loaded.cloud.size(), 2u);
  EXPECT_EQ(loaded.cloud[1].x, 4.0f);
  EXPECT_EQ(loaded.cloud[1].z, 6.0f);
  EXPECT_EQ(loaded.cloud[1].r, 30);
  EXPECT_EQ(loaded.cloud[1].g, 20);
  EXPECT_EQ(loaded.cloud[1].b, 10);
  // A vertical tab before obj_info: PCL's reader failed an assertion.
  loaded = readPlyFile(QUORVANE_FUZZ_REGRESSION_DIR "/vertical-tab-before-obj-info.ply");
  ASSERT_EQ(loaded.problem, "");
  ASSERT_EQ(loaded.cloud.size(), 1u);
  EXPECT_EQ(loaded.cloud[0].y, 2.0f);
  // Colours between the coordinates: PCL's reader wrote (1, 2, 3) as (2, 0, 3).
  TempDirectory directory;
  const fs::path file = directory.path / "interleaved.ply";
  writeTextFile(file, "ply\nformat ascii 1.0\nelement vertex 2\nproperty uchar red\n"
                      "property float x\nproperty uchar green\nproperty float y\n"
                      "property uchar blue\nproperty float z\nend_header\n"
                      "7 1 8 2 9 3\n17 4 18 5 19 6\n");
  loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  EXPECT_EQ(loaded.cloud[0].getVector3fMap(), Eigen::Vector3f(1.0f, 2.0f, 3.0f));
  EXPECT_EQ(loaded.cloud[1].getVector3fMap(), Eigen::Vector3f(4.0f, 5.0f, 6.0f));
  EXPECT_EQ(+loaded.cloud[1].r, 17);
  EXPECT_EQ(+loaded.cloud[1].g, 18);
  EXPECT_EQ(+loaded.cloud[1].b, 19);
  // A grid that does not hold the vertices is metadata, not points: PCL's reader aborted on one
  // smaller and invented points for one larger.
  loaded = readPlyFile(QUORVANE_FUZZ_REGRESSION_DIR "/grid-smaller-than-vertices.ply");
  EXPECT_EQ(loaded.problem, "");
  EXPECT_EQ(loaded.cloud.size(), 6u);
  EXPECT_EQ(loaded.cloud.height, 1u);
  // A face list before the vertices, and one inside them, are skipped.
  writeTextFile(file,
                "ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int corners\n"
                "element vertex 1\nproperty float x\nproperty list uchar int tags\n"
                "property float y\nproperty float z\nend_header\n3 0 1 2\n1.5 2 8 9 2.5 3.5\n");
  loaded = readPlyFile(file.string());
  ASSERT_EQ(loaded.problem, "");
  EXPECT_EQ(loaded.cloud[0].getVector3fMap(), Eigen::Vector3f(1.5f, 2.5f, 3.5f));
}
