#pragma once

#include "common/bulk_allocator.h"
#include "common/color_cloud.h"
#include "common/point_list.h"
#include "search/detail/tree_node.h"

#include <array>
#include <cstdint>
#include <vector>

// PCL's KdTreeFLANN is FLANN's KDTreeSingleIndex with 15 points a leaf. The tree below is built
// step for step as FLANN builds it (middleSplit, planeSplit), in the same single-precision
// arithmetic, so that a search over it can return the very neighbour PCL's search returns.

constexpr int kLeafSize = 15;
constexpr int kDimensions = 3;

struct Interval {
  float low;
  float high;
};
using Box = std::array<Interval, kDimensions>;

// A cloud indexed for nearest-neighbour searches. The tree keeps its own copy of what the
// searches read, so the cloud is read only while the tree is built.
struct SearchTree {
  // The cloud's position of the point at each slot, in tree order.
  std::vector<std::int32_t, BulkAllocator<std::int32_t>> order;
  // The coordinates in tree order, three a slot, for locality.
  std::vector<float, BulkAllocator<float>> ordered;
  // In FLANN's order: each node before its first subtree, the first before the second.
  std::vector<TreeNode, BulkAllocator<TreeNode>> nodes;
  Box rootBox{};
  // -1 for a cloud without points.
  std::int32_t root = -1;

  std::size_t size() const { return order.size(); }
};

// The tree of a cloud, built on up to `threads` threads: below the top splits the subtrees are
// built at once, and the tree is the same on any number of threads.
SearchTree buildSearchTree(const ColorCloud& cloud, unsigned threads = 1);
SearchTree buildSearchTree(const PointList& points, unsigned threads = 1);
