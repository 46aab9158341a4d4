#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where the fields that PCL's reader maps lie in each point of a DATA binary file, for reading
// the points straight from its bytes.
struct PcdBinaryLayout {
  std::uint64_t dataOffset = 0;
  std::uint64_t pointStep = 0;
  std::uint64_t coordinateOffsets[3] = {0, 0, 0};
  // The first rgb or rgba field that the reader maps; none without one.
  std::optional<std::uint64_t> colorOffset;
};

struct PcdFileCheck {
  // Empty for a file whose header is consistent and whose data fits in the file.
  std::string problem;
  // The header's POINTS, for a file without a problem.
  std::uint64_t points = 0;
  // The file has a colour field that the reader maps (rgb or rgba).
  bool hasColor = false;
  // The file has normal_x, normal_y and normal_z, each a single 4-byte float.
  bool hasNormals = false;
  // For a DATA binary file without a problem.
  std::optional<PcdBinaryLayout> binaryLayout;
};

// PCL 1.13's PCD reader crashes, throws or allocates without bound on damaged files, so
// every file is checked here before the reader sees it.
PcdFileCheck checkPcdFile(const std::string& path);

// The header's POINTS, read without the data: what the file's cloud costs in memory. None
// when the header cannot be read or is inconsistent.
std::optional<std::uint64_t> readPointCount(const std::string& path);
