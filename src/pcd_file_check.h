#pragma once

#include <string>

// PCL 1.13's PCD reader crashes, throws or allocates without bound on damaged files, so
// every file is checked here before the reader sees it. Returns an empty string for a file
// whose header is consistent and whose data fits in the file, otherwise the reason.
std::string checkPcdFile(const std::string& path);
