#include "search/nearest_neighbour_search.h"

#include "common/parallel_chunks.h"
#include "search/detail/result_sets.h"
#include "search/detail/search_order.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

namespace {

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

// FLANN's searchLevel, for any result set: it enters a subtree whose lower bound is at most
// the result's searchRadius().
template <typename Result>
void searchLevel(const SearchTree& tree, const float* query, std::int32_t nodeIndex, float minimum,
                 float* distances, Result& result) {
  const TreeNode& node = tree.nodes[static_cast<std::size_t>(nodeIndex)];
  if (node.onePosition) {
    const float distance = squaredDistance(query, &tree.ordered[node.left * kDimensions]);
    result.addOnePosition(tree, node, query, distance);
    return;
  }
  if (node.child1 < 0) {
    for (std::int32_t i = node.left; i < node.right; ++i) {
      const float distance = squaredDistance(query, &tree.ordered[i * kDimensions]);
      result.addPoint(tree, i, distance);
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
  searchLevel(tree, query, bestChild, minimum, distances, result);
  const float previous = distances[axis];
  minimum = minimum + cutDistance - previous;
  distances[axis] = cutDistance;
  if (minimum <= result.searchRadius())
    searchLevel(tree, query, otherChild, minimum, distances, result);
  distances[axis] = previous;
}

// One query from the root, as FLANN's findNeighbors starts it.
template <typename Result> void search(const SearchTree& tree, const float* query, Result& result) {
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

constexpr std::size_t kQueriesAhead = 8;

// A point to search: the position its result is handed back with (its storage position, or its
// place among the queries asked for) and its coordinates; no coordinates for one to skip.
struct Query {
  std::size_t position;
  const float* coordinates;
};

// The one search loop: the queries queryAt(0 .. count - 1), in chunks on up to `threads`
// threads, each searched with a cleared copy of result and handed to take with its position.
template <typename Result, typename QueryAt, typename Take>
void searchEach(const SearchTree& tree, std::size_t count, unsigned threads, const Result& result,
                const QueryAt& queryAt, const Take& take) {
  forEachChunk(count, threads, [&](std::size_t begin, std::size_t end) {
    Result found = result;
    for (std::size_t i = begin; i < end; ++i) {
      const Query query = queryAt(i);
      if (query.coordinates == nullptr)
        continue;
      found.clear();
      search(tree, query.coordinates, found);
      take(query.position, found);
    }
  });
}

// Searches the queries begin .. end - 1 of a cloud in its search order (none for storage order)
// with result, handing each to take(its place in the run, its position, result).
template <typename Result, typename Take>
void searchRun(const SearchTree& reference, const PointList& query,
               const std::vector<std::uint32_t>& order, std::size_t begin, std::size_t end,
               Result& result, const Take& take) {
  for (std::size_t i = begin; i < end; ++i) {
    const std::size_t position = order.empty() ? i : order[i];
    // Scattered queries are read out of order: their points are fetched ahead.
    if (i + kQueriesAhead < order.size())
      __builtin_prefetch(coordinatesOf(query, order[i + kQueriesAhead]));
    result.clear();
    search(reference, coordinatesOf(query, position), result);
    take(i - begin, position, result);
  }
}

void visitNearestIn(const SearchTree& reference, const PointList& query, unsigned threads,
                    const NearestNeighbourRunVisitor& visit) {
  const std::size_t count = query.size();
  if (reference.size() == 0) {
    const std::vector<Neighbour> none(std::min(count, kChunkItems), Neighbour{kNoNeighbour, 0.0f});
    std::vector<std::uint32_t> positions(none.size());
    for (std::size_t begin = 0; begin < count; begin += none.size()) {
      const std::size_t run = std::min(none.size(), count - begin);
      for (std::size_t i = 0; i < run; ++i)
        positions[i] = static_cast<std::uint32_t>(begin + i);
      visit(positions.data(), none.data(), run);
    }
    return;
  }
  const std::vector<std::uint32_t> order = searchOrder(query);
  forEachChunk(count, threads, [&](std::size_t begin, std::size_t end) {
    std::uint32_t positions[kChunkItems];
    Neighbour neighbours[kChunkItems];
    NearestResult found;
    searchRun(reference, query, order, begin, end, found,
              [&](std::size_t run, std::size_t position, const NearestResult& result) {
                positions[run] = static_cast<std::uint32_t>(position);
                neighbours[run] = result.best;
              });
    visit(positions, neighbours, end - begin);
  });
}

} // namespace

void visitNearestNeighbours(const SearchTree& reference, const PointList& query, unsigned threads,
                            const NearestNeighbourRunVisitor& visit) {
  // The runs are the chunks of the search loop, each handed over as soon as it is done.
  visitNearestIn(reference, query, threads, visit);
}

NearbyListsBuilder::NearbyListsBuilder(std::size_t count) : single_(count) {
  // Each point's count goes where its list will start, until the starts are known.
  lists_.first.resize(count + 1);
  std::fill(lists_.first.begin(), lists_.first.end(), 0);
}

void NearbyListsBuilder::add(std::size_t position, const std::int32_t* nearby, std::size_t length) {
  lists_.first[position] = static_cast<std::uint32_t>(length);
  if (length == 1) {
    single_[position] = nearby[0];
  } else if (length > 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    longerPositions_.push_back(static_cast<std::uint32_t>(position));
    longerIndices_.insert(longerIndices_.end(), nearby, nearby + length);
  }
}

NearbyLists NearbyListsBuilder::finish() {
  const std::size_t count = single_.size();
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = lists_.first[i];
    lists_.first[i] = static_cast<std::uint32_t>(total);
    total += length;
    if (total > std::numeric_limits<std::uint32_t>::max())
      throw std::bad_alloc();
  }
  lists_.first[count] = static_cast<std::uint32_t>(total);
  lists_.indices.resize(total);
  for (std::size_t i = 0; i < count; ++i)
    if (lists_.first[i + 1] - lists_.first[i] == 1)
      lists_.indices[lists_.first[i]] = single_[i];
  decltype(single_)().swap(single_);
  // The longer lists' blocks go as they are copied.
  for (; !longerPositions_.empty(); longerPositions_.pop_front()) {
    const std::uint32_t position = longerPositions_.front();
    const auto length =
        static_cast<std::ptrdiff_t>(lists_.first[position + 1] - lists_.first[position]);
    std::copy(longerIndices_.begin(), longerIndices_.begin() + length,
              lists_.indices.begin() + static_cast<std::ptrdiff_t>(lists_.first[position]));
    longerIndices_.erase(longerIndices_.begin(), longerIndices_.begin() + length);
  }
  return std::move(lists_);
}

void addNearbyNeighbours(const SearchTree& reference, const PointList& query,
                         const std::vector<std::uint32_t>& positions,
                         const std::vector<std::uint32_t>& listIndices, unsigned threads,
                         NearbyListsBuilder& lists) {
  if (reference.size() == 0)
    return;
  searchEach(
      reference, positions.size(), threads, NearbyResult{},
      [&](std::size_t i) {
        return Query{i, coordinatesOf(query, positions[i])};
      },
      [&](std::size_t i, NearbyResult& result) {
        result.handOver(reference);
        lists.add(listIndices[i], result.handedPositions.data(), result.handedPositions.size());
      });
}

NearbyLists findNearbyNeighbours(const PointList& reference, const PointList& query,
                                 unsigned threads) {
  NearbyListsBuilder lists(query.size());
  if (!reference.empty()) {
    const std::vector<std::uint32_t> order = searchOrder(query);
    const SearchTree tree = buildSearchTree(reference, threads);
    forEachChunk(query.size(), threads, [&](std::size_t begin, std::size_t end) {
      NearbyResult found;
      searchRun(tree, query, order, begin, end, found,
                [&](std::size_t, std::size_t position, NearbyResult& result) {
                  result.handOver(tree);
                  lists.add(position, result.handedPositions.data(), result.handedPositions.size());
                });
    });
  }
  return lists.finish();
}

void visitNearestAndNearby(const SearchTree& reference, const std::uint32_t* mergedIndexOf,
                           const PointList& query, unsigned threads,
                           const NearestAndNearbyVisitor& visit) {
  const std::size_t count = query.size();
  const std::vector<std::uint32_t> order = searchOrder(query);
  forEachChunk(count, threads, [&](std::size_t begin, std::size_t end) {
    std::uint32_t positions[kChunkItems];
    Neighbour neighbours[kChunkItems];
    std::uint32_t starts[kChunkItems + 1];
    bool sure[kChunkItems];
    std::vector<std::int32_t> indices;
    NearestAndNearbyResult found(mergedIndexOf);
    starts[0] = 0;
    searchRun(reference, query, order, begin, end, found,
              [&](std::size_t run, std::size_t position, NearestAndNearbyResult& result) {
                sure[run] = result.handOver();
                positions[run] = static_cast<std::uint32_t>(position);
                neighbours[run] = result.best;
                indices.insert(indices.end(), result.handedPositions.begin(),
                               result.handedPositions.end());
                starts[run + 1] = static_cast<std::uint32_t>(indices.size());
              });
    visit(positions, neighbours, NearbyRun{starts, indices.data(), sure}, end - begin);
  });
}

void visitNearestNeighboursOfOwnPoints(const SearchTree& cloud, std::size_t k, unsigned threads,
                                       const std::vector<bool>* selected,
                                       const KNeighboursVisitor& visit) {
  if (cloud.size() == 0 || k == 0)
    return;
  // Each point is searched in tree order, right after its neighbours in the tree.
  const auto queryAt = [&](std::size_t slot) {
    const auto position = static_cast<std::size_t>(cloud.order[slot]);
    if (selected != nullptr && !(*selected)[position])
      return Query{position, nullptr};
    return Query{position, &cloud.ordered[slot * kDimensions]};
  };
  searchEach(cloud, cloud.size(), threads, NearestKResult(std::min(k, cloud.size())), queryAt,
             [&](std::size_t position, NearestKResult& result) {
               result.handOver(cloud);
               visit(position, result.handedPositions, result.handedDistances);
             });
}
