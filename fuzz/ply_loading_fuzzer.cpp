// libFuzzer target: the input bytes become a .ply file that quorvane-dataset's reader loads.

#include "io/ply_loading.h"

#include <pcl/console/print.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pcl::console::setVerbosityLevel(pcl::console::L_ALWAYS);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = "/tmp/quorvane-fuzz-" + std::to_string(getpid()) + "-input.ply";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  readPlyFile(path);
  std::remove(path.c_str());
  return 0;
}
