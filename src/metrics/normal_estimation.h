#pragma once

#include "common/color_cloud.h"
#include "search/search_tree.h"

#include <vector>

// The neighbours that a normal is fitted to.
constexpr std::size_t kNormalNeighbours = 12;

// The normal of every point of the cloud, as pcl::NormalEstimation with setKSearch(k) computes
// it: the least-squares plane through the point's k nearest points (the point included),
// turned towards the cloud's sensor origin. A point with fewer than 3 neighbours, in a cloud of
// fewer than 3 points, gets NaN. Computed on up to `threads` threads.
Normals estimateNormals(const ColorCloud& cloud, unsigned threads,
                        std::size_t k = kNormalNeighbours);

// estimateNormals on the cloud's search tree, for the points marked in selected only when it is
// given; the others get NaN.
Normals estimateNormals(const ColorCloud& cloud, const SearchTree& tree, unsigned threads,
                        const std::vector<bool>* selected, std::size_t k = kNormalNeighbours);
