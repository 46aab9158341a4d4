#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Where the fields that PCL's reader maps lie in a DATA binary or binary_compressed file, for
// reading the points straight from its bytes. A binary file stores each point's fields
// together, pointStep bytes a point; a binary_compressed one stores, once decompressed, every
// point's value of one field before the next field (field by field, no padding fields), so
// that a field at offset o within a point starts at o * POINTS.
struct PcdBinaryLayout {
  bool compressed = false;
  std::uint64_t dataOffset = 0;
  std::uint64_t pointStep = 0;
  std::uint64_t coordinateOffsets[3] = {0, 0, 0};
  // The first rgb or rgba field that the reader maps; none without one.
  std::optional<std::uint64_t> colorOffset;
  // normal_x, normal_y and normal_z, when the file has all three as single 4-byte floats.
  std::optional<std::array<std::uint64_t, 3>> normalOffsets;
  // The VIEWPOINT's position, as the reader sets the cloud's sensor origin; 0 without one.
  std::array<float, 3> sensorOrigin{0.0f, 0.0f, 0.0f};
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
  // The field that holds the points' reflectance: intensity, else reflectance; empty without.
  std::string reflectanceField;
  // For a DATA binary or binary_compressed file without a problem, whose fields and
  // VIEWPOINT can be read directly as the reader reads them.
  std::optional<PcdBinaryLayout> binaryLayout;
};

// PCL 1.13's PCD reader crashes, throws or allocates without bound on damaged files, so
// every file is checked here before the reader sees it.
PcdFileCheck checkPcdFile(const std::string& path);

// The header's POINTS, read without the data: what the file's cloud costs in memory. None
// when the header cannot be read or is inconsistent.
std::optional<std::uint64_t> readPointCount(const std::string& path);
