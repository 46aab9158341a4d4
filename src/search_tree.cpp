#include "search_tree.h"

#include <algorithm>

// FLANN goes on searching every subtree whose lower bound equals the best distance so far,
// which makes clouds of many identical points quadratic; the tree marks the subtrees whose
// points all share one position, so that a search can settle them with one distance.

namespace {

// The tree being built and the cloud it is built from.
struct Builder {
  const ColorCloud& source;
  std::vector<std::int32_t>& order;
  std::vector<TreeNode>& nodes;
};

float coordinate(const Builder& tree, std::int32_t point, int axis) {
  return tree.source[static_cast<std::size_t>(point)].data[axis];
}

void computeMinMax(const Builder& tree, const std::int32_t* indices, int count, int axis,
                   float& lowest, float& highest) {
  lowest = highest = coordinate(tree, indices[0], axis);
  for (int i = 1; i < count; ++i) {
    const float value = coordinate(tree, indices[i], axis);
    if (value < lowest)
      lowest = value;
    if (value > highest)
      highest = value;
  }
}

// Orders indices into < cut, == cut, > cut on the axis, as FLANN does.
void planeSplit(const Builder& tree, std::int32_t* indices, int count, int axis, float cut,
                int& lim1, int& lim2) {
  int left = 0;
  int right = count - 1;
  for (;;) {
    while (left <= right && coordinate(tree, indices[left], axis) < cut)
      ++left;
    while (left <= right && coordinate(tree, indices[right], axis) >= cut)
      --right;
    if (left > right)
      break;
    std::swap(indices[left], indices[right]);
    ++left;
    --right;
  }
  lim1 = left;
  right = count - 1;
  for (;;) {
    while (left <= right && coordinate(tree, indices[left], axis) <= cut)
      ++left;
    while (left <= right && coordinate(tree, indices[right], axis) > cut)
      --right;
    if (left > right)
      break;
    std::swap(indices[left], indices[right]);
    ++left;
    --right;
  }
  lim2 = left;
}

// FLANN's middleSplit: cut the widest axis in the middle of its points' extent.
void middleSplit(const Builder& tree, std::int32_t* indices, int count, const Box& box, int& index,
                 int& cutAxis, float& cut) {
  float maxSpan = box[0].high - box[0].low;
  cutAxis = 0;
  cut = (box[0].high + box[0].low) / 2;
  for (int axis = 1; axis < kDimensions; ++axis) {
    const float span = box[axis].high - box[axis].low;
    if (span > maxSpan) {
      maxSpan = span;
      cutAxis = axis;
      cut = (box[axis].high + box[axis].low) / 2;
    }
  }
  float lowest, highest;
  computeMinMax(tree, indices, count, cutAxis, lowest, highest);
  cut = (lowest + highest) / 2;
  maxSpan = highest - lowest;
  const int first = cutAxis;
  for (int axis = 0; axis < kDimensions; ++axis) {
    if (axis == first)
      continue;
    float span = box[axis].high - box[axis].low;
    if (span > maxSpan) {
      computeMinMax(tree, indices, count, axis, lowest, highest);
      span = highest - lowest;
      if (span > maxSpan) {
        maxSpan = span;
        cutAxis = axis;
        cut = (lowest + highest) / 2;
      }
    }
  }
  int lim1, lim2;
  planeSplit(tree, indices, count, cutAxis, cut, lim1, lim2);
  if (lim1 > count / 2)
    index = lim1;
  else if (lim2 < count / 2)
    index = lim2;
  else
    index = count / 2;
}

bool isPoint(const Box& box) {
  for (const Interval& interval : box)
    if (interval.low != interval.high)
      return false;
  return true;
}

std::int32_t divideTree(Builder& tree, std::int32_t left, std::int32_t right, Box& box) {
  const auto node = static_cast<std::int32_t>(tree.nodes.size());
  tree.nodes.emplace_back();
  tree.nodes[node].left = left;
  tree.nodes[node].right = right;
  int index = 0, cutAxis = 0;
  float cut = 0.0f;
  if (right - left > kLeafSize)
    middleSplit(tree, &tree.order[left], right - left, box, index, cutAxis, cut);
  // Finite coordinates always split inside the range; a leaf is the safe answer otherwise.
  if (right - left <= kLeafSize || index <= 0 || index >= right - left) {
    for (int axis = 0; axis < kDimensions; ++axis)
      box[axis].low = box[axis].high = coordinate(tree, tree.order[left], axis);
    for (std::int32_t k = left + 1; k < right; ++k)
      for (int axis = 0; axis < kDimensions; ++axis) {
        const float value = coordinate(tree, tree.order[k], axis);
        if (box[axis].low > value)
          box[axis].low = value;
        if (box[axis].high < value)
          box[axis].high = value;
      }
  } else {
    Box leftBox = box;
    leftBox[cutAxis].high = cut;
    const std::int32_t child1 = divideTree(tree, left, left + index, leftBox);
    Box rightBox = box;
    rightBox[cutAxis].low = cut;
    const std::int32_t child2 = divideTree(tree, left + index, right, rightBox);
    TreeNode& divided = tree.nodes[node];
    divided.child1 = child1;
    divided.child2 = child2;
    divided.divfeat = cutAxis;
    divided.divlow = leftBox[cutAxis].high;
    divided.divhigh = rightBox[cutAxis].low;
    for (int axis = 0; axis < kDimensions; ++axis) {
      box[axis].low = std::min(leftBox[axis].low, rightBox[axis].low);
      box[axis].high = std::max(leftBox[axis].high, rightBox[axis].high);
    }
  }
  tree.nodes[node].onePosition = isPoint(box);
  return node;
}

} // namespace

SearchTree buildSearchTree(const ColorCloud& cloud) {
  SearchTree tree;
  const std::size_t size = cloud.size();
  if (size == 0)
    return tree;
  tree.order.resize(size);
  for (std::size_t i = 0; i < size; ++i)
    tree.order[i] = static_cast<std::int32_t>(i);
  // FLANN's root box is the exact extent of the points.
  for (int axis = 0; axis < kDimensions; ++axis)
    tree.rootBox[axis].low = tree.rootBox[axis].high = cloud[0].data[axis];
  for (std::size_t k = 1; k < size; ++k)
    for (int axis = 0; axis < kDimensions; ++axis) {
      const float value = cloud[k].data[axis];
      if (value < tree.rootBox[axis].low)
        tree.rootBox[axis].low = value;
      if (value > tree.rootBox[axis].high)
        tree.rootBox[axis].high = value;
    }
  tree.nodes.reserve(2 * size / kLeafSize + 1);
  Box box = tree.rootBox;
  Builder builder{cloud, tree.order, tree.nodes};
  tree.root = divideTree(builder, 0, static_cast<std::int32_t>(size), box);
  tree.ordered.resize(size * kDimensions);
  for (std::size_t i = 0; i < size; ++i)
    for (int axis = 0; axis < kDimensions; ++axis)
      tree.ordered[i * kDimensions + axis] = coordinate(builder, tree.order[i], axis);
  return tree;
}
