// libFuzzer target: the input bytes become a .pcd file that is loaded and compared as the
// original and as the decoded cloud against a small valid cloud, without and with the codec
// metrics, whose loading reads the file's normals too.

#include "metrics/cloud_comparison.h"

#include <pcl/console/print.h>
#include <pcl/io/pcd_io.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string writeTemporaryFile(const std::string& name, const char* data, std::size_t size) {
  const std::string path = "/tmp/quorvane-fuzz-" + std::to_string(getpid()) + "-" + name;
  std::ofstream(path, std::ios::binary).write(data, static_cast<std::streamsize>(size));
  return path;
}

std::string validCloudPath() {
  static const std::string path = [] {
    ColorCloud cloud;
    for (int i = 0; i < 8; ++i) {
      pcl::PointXYZRGBA point;
      point.x = static_cast<float>(i);
      point.y = static_cast<float>(i % 3);
      point.z = 0.5f;
      point.r = static_cast<std::uint8_t>(30 * i);
      cloud.push_back(point);
    }
    const std::string file = writeTemporaryFile("valid.pcd", "", 0);
    pcl::PCDWriter().writeBinary(file, cloud);
    return file;
  }();
  return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pcl::console::setVerbosityLevel(pcl::console::L_ALWAYS);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file =
      writeTemporaryFile("input.pcd", reinterpret_cast<const char*>(data), size);
  const std::string valid = validCloudPath();
  loadAndCompare(file, valid, 1);
  loadAndCompare(valid, file, 1);
  loadAndCompare(file, valid, 1, true);
  std::remove(file.c_str());
  return 0;
}
