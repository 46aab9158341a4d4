#include "nearest_neighbour_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>

// PCL's KdTreeFLANN is FLANN's KDTreeSingleIndex with 15 points a leaf, searched one query at
// a time. Its precompiled form opens an OpenMP region for every query, and FLANN goes on
// searching every subtree whose lower bound equals the best distance so far, which makes
// clouds of many identical points quadratic. The tree below is built and searched step for
// step as FLANN does, in the same single-precision arithmetic, so it returns the same
// neighbour; it only skips subtrees whose points all share one position, where FLANN's
// answer follows from a single distance.

namespace {

constexpr int kLeafSize = 15;
constexpr int kDimensions = 3;

struct Interval {
  float low;
  float high;
};
using Box = std::array<Interval, kDimensions>;

struct TreeNode {
  // Both children are -1 in a leaf.
  std::int32_t child1 = -1;
  std::int32_t child2 = -1;
  // The node's points are order[left, right).
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::int32_t divfeat = 0;
  float divlow = 0.0f;
  float divhigh = 0.0f;
  // Every point below the node has the same coordinates.
  bool onePosition = false;
};

struct KdTree {
  const ColorCloud* source = nullptr; // the reference cloud, read while the tree is built
  std::vector<std::int32_t> order;
  std::vector<float> ordered; // the coordinates in tree order, for locality
  // Sums of the red, green and blue of the points before each slot in tree order; kept only
  // for searches that average the colours of equidistant neighbours.
  std::vector<std::array<std::uint64_t, 3>> colorPrefix;
  std::vector<TreeNode> nodes;
  Box rootBox;
  std::int32_t root = -1;
};

float coordinate(const KdTree& tree, std::int32_t point, int axis) {
  return (*tree.source)[static_cast<std::size_t>(point)].data[axis];
}

void computeMinMax(const KdTree& tree, const std::int32_t* indices, int count, int axis,
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
void planeSplit(const KdTree& tree, std::int32_t* indices, int count, int axis, float cut,
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
void middleSplit(const KdTree& tree, std::int32_t* indices, int count, const Box& box, int& index,
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

std::int32_t divideTree(KdTree& tree, std::int32_t left, std::int32_t right, Box& box) {
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

KdTree buildTree(const ColorCloud& reference, bool withColors = false) {
  KdTree tree;
  const std::size_t size = reference.size();
  tree.source = &reference;
  tree.order.resize(size);
  for (std::size_t i = 0; i < size; ++i)
    tree.order[i] = static_cast<std::int32_t>(i);
  // FLANN's root box is the exact extent of the points.
  for (int axis = 0; axis < kDimensions; ++axis)
    tree.rootBox[axis].low = tree.rootBox[axis].high = reference[0].data[axis];
  for (std::size_t k = 1; k < size; ++k)
    for (int axis = 0; axis < kDimensions; ++axis) {
      const float value = reference[k].data[axis];
      if (value < tree.rootBox[axis].low)
        tree.rootBox[axis].low = value;
      if (value > tree.rootBox[axis].high)
        tree.rootBox[axis].high = value;
    }
  tree.nodes.reserve(2 * size / kLeafSize + 1);
  Box box = tree.rootBox;
  tree.root = divideTree(tree, 0, static_cast<std::int32_t>(size), box);
  tree.ordered.resize(size * kDimensions);
  for (std::size_t i = 0; i < size; ++i)
    for (int axis = 0; axis < kDimensions; ++axis)
      tree.ordered[i * kDimensions + axis] = coordinate(tree, tree.order[i], axis);
  if (withColors) {
    tree.colorPrefix.assign(size + 1, {0, 0, 0});
    for (std::size_t i = 0; i < size; ++i) {
      const auto& point = reference[static_cast<std::size_t>(tree.order[i])];
      tree.colorPrefix[i + 1] = {tree.colorPrefix[i][0] + point.r, tree.colorPrefix[i][1] + point.g,
                                 tree.colorPrefix[i][2] + point.b};
    }
  }
  return tree;
}

// FLANN's L2_Simple: the squared differences added in axis order, in single precision.
float squaredDistance(const float* a, const float* b) {
  float result = 0.0f;
  for (int axis = 0; axis < kDimensions; ++axis) {
    const float difference = a[axis] - b[axis];
    result += difference * difference;
  }
  return result;
}

float squared(float difference) {
  return difference * difference;
}

// The child FLANN searches first.
bool searchesFirstChild(const TreeNode& node, const float* query) {
  const float value = query[node.divfeat];
  return (value - node.divlow) + (value - node.divhigh) < 0;
}

// The first point FLANN visits below a node whose points share one position: the one reached
// by descending to the nearer child all the way down.
std::int32_t firstVisited(const KdTree& tree, const TreeNode& node, const float* query) {
  const TreeNode* first = &node;
  while (first->child1 >= 0)
    first = &tree.nodes[searchesFirstChild(*first, query) ? first->child1 : first->child2];
  return first->left;
}

// FLANN's one-neighbour result set: a point replaces the best only when it is strictly
// nearer, so among equidistant points the first one visited stays.
struct NearestResult {
  Neighbour best{kNoNeighbour, std::numeric_limits<float>::max()};

  float worst() const { return best.squaredDistance; }
  float exactWorst() const { return worst(); }
  void addLeafPoint(const KdTree& tree, std::int32_t slot, float distance, bool) {
    if (distance < best.squaredDistance)
      best = {tree.order[slot], distance};
  }
  // Every point below the node is as far as the first; FLANN would keep the first one visited.
  void addOnePosition(const KdTree& tree, const TreeNode& node, const float* query, float distance,
                      bool) {
    if (distance < best.squaredDistance)
      best = {tree.order[firstVisited(tree, node, query)], distance};
  }
};

// The nearest neighbour as FLANN finds it, and the colour sums of every point at exactly its
// distance. FLANN's lower bound of a subtree is summed in single precision and can exceed the
// distance of a point inside by a few units in the last place, so this search also enters the
// subtrees that FLANN leaves for being that little farther; the nearest neighbour is taken
// only from the points FLANN visits.
struct TiedResult {
  NearestResult nearest;
  TiedNeighbours ties{};

  static constexpr float kSlack = 1.0f / 4096;
  float worst() const { return nearest.worst() + nearest.worst() * kSlack; }
  float exactWorst() const { return nearest.worst(); }
  void addLeafPoint(const KdTree& tree, std::int32_t slot, float distance, bool visitedByFlann) {
    if (visitedByFlann && distance < nearest.worst()) {
      ties = TiedNeighbours{};
      nearest.addLeafPoint(tree, slot, distance, true);
    }
    if (distance == nearest.worst())
      addColors(tree, slot, slot + 1);
  }
  void addOnePosition(const KdTree& tree, const TreeNode& node, const float* query, float distance,
                      bool visitedByFlann) {
    if (visitedByFlann && distance < nearest.worst()) {
      ties = TiedNeighbours{};
      nearest.addOnePosition(tree, node, query, distance, true);
    }
    if (distance == nearest.worst())
      addColors(tree, node.left, node.right);
  }
  void addColors(const KdTree& tree, std::int32_t begin, std::int32_t end) {
    ties.count += static_cast<std::uint32_t>(end - begin);
    for (int channel = 0; channel < 3; ++channel)
      ties.colorSums[channel] += tree.colorPrefix[end][channel] - tree.colorPrefix[begin][channel];
  }
};

// FLANN's KNNSimpleResultSet: the k nearest sorted by distance, a new point going after those
// as near as it.
struct NearestKResult {
  explicit NearestKResult(std::size_t k) : capacity(k), distances(k), slots(k) {}
  std::size_t capacity;
  std::size_t count = 0;
  // The distance a point must beat, kept at hand since every node asks for it.
  float worstDistance = std::numeric_limits<float>::max();
  std::vector<float> distances;    // nearest first
  std::vector<std::int32_t> slots; // in tree order

  void clear() {
    count = 0;
    worstDistance = std::numeric_limits<float>::max();
  }
  float worst() const { return worstDistance; }
  // Returns false when the point was not taken.
  bool add(float distance, std::int32_t slot) {
    if (distance >= worstDistance)
      return false;
    if (count < capacity)
      ++count;
    std::size_t i = count - 1;
    for (; i > 0 && distances[i - 1] > distance; --i) {
      distances[i] = distances[i - 1];
      slots[i] = slots[i - 1];
    }
    distances[i] = distance;
    slots[i] = slot;
    if (count == capacity)
      worstDistance = distances[capacity - 1];
    return true;
  }
  float exactWorst() const { return worst(); }
  void addLeafPoint(const KdTree&, std::int32_t slot, float distance, bool) { add(distance, slot); }
  // FLANN walks the node's leaves always taking the same side first, since every cut there is
  // at the one position; once a point is refused, so is every later one at the same distance.
  void addOnePosition(const KdTree& tree, const TreeNode& node, const float* query, float distance,
                      bool) {
    const bool firstChildFirst = node.child1 < 0 || searchesFirstChild(node, query);
    walkLeaves(tree, node, firstChildFirst, distance);
  }
  bool walkLeaves(const KdTree& tree, const TreeNode& node, bool firstChildFirst, float distance) {
    if (node.child1 < 0) {
      for (std::int32_t slot = node.left; slot < node.right; ++slot)
        if (!add(distance, slot))
          return false;
      return true;
    }
    const TreeNode& first = tree.nodes[firstChildFirst ? node.child1 : node.child2];
    const TreeNode& second = tree.nodes[firstChildFirst ? node.child2 : node.child1];
    return walkLeaves(tree, first, firstChildFirst, distance) &&
           walkLeaves(tree, second, firstChildFirst, distance);
  }
};

// FLANN's searchLevel, for any of the result sets above: it enters a subtree whose lower bound
// is at most the result's worst(), and tells the result whether FLANN would have entered it.
template <typename Result>
void searchLevel(const KdTree& tree, const float* query, std::int32_t nodeIndex, float minimum,
                 float* distances, Result& result, bool visitedByFlann = true) {
  const TreeNode& node = tree.nodes[nodeIndex];
  if (node.onePosition) {
    const float distance = squaredDistance(query, &tree.ordered[node.left * kDimensions]);
    result.addOnePosition(tree, node, query, distance, visitedByFlann);
    return;
  }
  if (node.child1 < 0) {
    for (std::int32_t i = node.left; i < node.right; ++i) {
      const float distance = squaredDistance(query, &tree.ordered[i * kDimensions]);
      result.addLeafPoint(tree, i, distance, visitedByFlann);
    }
    return;
  }
  const int axis = node.divfeat;
  const float value = query[axis];
  std::int32_t bestChild, otherChild;
  float cutDistance;
  if (searchesFirstChild(node, query)) {
    bestChild = node.child1;
    otherChild = node.child2;
    cutDistance = squared(value - node.divhigh);
  } else {
    bestChild = node.child2;
    otherChild = node.child1;
    cutDistance = squared(value - node.divlow);
  }
  searchLevel(tree, query, bestChild, minimum, distances, result, visitedByFlann);
  const float previous = distances[axis];
  minimum = minimum + cutDistance - previous;
  distances[axis] = cutDistance;
  if (minimum <= result.worst())
    searchLevel(tree, query, otherChild, minimum, distances, result,
                visitedByFlann && minimum <= result.exactWorst());
  distances[axis] = previous;
}

template <typename Result> void search(const KdTree& tree, const float* query, Result& result) {
  float distances[kDimensions] = {0.0f, 0.0f, 0.0f};
  float minimum = 0.0f;
  for (int axis = 0; axis < kDimensions; ++axis) {
    if (query[axis] < tree.rootBox[axis].low) {
      distances[axis] = squared(query[axis] - tree.rootBox[axis].low);
      minimum += distances[axis];
    }
    if (query[axis] > tree.rootBox[axis].high) {
      distances[axis] = squared(query[axis] - tree.rootBox[axis].high);
      minimum += distances[axis];
    }
  }
  searchLevel(tree, query, tree.root, minimum, distances, result);
}

struct Bounds {
  float lowest[kDimensions];
  float highest[kDimensions];
  // In double precision the span of any two finite floats is finite.
  double span(int axis) const { return static_cast<double>(highest[axis]) - lowest[axis]; }
};

Bounds boundsOf(const ColorCloud& cloud) {
  const float largest = std::numeric_limits<float>::max();
  Bounds bounds{{largest, largest, largest}, {-largest, -largest, -largest}};
  for (const auto& point : cloud)
    for (int axis = 0; axis < kDimensions; ++axis) {
      bounds.lowest[axis] = std::min(bounds.lowest[axis], point.data[axis]);
      bounds.highest[axis] = std::max(bounds.highest[axis], point.data[axis]);
    }
  return bounds;
}

// True when consecutive points lie near each other, as a scanner stores them. Points of a
// volume lie about diagonal / cbrt(n) apart, of a surface closer still; a scanner's order
// steps about that far, a shuffled order about half the diagonal.
bool isStoredCoherently(const ColorCloud& cloud) {
  if (cloud.size() < 2)
    return true;
  double steps = 0.0;
  for (std::size_t i = 1; i < cloud.size(); ++i)
    for (int axis = 0; axis < kDimensions; ++axis)
      steps += std::abs(static_cast<double>(cloud[i].data[axis]) - cloud[i - 1].data[axis]);
  const Bounds bounds = boundsOf(cloud);
  const double diagonal = bounds.span(0) + bounds.span(1) + bounds.span(2);
  const double meanStep = steps / static_cast<double>(cloud.size() - 1);
  return meanStep * std::cbrt(static_cast<double>(cloud.size())) < diagonal;
}

constexpr double kMortonCells = 1 << 10;

// Spreads the low ten bits of value to every third bit.
std::uint64_t spreadBits(std::uint32_t value) {
  std::uint64_t bits = value & 0x3ff;
  bits = (bits | bits << 16) & 0x30000ff;
  bits = (bits | bits << 8) & 0x300f00f;
  bits = (bits | bits << 4) & 0x30c30c3;
  bits = (bits | bits << 2) & 0x9249249;
  return bits;
}

// Least significant digit radix sort on the 30-bit Morton codes in the upper half of the keys;
// positions in the lower half stay in storage order within a cell.
void sortByMortonCode(std::vector<std::uint64_t>& keys) {
  constexpr int kDigitBits = 10;
  std::vector<std::uint64_t> buffer(keys.size());
  for (int shift = 32; shift < 62; shift += kDigitBits) {
    std::vector<std::size_t> offsets((1 << kDigitBits) + 1, 0);
    for (const std::uint64_t key : keys)
      ++offsets[((key >> shift) & ((1 << kDigitBits) - 1)) + 1];
    for (std::size_t digit = 1; digit < offsets.size(); ++digit)
      offsets[digit] += offsets[digit - 1];
    for (const std::uint64_t key : keys)
      buffer[offsets[(key >> shift) & ((1 << kDigitBits) - 1)]++] = key;
    keys.swap(buffer);
  }
}

// The storage positions of the points in Morton (Z-curve) order of their coordinates, so
// that consecutive searches walk the same branches of the tree.
std::vector<std::uint32_t> mortonOrder(const ColorCloud& cloud) {
  const Bounds bounds = boundsOf(cloud);
  // A flat axis puts every point in cell 0.
  double scale[kDimensions];
  for (int axis = 0; axis < kDimensions; ++axis)
    scale[axis] = bounds.span(axis) > 0.0 ? (kMortonCells - 1) / bounds.span(axis) : 0.0;
  std::vector<std::uint64_t> keys(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    std::uint64_t code = 0;
    for (int axis = 0; axis < kDimensions; ++axis) {
      const double offset = static_cast<double>(cloud[i].data[axis]) - bounds.lowest[axis];
      const auto cell =
          static_cast<std::uint32_t>(std::min(offset * scale[axis], kMortonCells - 1));
      code |= spreadBits(cell) << axis;
    }
    keys[i] = code << 32 | i;
  }
  sortByMortonCode(keys);
  std::vector<std::uint32_t> order(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i)
    order[i] = static_cast<std::uint32_t>(keys[i]);
  return order;
}

// Below this many queries a second thread costs more than it saves.
constexpr std::size_t kQueriesPerThread = 8192;
constexpr std::size_t kChunk = 4096;

// Runs work(begin, end) over [0, count) in chunks on up to `threads` threads.
template <typename Work> void forEachChunk(std::size_t count, unsigned threads, const Work& work) {
  std::atomic<std::size_t> next{0};
  const auto worker = [&] {
    for (std::size_t begin = next.fetch_add(kChunk); begin < count; begin = next.fetch_add(kChunk))
      work(begin, std::min(count, begin + kChunk));
  };
  const std::size_t wanted = std::min<std::size_t>(threads, count / kQueriesPerThread + 1);
  std::vector<std::thread> helpers;
  for (std::size_t i = 1; i < wanted; ++i) {
    try {
      helpers.emplace_back(worker);
    } catch (const std::system_error&) {
      break; // fewer threads only cost time
    }
  }
  worker();
  for (std::thread& helper : helpers)
    helper.join();
}

// The query positions in the order to search them. Scattered queries are searched in Morton
// order, where consecutive ones share branches of the tree and nearby reference points: a
// shuffled 10^6-point pair takes 1.3-1.5 s in storage order and 0.9-1.0 s in Morton order
// (whole run, one thread). A cloud in a scanner's order is as coherent already: sorting it
// costs about 0.1 s of 0.8 s there. Empty means storage order.
std::vector<std::uint32_t> searchOrder(const ColorCloud& query) {
  return isStoredCoherently(query) ? std::vector<std::uint32_t>() : mortonOrder(query);
}

// Searches every query point with a fresh Result, in the search order and on up to `threads`
// threads, and hands each result to take with the point's storage position.
template <typename Result, typename Take>
void searchEveryPoint(const ColorCloud& query, const KdTree& tree, unsigned threads,
                      const Take& take) {
  const std::vector<std::uint32_t> order = searchOrder(query);
  forEachChunk(query.size(), threads, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const std::size_t position = order.empty() ? i : order[i];
      Result result;
      search(tree, query[position].data, result);
      take(position, result);
    }
  });
}

} // namespace

void visitNearestNeighbours(const ColorCloud& query, const ColorCloud& reference, unsigned threads,
                            const NeighbourVisitor& visit) {
  if (reference.empty()) {
    for (std::size_t i = 0; i < query.size(); ++i)
      visit(i, Neighbour{kNoNeighbour, 0.0f});
    return;
  }
  if (query.empty())
    return;
  searchEveryPoint<NearestResult>(
      query, buildTree(reference), threads,
      [&](std::size_t position, const NearestResult& result) { visit(position, result.best); });
}

struct SearchTree {
  KdTree tree;
  std::size_t size = 0;
};

std::shared_ptr<const SearchTree> buildSearchTree(const ColorCloud& reference) {
  auto searchTree = std::make_shared<SearchTree>();
  searchTree->size = reference.size();
  if (!reference.empty())
    searchTree->tree = buildTree(reference, true);
  return searchTree;
}

void visitTiedNeighbours(const ColorCloud& query, const SearchTree& reference, unsigned threads,
                         const TiedNeighboursVisitor& visit) {
  if (reference.size == 0) {
    for (std::size_t i = 0; i < query.size(); ++i)
      visit(i, TiedNeighbours{Neighbour{kNoNeighbour, 0.0f}, 0, {0, 0, 0}});
    return;
  }
  if (query.empty())
    return;
  searchEveryPoint<TiedResult>(query, reference.tree, threads,
                               [&](std::size_t position, TiedResult& result) {
                                 result.ties.nearest = result.nearest.best;
                                 visit(position, result.ties);
                               });
}

void visitNearestNeighboursWithin(const SearchTree& cloud, std::size_t k, unsigned threads,
                                  const std::vector<bool>* selected,
                                  const NeighboursVisitor& visit) {
  if (cloud.size == 0 || k == 0)
    return;
  const KdTree& tree = cloud.tree;
  // Each point is searched in tree order, right after its neighbours in the tree.
  forEachChunk(cloud.size, threads, [&](std::size_t begin, std::size_t end) {
    NearestKResult result(std::min(k, cloud.size));
    pcl::Indices neighbours;
    std::vector<float> squaredDistances;
    for (std::size_t slot = begin; slot < end; ++slot) {
      const auto position = static_cast<std::size_t>(tree.order[slot]);
      if (selected != nullptr && !(*selected)[position])
        continue;
      result.clear();
      search(tree, &tree.ordered[slot * kDimensions], result);
      neighbours.resize(result.count);
      squaredDistances.assign(result.distances.begin(), result.distances.begin() + result.count);
      for (std::size_t i = 0; i < result.count; ++i)
        neighbours[i] = tree.order[static_cast<std::size_t>(result.slots[i])];
      visit(position, neighbours, squaredDistances);
    }
  });
}
