#include "support/test_support.h"

#include "common/parallel_chunks.h"

#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

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
    cloud->push_back(colorPoint(x, y, z, static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                static_cast<std::uint8_t>(b)));
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
  for (auto at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult runCommand(const std::string& command, const fs::path& directory) {
  TempDirectory logs;
  const fs::path out = logs.path / "out", err = logs.path / "err";
  const std::string line = "cd " + shellQuoted(directory.string()) + " && " + command + " > " +
                           shellQuoted(out.string()) + " 2> " + shellQuoted(err.string());
  const int status = std::system(line.c_str());
  CommandResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readTextFile(out);
  result.err = readTextFile(err);
  return result;
}

SeveralThreadsPerSearch::SeveralThreadsPerSearch() : previous(minimumItemsPerThread()) {
  setMinimumItemsPerThread(2);
}

SeveralThreadsPerSearch::~SeveralThreadsPerSearch() {
  setMinimumItemsPerThread(previous);
}
