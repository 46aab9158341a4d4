#pragma once

#include "color_cloud.h"
#include "point_list.h"

// A cloud with every position once, as MPEG's pc_error merges duplicate points (its default
// --dropdups=2): the points sorted by x, then y, then z (storage order among equals); each run
// of equal positions becomes one point with the integer mean of the run's red, green and blue
// and the normal of the run's first point.
struct MergedCloud {
  PointList points;
  Normals normals; // empty when none were given
};

MergedCloud mergeDuplicates(const PointList& points, const Normals& normals);
