#pragma once

#include "test_support.h"

#include <string>
#include <vector>

// A named damaged PCD file, one of each kind of damage that PCL 1.13's reader cannot survive.
struct DamagedPcd {
  std::string name;
  std::string content;
};

// The text of a small valid cloud written by PCL's writer in the given storage.
std::string validPcdText(PcdStorage storage);

// Replaces the header line that starts with keyword by line.
std::string withHeaderLine(std::string text, const std::string& keyword, const std::string& line);

std::vector<DamagedPcd> damagedPcdFiles();
