#pragma once

#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

// A named damaged PCD file and the reason the check gives for it.
struct DamagedPcd {
  std::string name;
  std::string content;
  std::string reason;
};

// The text of a small valid cloud of 20 points written by PCL's writer in the given storage.
std::string validPcdText(PcdStorage storage);

// Replaces the header line that starts with keyword by line.
std::string withHeaderLine(std::string text, const std::string& keyword, const std::string& line);

// A PCD header of x y z floats declaring the points, with no data after DATA: what reading the
// header alone needs.
std::string pcdHeaderOnly(std::uint64_t points);

// One of each kind of damage that PCL 1.13's reader crashes on, hangs on or misreads.
std::vector<DamagedPcd> damagedPcdFiles();
