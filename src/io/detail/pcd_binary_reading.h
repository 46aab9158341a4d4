#pragma once

#include "common/color_cloud.h"
#include "common/point_list.h"
#include "io/pcd_file_check.h"

#include <cstdint>
#include <optional>
#include <string>

// Reads a DATA binary or binary_compressed PCD body straight from its bytes, as PCL's reader
// would copy it into PointXYZRGBA and Normal points.

// The reason a cloud with a coordinate of this magnitude cannot be measured.
std::string tooLargeCoordinate(float largest);

// The points of a file with finite coordinates, and their normals when normals is given; the
// problem (empty when none), or none when PCL's reader is left to read the file (a compressed
// body that does not decompress to exactly the size it claims, which it reports).
std::optional<std::string> readPointsDirectly(const std::string& path,
                                              const PcdBinaryLayout& layout, std::uint64_t count,
                                              PointList& points, Normals* normals);
