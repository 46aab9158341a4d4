#pragma once

#include "common/color_cloud.h"
#include "common/point_list.h"
#include "metrics/duplicate_merging.h"

#include <Eigen/Core>

// The neighbours that a normal is fitted to.
constexpr std::size_t kNormalNeighbours = 12;

// The normal of every point, as pcl::NormalEstimation with setKSearch(k) computes it over the
// points in their order: the least-squares plane through the point's k nearest points (the
// point included), turned towards the viewpoint. A point with fewer than 3 neighbours, in a
// cloud of fewer than 3 points, gets NaN. Computed on up to `threads` threads.
Normals estimateNormals(const PointList& points, const Eigen::Vector4f& viewpoint, unsigned threads,
                        std::size_t k = kNormalNeighbours);

// estimateNormals of a PCL cloud, towards its sensor origin.
Normals estimateNormals(const ColorCloud& cloud, unsigned threads,
                        std::size_t k = kNormalNeighbours);

// The normals of the merged points of `given` (mergeDuplicates), each that of its first given
// point in estimateNormals over `given`; the other points' normals are never worked out.
Normals estimateMergedNormals(const PointList& given, const MergedCloud& merged,
                              const Eigen::Vector4f& viewpoint, unsigned threads,
                              std::size_t k = kNormalNeighbours);
