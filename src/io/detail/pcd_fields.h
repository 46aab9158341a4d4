#pragma once

#include "io/detail/pcd_header.h"
#include "io/pcd_file_check.h"

#include <cstdint>
#include <optional>
#include <string>

// What PCL's reader maps of a PCD header's fields into coloured points and normals.

// "F 4", or "U 1 x 3" for a field with a count.
std::string describe(const PcdField& field);

// The file has a colour field that the reader maps (rgb or rgba).
bool hasMappedColor(const PcdHeader& header);

// Where the reader finds each of the point's fields in a binary point; none when the sensor
// origin cannot be read as the reader reads it or a compressed body has padding.
std::optional<PcdBinaryLayout> binaryLayoutOf(const PcdHeader& header);

// The file has normal_x, normal_y and normal_z, each a single 4-byte float.
bool hasFloatNormals(const PcdHeader& header);

// The reason when the reader would leave the coordinates, or a colour field, unmapped.
std::string checkMappedFields(const PcdHeader& header);

// The bytes of one point.
std::uint64_t pointStep(const PcdHeader& header);
