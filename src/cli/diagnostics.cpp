#include "cli/diagnostics.h"

#include <pcl/console/print.h>

#include <cstdio>

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

std::string printableName(const std::string& name) {
  std::string printable;
  printable.reserve(name.size());
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code != 0x7f) {
      printable += c;
    } else if (c == '\n') {
      printable += "\\n";
    } else if (c == '\r') {
      printable += "\\r";
    } else if (c == '\t') {
      printable += "\\t";
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", code);
      printable += escape;
    }
  }
  return printable;
}
