#include "evaluation/report_files.h"

#include "cli/diagnostics.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string lockReport(const std::string& name) {
  const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0)
    return "cannot open " + name + ": " + std::strerror(errno);
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    ::close(descriptor);
    return name + " is being written by another run in this directory; it is left as it is";
  }
  // The descriptor stays open, and the lock held, until the process ends.
  return "";
}

std::string openReport(std::ofstream& report, const std::string& name) {
  errno = 0;
  report.open(name);
  if (!report)
    return "cannot open " + name + ": " + std::strerror(errno);
  return "";
}

bool checkReport(CheckedReport& report) {
  if (report.stream || report.failureReported)
    return static_cast<bool>(report.stream);
  printProblem("cannot write " + report.name + ": " + std::strerror(errno));
  report.failureReported = true;
  return false;
}
