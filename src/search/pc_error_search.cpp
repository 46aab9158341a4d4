#include "search/pc_error_search.h"

#include "common/parallel_chunks.h"

#include <nanoflann.hpp>

#include <new>

namespace {

// The points as nanoflann reads them.
struct PointSource {
  const PointList& points;
  std::size_t kdtree_get_point_count() const { return points.size(); }
  float kdtree_get_pt(std::size_t index, std::size_t axis) const {
    return points[index].position[axis];
  }
  template <typename Box> bool kdtree_get_bbox(Box&) const { return false; }
};

// pc_error measures in double the differences it takes in single precision.
using Metric = nanoflann::L2_Adaptor<float, PointSource, double>;
using Tree = nanoflann::KDTreeSingleIndexAdaptor<Metric, PointSource, 3, std::uint32_t>;

// pc_error's leaves.
constexpr std::size_t kLeafPoints = 10;

} // namespace

namespace detail {
struct PcErrorTree {
  explicit PcErrorTree(const PointList& points)
      : source{points}, tree(3, source, nanoflann::KDTreeSingleIndexAdaptorParams(kLeafPoints)) {
    tree.buildIndex();
  }
  PointSource source;
  Tree tree;
};
} // namespace detail

PcErrorSearch::PcErrorSearch(const PointList& points) : points(points) {}

PcErrorSearch::~PcErrorSearch() = default;

std::size_t pcErrorNearest(PcErrorSearch& search, const float* query, std::size_t k,
                           std::uint32_t* indices, double* squaredDistances) {
  std::call_once(search.built, [&search] {
    try {
      search.tree = std::make_unique<detail::PcErrorTree>(search.points);
    } catch (const std::bad_alloc&) {
      search.outOfMemory = true;
    }
  });
  if (search.tree == nullptr)
    return 0;
  nanoflann::KNNResultSet<double, std::uint32_t> result(k);
  result.init(indices, squaredDistances);
  search.tree->tree.findNeighbors(result, query, nanoflann::SearchParams());
  return result.size();
}

NearbyLists pcErrorNearbyLists(PcErrorSearch& search, const PointList& query, unsigned threads) {
  constexpr std::size_t kFirst = 10, kMore = 5, kMost = 30;
  NearbyListsBuilder lists(query.size());
  forEachChunk(query.size(), threads, [&](std::size_t begin, std::size_t end) {
    std::uint32_t indices[kMost];
    double distances[kMost];
    std::int32_t nearby[kMost];
    for (std::size_t i = begin; i < end; ++i) {
      std::size_t asked = kFirst;
      std::size_t given = pcErrorNearest(search, query[i].position, asked, indices, distances);
      while (given == asked && distances[0] == distances[asked - 1] && asked + kMore <= kMost) {
        asked += kMore;
        given = pcErrorNearest(search, query[i].position, asked, indices, distances);
      }
      for (std::size_t k = 0; k < given; ++k)
        nearby[k] = static_cast<std::int32_t>(indices[k]);
      lists.add(i, nearby, given);
    }
  });
  return lists.finish();
}
