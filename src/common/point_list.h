#pragma once

// common: the points, buffers, threads and CSV records that every subsystem shares.

#include "common/bulk_allocator.h"
#include "common/color_cloud.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A point as the comparison keeps it: its coordinates and 8-bit colour in 16 bytes, where
// PCL's PointXYZRGBA takes 32.
struct ColorPoint {
  float position[3];
  std::uint8_t r;
  std::uint8_t g;
  std::uint8_t b;
};

// The measurable points of a cloud, in storage order.
using PointList = std::vector<ColorPoint, BulkAllocator<ColorPoint>>;

// The points of a cloud read by PCL, in the same order, coordinates and colours as they are.
PointList toPointList(const ColorCloud& cloud);

// The coordinates of the point at a position, for code that reads either kind of cloud.
inline const float* coordinatesOf(const ColorCloud& cloud, std::size_t position) {
  return cloud[position].data;
}
inline const float* coordinatesOf(const PointList& points, std::size_t position) {
  return points[position].position;
}
