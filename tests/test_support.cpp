#include "test_support.h"

#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = boost::filesystem;

TempDirectory::TempDirectory()
    : path(fs::temp_directory_path() / fs::unique_path("quorvane-test-%%%%-%%%%-%%%%")) {
  fs::create_directories(path);
}

TempDirectory::~TempDirectory() {
  boost::system::error_code ignored;
  fs::remove_all(path, ignored);
}

pcl::PointXYZRGBA colorPoint(float x, float y, float z, std::uint8_t r, std::uint8_t g,
                             std::uint8_t b) {
  pcl::PointXYZRGBA point;
  point.x = x;
  point.y = y;
  point.z = z;
  point.r = r;
  point.g = g;
  point.b = b;
  point.a = 255;
  return point;
}

ColorCloud::Ptr cloudOf(std::initializer_list<pcl::PointXYZRGBA> points) {
  auto cloud = std::make_shared<ColorCloud>();
  for (const auto& point : points)
    cloud->push_back(point);
  return cloud;
}

ColorCloud::Ptr randomCloud(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> coordinate(0.0f, 1.0f);
  std::uniform_int_distribution<int> channel(0, 255);
  auto cloud = std::make_shared<ColorCloud>();
  for (std::size_t i = 0; i < count; ++i) {
    const float x = coordinate(generator), y = coordinate(generator), z = coordinate(generator);
    const auto r = channel(generator), g = channel(generator), b = channel(generator);
    cloud->push_back(colorPoint(x, y, z, static_cast<std::uint8_t>(r),
                                static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)));
  }
  return cloud;
}

void writeCloud(const fs::path& file, const ColorCloud& cloud, PcdStorage storage) {
  if (file.has_parent_path())
    fs::create_directories(file.parent_path());
  pcl::PCDWriter writer;
  int status = -1;
  switch (storage) {
  case PcdStorage::Ascii:
    status = writer.writeASCII(file.string(), cloud);
    break;
  case PcdStorage::Binary:
    status = writer.writeBinary(file.string(), cloud);
    break;
  case PcdStorage::BinaryCompressed:
    status = writer.writeBinaryCompressed(file.string(), cloud);
    break;
  }
  if (status < 0)
    throw std::runtime_error("cannot write " + file.string());
}

void writeTextFile(const fs::path& file, const std::string& content) {
  if (file.has_parent_path())
    fs::create_directories(file.parent_path());
  std::ofstream stream(file.string(), std::ios::binary);
  stream << content;
  if (!stream)
    throw std::runtime_error("cannot write " + file.string());
}

std::string readTextFile(const fs::path& file) {
  std::ifstream stream(file.string(), std::ios::binary);
  std::ostringstream content;
  content << stream.rdbuf();
  return content.str();
}

std::string samplePath(const std::string& name) {
  return (fs::path(QUORVANE_SAMPLE_DIR) / name).string();
}

std::size_t countOccurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}
