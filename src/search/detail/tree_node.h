#pragma once

#include <cstdint>

// A node of the search tree, as FLANN's KDTreeSingleIndex lays it out; only the search reads it.
struct TreeNode {
  // Both children are -1 in a leaf.
  std::int32_t child1 = -1;
  std::int32_t child2 = -1;
  // The node's points are the tree's slots [left, right).
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::int32_t divfeat = 0;
  float divlow = 0.0f;
  float divhigh = 0.0f;
  // Every point below the node has the same coordinates.
  bool onePosition = false;
};
