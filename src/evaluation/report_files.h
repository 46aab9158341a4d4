#pragma once

#include <fstream>
#include <string>

// Takes an advisory lock (flock, exclusive) on the report file, creating it without
// truncating it, held until the process ends: a second run in the same directory then refuses
// before it truncates the first one's report. Returns the problem, or "".
std::string lockReport(const std::string& name);

// Opens a report file for writing, truncated. Returns the problem, or "".
std::string openReport(std::ofstream& report, const std::string& name);

// A report file whose first failed write is reported once; the console log goes on
// regardless.
struct CheckedReport {
  std::ofstream stream;
  std::string name;
  bool failureReported = false;
};

// False once a write to the report has failed; the first time, after a message.
bool checkReport(CheckedReport& report);
