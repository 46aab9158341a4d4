#include "diagnostics.h"

#include <pcl/console/print.h>

namespace {

std::string& programName() {
  static std::string name = "quorvane";
  return name;
}

} // namespace

void setProgramName(const std::string& name) {
  programName() = name;
}

void printProblem(const std::string& text) {
  pcl::console::print(pcl::console::L_ERROR, "%s: %s\n", programName().c_str(), text.c_str());
}
