#include "io/pcl_pcd_reader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

std::string directoryOf(const std::string& path) {
  return path.substr(0, path.rfind('/') + 1);
}

// Where the module is looked for: beside the shared object that holds this code when that is not
// the program (the Python module, which installs it beside itself), beside the program (the build
// tree), where `cmake --install` puts it relative to the program, and where this build made it.
std::vector<std::string> moduleCandidates() {
  std::vector<std::string> candidates;
  Dl_info self;
  if (dladdr(reinterpret_cast<void*>(&directoryOf), &self) != 0 && self.dli_fname != nullptr &&
      std::string(self.dli_fname).find(".so") != std::string::npos)
    candidates.push_back(directoryOf(self.dli_fname) + kPcdReaderModuleName);
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    const std::string directory =
        directoryOf(std::string(program, static_cast<std::size_t>(length)));
    candidates.push_back(directory + kPcdReaderModuleName);
    candidates.push_back(directory + QUORVANE_PCD_READER_FROM_PROGRAM + kPcdReaderModuleName);
  }
  candidates.push_back(QUORVANE_PCD_READER_BUILT);
  return candidates;
}

struct LoadedModule {
  PcdReadEntry read = nullptr;
  std::string problem;
};

LoadedModule loadModule() {
  LoadedModule loaded;
  for (const std::string& candidate : moduleCandidates()) {
    void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      if (access(candidate.c_str(), F_OK) == 0 && loaded.problem.empty())
        loaded.problem = dlerror();
      continue;
    }
    loaded.read = reinterpret_cast<PcdReadEntry>(dlsym(module, kPcdReadEntryName));
    if (loaded.read != nullptr)
      return loaded;
    loaded.problem = candidate + " has no " + kPcdReadEntryName;
  }
  if (loaded.problem.empty())
    loaded.problem = std::string(kPcdReaderModuleName) + " is neither beside the program nor in " +
                     QUORVANE_PCD_READER_BUILT;
  return loaded;
}

} // namespace

int readPcdWithPcl(const std::string& path, pcl::PCLPointCloud2& blob, Eigen::Vector4f& origin,
                   Eigen::Quaternionf& orientation, int& version) {
  static std::once_flag once;
  static LoadedModule module;
  std::call_once(once, [] { module = loadModule(); });
  if (module.read == nullptr)
    throw std::runtime_error("needs PCL's reader, which could not be loaded: " + module.problem);
  return module.read(path.c_str(), &blob, &origin, &orientation, &version);
}
