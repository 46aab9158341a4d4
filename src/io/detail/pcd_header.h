#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// A PCD header as PCL 1.13's reader reads it, line for line.

struct PcdField {
  std::string name;
  std::uint64_t size = 0;
  char type = 0;
  std::uint64_t count = 1;
};

struct PcdHeader {
  std::vector<PcdField> fields;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t points = 0;
  std::string dataFormat;
  std::uint64_t dataOffset = 0;
  std::size_t lines = 0;
  // The VIEWPOINT line, when there is one.
  std::string viewpoint;
};

// Reads the header up to its DATA line; the reason when the reader would misread it.
std::string readPcdHeader(std::istream& file, PcdHeader& header);

// Whether a word starts like a header line, which the reader would take as one.
bool startsWithKeyword(const std::string& word);
