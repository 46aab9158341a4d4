#pragma once

#include "metrics/cloud_comparison.h"

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <string>

// Makes every search split its queries over the threads it is given, however few there are,
// while it lives, so that tests of small clouds really run several threads.
struct SeveralThreadsPerSearch {
  SeveralThreadsPerSearch();
  ~SeveralThreadsPerSearch();
  SeveralThreadsPerSearch(const SeveralThreadsPerSearch&) = delete;
  SeveralThreadsPerSearch& operator=(const SeveralThreadsPerSearch&) = delete;
  std::size_t previous;
};

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDirectory {
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  boost::filesystem::path path;
};

pcl::PointXYZRGBA colorPoint(float x, float y, float z, std::uint8_t r, std::uint8_t g,
                             std::uint8_t b);

ColorCloud::Ptr cloudOf(std::initializer_list<pcl::PointXYZRGBA> points);

// A coloured cloud of count points spread over a unit cube, the same for the same seed.
ColorCloud::Ptr randomCloud(std::size_t count, unsigned seed);

enum class PcdStorage { Ascii, Binary, BinaryCompressed };

// Writes the cloud with PCL's writer, creating the parent directories.
void writeCloud(const boost::filesystem::path& file, const ColorCloud& cloud,
                PcdStorage storage = PcdStorage::Binary);

void writeTextFile(const boost::filesystem::path& file, const std::string& content);

std::string readTextFile(const boost::filesystem::path& file);

std::string samplePath(const std::string& name);

struct CommandResult {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs a shell command in directory and collects its output and exit status.
CommandResult runCommand(const std::string& command, const boost::filesystem::path& directory);

// Quotes text for the shell.
std::string shellQuoted(const std::string& text);

// Counts the non-overlapping occurrences of needle in text.
std::size_t countOccurrences(const std::string& text, const std::string& needle);
