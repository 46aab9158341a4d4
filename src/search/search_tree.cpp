#include "search/search_tree.h"

#include "common/parallel_chunks.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

// FLANN goes on searching every subtree whose lower bound equals the best distance so far,
// which makes clouds of many identical points quadratic; the tree marks the subtrees whose
// points all share one position, so that a search can settle them with one distance.
//
// FLANN permutes an index array and reads each point through it; here the coordinates move
// with their indices, so that every pass reads memory in sequence. The splits compare the same
// values in the same order, so the tree is FLANN's.

namespace {

struct Slots {
  std::int32_t* order;
  float* ordered;

  float coordinate(std::int32_t slot, int axis) const {
    return ordered[static_cast<std::size_t>(slot) * kDimensions + static_cast<std::size_t>(axis)];
  }
  void swap(std::int32_t a, std::int32_t b) const {
    std::swap(order[a], order[b]);
    for (int axis = 0; axis < kDimensions; ++axis)
      std::swap(ordered[a * kDimensions + axis], ordered[b * kDimensions + axis]);
  }
};

using Nodes = std::vector<TreeNode, BulkAllocator<TreeNode>>;

// The extent of the slots [left, right) on the axis. Four running extents break the chain of
// dependent comparisons; they meet in the same extent, but for the sign of a zero, which no cut
// passes on (a cut compares equal either way, and the nodes keep their points' exact extents).
void computeMinMax(const Slots& slots, std::int32_t left, std::int32_t right, int axis,
                   float& lowest, float& highest) {
  float low[4], high[4];
  for (int lane = 0; lane < 4; ++lane)
    low[lane] = high[lane] = slots.coordinate(left, axis);
  std::int32_t i = left + 1;
  for (; i + 4 <= right; i += 4)
    for (int lane = 0; lane < 4; ++lane) {
      const float value = slots.coordinate(i + lane, axis);
      low[lane] = value < low[lane] ? value : low[lane];
      high[lane] = value > high[lane] ? value : high[lane];
    }
  for (; i < right; ++i) {
    const float value = slots.coordinate(i, axis);
    low[0] = value < low[0] ? value : low[0];
    high[0] = value > high[0] ? value : high[0];
  }
  lowest = std::min(std::min(low[0], low[1]), std::min(low[2], low[3]));
  highest = std::max(std::max(high[0], high[1]), std::max(high[2], high[3]));
}

// Swaps, pair by pair, the slots of [first, middle) that `belongs` rejects, from the left, with
// the slots of [middle, last) that it accepts, from the right: the very swaps of FLANN's
// two-pointer partition, whose k-th swap pairs the k-th misplaced slot from the left with the
// k-th misplaced slot from the right. The misplaced slots are found a block at a time without
// branching on the coordinates, which a scanned cloud makes unpredictable.
template <typename Belongs>
void swapMisplaced(const Slots& slots, std::int32_t first, std::int32_t middle, std::int32_t last,
                   int axis, const Belongs& belongs) {
  constexpr int kBlock = 128;
  std::int32_t fromLeft[kBlock], fromRight[kBlock];
  int leftCount = 0, leftUsed = 0, rightCount = 0, rightUsed = 0;
  std::int32_t leftNext = first, rightNext = last - 1;
  for (;;) {
    if (leftUsed == leftCount) {
      leftCount = leftUsed = 0;
      for (; leftNext < middle && leftCount < kBlock; ++leftNext) {
        fromLeft[leftCount] = leftNext;
        leftCount += !belongs(slots.coordinate(leftNext, axis));
      }
    }
    if (rightUsed == rightCount) {
      rightCount = rightUsed = 0;
      for (; rightNext >= middle && rightCount < kBlock; --rightNext) {
        fromRight[rightCount] = rightNext;
        rightCount += belongs(slots.coordinate(rightNext, axis));
      }
    }
    const int pairs = std::min(leftCount - leftUsed, rightCount - rightUsed);
    if (pairs == 0)
      return;
    for (int k = 0; k < pairs; ++k)
      slots.swap(fromLeft[leftUsed + k], fromRight[rightUsed + k]);
    leftUsed += pairs;
    rightUsed += pairs;
  }
}

// Orders the slots [first, first + count) into < cut, == cut, > cut on the axis, as FLANN's
// planeSplit does; lim1 and lim2 count from first.
void planeSplit(const Slots& slots, std::int32_t first, std::int32_t count, int axis, float cut,
                int& lim1, int& lim2) {
  int below = 0, notAbove = 0;
  for (std::int32_t i = first; i < first + count; ++i) {
    const float value = slots.coordinate(i, axis);
    below += value < cut;
    notAbove += value <= cut;
  }
  swapMisplaced(slots, first, first + below, first + count, axis,
                [cut](float value) { return value < cut; });
  swapMisplaced(slots, first + below, first + notAbove, first + count, axis,
                [cut](float value) { return value <= cut; });
  lim1 = below;
  lim2 = notAbove;
}

// FLANN's middleSplit: cut the widest axis in the middle of its points' extent.
void middleSplit(const Slots& slots, std::int32_t first, std::int32_t count, const Box& box,
                 int& index, int& cutAxis, float& cut) {
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
  computeMinMax(slots, first, first + count, cutAxis, lowest, highest);
  cut = (lowest + highest) / 2;
  maxSpan = highest - lowest;
  const int widest = cutAxis;
  for (int axis = 0; axis < kDimensions; ++axis) {
    if (axis == widest)
      continue;
    float span = box[axis].high - box[axis].low;
    if (span > maxSpan) {
      computeMinMax(slots, first, first + count, axis, lowest, highest);
      span = highest - lowest;
      if (span > maxSpan) {
        maxSpan = span;
        cutAxis = axis;
        cut = (lowest + highest) / 2;
      }
    }
  }
  int lim1, lim2;
  planeSplit(slots, first, count, cutAxis, cut, lim1, lim2);
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

// Room for the nodes of a tree of `points` points: FLANN's leaves hold about 10 points, so a
// tree has about a fifth as many nodes as points; room left untouched costs no memory.
std::size_t nodesReserved(std::size_t points) {
  return points / 2 + 1;
}

// Moves the nodes of a subtree built on its own to the end of nodes, renumbered from there.
void appendSubtree(Nodes& nodes, const Nodes& subtree) {
  const auto offset = static_cast<std::int32_t>(nodes.size());
  for (TreeNode node : subtree) {
    if (node.child1 >= 0) {
      node.child1 += offset;
      node.child2 += offset;
    }
    nodes.push_back(node);
  }
}

// Builds the subtree of the slots [left, right) into nodes, in FLANN's numbering from the end of
// nodes; box is the slots' bounds on the way in and their exact extent on the way out. With
// more than one thread the second subtree of a large node is built at once on another.
std::int32_t divideTree(const Slots& slots, Nodes& nodes, std::int32_t left, std::int32_t right,
                        Box& box, unsigned threads) {
  const auto node = static_cast<std::int32_t>(nodes.size());
  nodes.emplace_back();
  nodes[node].left = left;
  nodes[node].right = right;
  int index = 0, cutAxis = 0;
  float cut = 0.0f;
  if (right - left > kLeafSize)
    middleSplit(slots, left, right - left, box, index, cutAxis, cut);
  // Finite coordinates always split inside the range; a leaf is the safe answer otherwise.
  if (right - left <= kLeafSize || index <= 0 || index >= right - left) {
    for (int axis = 0; axis < kDimensions; ++axis)
      box[axis].low = box[axis].high = slots.coordinate(left, axis);
    for (std::int32_t k = left + 1; k < right; ++k)
      for (int axis = 0; axis < kDimensions; ++axis) {
        const float value = slots.coordinate(k, axis);
        if (box[axis].low > value)
          box[axis].low = value;
        if (box[axis].high < value)
          box[axis].high = value;
      }
  } else {
    Box leftBox = box;
    leftBox[cutAxis].high = cut;
    Box rightBox = box;
    rightBox[cutAxis].low = cut;
    const std::int32_t middle = left + index;
    std::int32_t child1 = 0, child2 = 0;
    std::thread helper;
    Nodes second;
    std::exception_ptr failure;
    if (threads > 1 && static_cast<std::size_t>(right - middle) >= minimumItemsPerThread()) {
      try {
        helper = std::thread([&] {
          try {
            second.reserve(nodesReserved(static_cast<std::size_t>(right - middle)));
            divideTree(slots, second, middle, right, rightBox, threads / 2);
          } catch (...) {
            failure = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        // build it on this thread instead
      }
    }
    if (helper.joinable()) {
      try {
        child1 = divideTree(slots, nodes, left, middle, leftBox, threads - threads / 2);
      } catch (...) {
        helper.join();
        throw;
      }
      helper.join();
      if (failure)
        std::rethrow_exception(failure);
      child2 = static_cast<std::int32_t>(nodes.size());
      appendSubtree(nodes, second);
    } else {
      child1 = divideTree(slots, nodes, left, middle, leftBox, threads);
      child2 = divideTree(slots, nodes, middle, right, rightBox, threads);
    }
    TreeNode& divided = nodes[node];
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
  nodes[node].onePosition = isPoint(box);
  return node;
}

template <typename Cloud> SearchTree buildTree(const Cloud& cloud, unsigned threads) {
  SearchTree tree;
  const std::size_t size = cloud.size();
  if (size == 0)
    return tree;
  tree.order.resize(size);
  tree.ordered.resize(size * kDimensions);
  // FLANN's root box is the exact extent of the points.
  for (int axis = 0; axis < kDimensions; ++axis)
    tree.rootBox[axis].low = tree.rootBox[axis].high = coordinatesOf(cloud, 0)[axis];
  for (std::size_t i = 0; i < size; ++i) {
    tree.order[i] = static_cast<std::int32_t>(i);
    const float* point = coordinatesOf(cloud, i);
    for (int axis = 0; axis < kDimensions; ++axis) {
      const float value = point[axis];
      tree.ordered[i * kDimensions + static_cast<std::size_t>(axis)] = value;
      if (value < tree.rootBox[axis].low)
        tree.rootBox[axis].low = value;
      if (value > tree.rootBox[axis].high)
        tree.rootBox[axis].high = value;
    }
  }
  tree.nodes.reserve(nodesReserved(size));
  Box box = tree.rootBox;
  tree.root = divideTree(Slots{tree.order.data(), tree.ordered.data()}, tree.nodes, 0,
                         static_cast<std::int32_t>(size), box, std::max(1u, threads));
  return tree;
}

} // namespace

SearchTree buildSearchTree(const ColorCloud& cloud, unsigned threads) {
  return buildTree(cloud, threads);
}

SearchTree buildSearchTree(const PointList& points, unsigned threads) {
  return buildTree(points, threads);
}
