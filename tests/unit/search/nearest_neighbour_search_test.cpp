#include "common/parallel_chunks.h"
#include "metrics/duplicate_merging.h"
#include "search/nearest_neighbour_search.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <pcl/search/kdtree.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace {

// The threads that call a visitor. The first call of each thread waits, for a few seconds at
// most, until `expected` threads have called, so that a fast thread cannot finish every query
// before the others have started.
struct ThreadsSeen {
  explicit ThreadsSeen(std::size_t threadsExpected) : expected(threadsExpected) {}
  void add() {
    std::unique_lock<std::mutex> lock(mutex);
    if (!ids.insert(std::this_thread::get_id()).second)
      return;
    arrived.notify_all();
    arrived.wait_for(lock, std::chrono::seconds(5), [&] { return ids.size() >= expected; });
  }
  const std::size_t expected;
  std::mutex mutex;
  std::condition_variable arrived;
  std::set<std::thread::id> ids;
};

// The threads a search of count queries starts when it may use `threads` and splits even the
// smallest work (SeveralThreadsPerSearch).
std::size_t threadsStarted(unsigned threads, std::size_t count) {
  return std::min<std::size_t>(threads, count / 2 + 1);
}

std::vector<Neighbour> nearestNeighbours(const ColorCloud& query, const ColorCloud& reference,
                                         unsigned threads, ThreadsSeen* seen = nullptr) {
  std::vector<Neighbour> neighbours(query.size(), Neighbour{-2, -1.0f});
  // The tree is built on as many threads as the search runs on.
  visitNearestNeighbours(
      buildSearchTree(toPointList(reference), threads), toPointList(query), threads,
      [&](const std::uint32_t* positions, const Neighbour* found, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
          EXPECT_EQ(neighbours[positions[i]].index, -2) << "visited twice";
          neighbours[positions[i]] = found[i];
        }
        if (seen != nullptr)
          seen->add();
      });
  return neighbours;
}

// Checks every query point's neighbour, index and squared distance, against PCL's kd-tree.
void expectSameNeighboursAsPcl(const ColorCloud::Ptr& query, const ColorCloud::Ptr& reference) {
  pcl::search::KdTree<pcl::PointXYZRGBA> tree(true);
  tree.setInputCloud(reference);
  pcl::Indices index(1);
  std::vector<float> squaredDistance(1);
  const SeveralThreadsPerSearch severalThreads;
  for (unsigned threads : {1u, 3u}) {
    ThreadsSeen seen(threadsStarted(threads, query->size()));
    const std::vector<Neighbour> neighbours = nearestNeighbours(*query, *reference, threads, &seen);
    ASSERT_EQ(neighbours.size(), query->size());
    EXPECT_EQ(seen.ids.size(), seen.expected);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < query->size(); ++i) {
      ASSERT_EQ(tree.nearestKSearch((*query)[i], 1, index, squaredDistance), 1);
      if (neighbours[i].index != index[0] || neighbours[i].squaredDistance != squaredDistance[0])
        ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u) << "of " << query->size() << " points, " << threads << " threads";
  }
}

// A scanner-like grid whose every point is stored `copies` times in other colours, in
// storage order or shuffled.
ColorCloud::Ptr gridWithDuplicates(int side, int copies, bool shuffled, unsigned seed) {
  auto cloud = std::make_shared<ColorCloud>();
  for (int row = 0; row < side; ++row)
    for (int column = 0; column < side; ++column)
      for (int copy = 0; copy < copies; ++copy)
        cloud->push_back(colorPoint(0.01f * column, 0.01f * row, 0.002f * ((row * column) % 5),
                                    static_cast<std::uint8_t>(40 * copy),
                                    static_cast<std::uint8_t>(row), 7));
  if (shuffled) {
    std::mt19937 random(seed);
    std::shuffle(cloud->begin(), cloud->end(), random);
  }
  return cloud;
}

} // namespace

TEST(VisitNearestNeighbours, AreThoseOfPclsKdTreeOnRandomClouds) {
  for (std::size_t size : {1u, 2u, 16u, 17u, 1000u, 30000u}) {
    SCOPED_TRACE(size);
    expectSameNeighboursAsPcl(randomCloud(2 * size + 3, 40 + size), randomCloud(size, 7 + size));
  }
}

TEST(VisitNearestNeighbours, PickTheSameOneAmongExactDuplicatesAsPcl) {
  for (bool shuffled : {false, true}) {
    SCOPED_TRACE(shuffled ? "shuffled" : "scanner order");
    // Query points on the grid, between grid points and off the surface.
    auto query = gridWithDuplicates(90, 1, shuffled, 3);
    const auto between = gridWithDuplicates(60, 1, shuffled, 4);
    for (auto point : *between) {
      point.x += 0.005f;
      point.z += 0.003f;
      query->push_back(point);
    }
    expectSameNeighboursAsPcl(query, gridWithDuplicates(80, 4, shuffled, 5));
  }
}

TEST(VisitNearestNeighbours, PickTheSameOneAmongManyIdenticalPointsAsPcl) {
  // A Kinect frame that stores invalid pixels as the origin, and a cloud of one position.
  auto zeroPixels = gridWithDuplicates(70, 1, false, 0);
  for (int i = 0; i < 20000; ++i)
    zeroPixels->push_back(colorPoint(0, 0, 0, static_cast<std::uint8_t>(i), 1, 2));
  std::mt19937 random(9);
  std::shuffle(zeroPixels->begin(), zeroPixels->end(), random);
  expectSameNeighboursAsPcl(randomCloud(5000, 11), zeroPixels);

  auto identical = std::make_shared<ColorCloud>();
  for (int i = 0; i < 20000; ++i)
    identical->push_back(colorPoint(0.25f, 0.5f, 0.75f, static_cast<std::uint8_t>(i), 0, 0));
  expectSameNeighboursAsPcl(randomCloud(5000, 12), identical);
}

TEST(VisitNearestNeighbours, FindNothingInAnEmptyCloud) {
  const std::vector<Neighbour> neighbours = nearestNeighbours(*randomCloud(3, 1), ColorCloud(), 2);
  ASSERT_EQ(neighbours.size(), 3u);
  for (const Neighbour& neighbour : neighbours)
    EXPECT_EQ(neighbour.index, kNoNeighbour);
  EXPECT_TRUE(nearestNeighbours(ColorCloud(), *randomCloud(3, 1), 2).empty());
}

TEST(BuildSearchTree, BuildsTheSameTreeOnEveryThreadCount) {
  // Subtrees built on other threads must land where FLANN numbers them: a node before its
  // first subtree, the first subtree before the second.
  const SeveralThreadsPerSearch severalThreads;
  for (const auto& cloud : {randomCloud(5000, 3), gridWithDuplicates(40, 3, true, 8)}) {
    const SearchTree one = buildSearchTree(*cloud, 1);
    for (unsigned threads : {2u, 3u, 8u}) {
      const SearchTree many = buildSearchTree(toPointList(*cloud), threads);
      ASSERT_EQ(many.nodes.size(), one.nodes.size()) << threads << " threads";
      EXPECT_EQ(many.root, one.root);
      EXPECT_TRUE(many.order == one.order);
      EXPECT_TRUE(many.ordered == one.ordered);
      std::size_t differentNodes = 0;
      for (std::size_t i = 0; i < one.nodes.size(); ++i) {
        const TreeNode& a = one.nodes[i];
        const TreeNode& b = many.nodes[i];
        differentNodes += a.child1 != b.child1 || a.child2 != b.child2 || a.left != b.left ||
                          a.right != b.right || a.divfeat != b.divfeat || a.divlow != b.divlow ||
                          a.divhigh != b.divhigh || a.onePosition != b.onePosition;
      }
      EXPECT_EQ(differentNodes, 0u) << threads << " threads";
    }
  }
}

TEST(FindNearbyNeighbours, FindEveryPointWithinTheWindowOfTheNearest) {
  // A grid of spacing 1: a query at a cube's centre has its 8 corners at one distance, at a
  // face's centre 4; the next are 2 squared units farther.
  auto reference = std::make_shared<ColorCloud>();
  for (int x = 0; x < 6; ++x)
    for (int y = 0; y < 6; ++y)
      for (int z = 0; z < 6; ++z)
        reference->push_back(colorPoint(static_cast<float>(x), static_cast<float>(y),
                                        static_cast<float>(z), 0, 0, 0));
  // Off the grid, around (10, 0, 0): 1 squared unit, 3e-7 beyond (inside the window, 4e-7 and
  // a millionth of the nearest), 3e-6 beyond (outside).
  reference->push_back(colorPoint(11, 0, 0, 0, 0, 0));
  reference->push_back(colorPoint(10, 1.00000015f, 0, 0, 0, 0));
  reference->push_back(colorPoint(10, 0, -1.0000015f, 0, 0, 0));
  const auto queries =
      cloudOf({colorPoint(2.5f, 2.5f, 2.5f, 0, 0, 0), colorPoint(2.5f, 2.5f, 3.0f, 0, 0, 0),
               colorPoint(10, 0, 0, 0, 0, 0)});
  const SeveralThreadsPerSearch severalThreads;
  const NearbyLists lists = findNearbyNeighbours(toPointList(*reference), toPointList(*queries), 2);
  // Each listed point's squared distance, summed axis by axis in single precision as the search's.
  std::vector<std::vector<float>> found(queries->size());
  for (std::size_t q = 0; q < queries->size(); ++q)
    for (std::size_t k = lists.first[q]; k < lists.first[q + 1]; ++k) {
      const auto& point = (*reference)[static_cast<std::size_t>(lists.indices[k])];
      float squaredDistance = 0.0f;
      for (int axis = 0; axis < 3; ++axis) {
        const float difference = (*queries)[q].data[axis] - point.data[axis];
        squaredDistance += difference * difference;
      }
      found[q].push_back(squaredDistance);
    }
  EXPECT_EQ(found[0], std::vector<float>(8, 0.75f));
  EXPECT_EQ(found[1], std::vector<float>(4, 0.5f));
  ASSERT_EQ(found[2].size(), 2u);
  EXPECT_EQ(found[2][0], 1.0f);
  EXPECT_LT(found[2][1], 1.0f + 1e-6f);
}

TEST(NearbyListsBuilder, PutsListsHandedInAnyOrderWhereTheirPositionsSay) {
  // Position 1 is never handed in; the longer lists come in reverse order, one between two
  // single points, and each keeps its own points in its own order.
  NearbyListsBuilder builder(6);
  const std::int32_t five[] = {50, 51, 52};
  const std::int32_t three[] = {30, 31};
  const std::int32_t zero[] = {7};
  const std::int32_t four[] = {40};
  const std::int32_t two[] = {20, 21, 22, 23};
  builder.add(5, five, 3);
  builder.add(0, zero, 1);
  builder.add(3, three, 2);
  builder.add(4, four, 1);
  builder.add(2, two, 4);
  const NearbyLists lists = builder.finish();
  EXPECT_EQ(std::vector<std::uint32_t>(lists.first.begin(), lists.first.end()),
            (std::vector<std::uint32_t>{0, 1, 1, 5, 7, 8, 11}));
  EXPECT_EQ(std::vector<std::int32_t>(lists.indices.begin(), lists.indices.end()),
            (std::vector<std::int32_t>{7, 20, 21, 22, 23, 30, 31, 40, 50, 51, 52}));
}

TEST(VisitNearestAndNearby, GiveTheNearestAndTheMergedCloudsWindowOrSayUnsure) {
  // Every grid point three times in other colours; grid points 0.01 apart in x and y, so that a
  // query at a cell's centre is as far from four positions.
  const auto reference = gridWithDuplicates(40, 3, true, 5);
  // Around (1, 1, 1): two positions (one stored twice) 1 and 1 + 3e-7 squared units away,
  // both within the window, at different distances; a third farther, outside it.
  for (const auto& point :
       {colorPoint(2, 1, 1, 1, 0, 0), colorPoint(2, 1, 1, 2, 0, 0),
        colorPoint(1, 2.00000015f, 1, 3, 0, 0), colorPoint(1, 1, -0.0000015f, 4, 0, 0)})
    reference->push_back(point);
  const auto query = std::make_shared<ColorCloud>();
  query->push_back(colorPoint(1, 1, 1, 0, 0, 0));
  std::mt19937 random(11);
  std::uniform_real_distribution<float> within(-0.02f, 0.41f);
  for (int i = 0; i < 3000; ++i)
    query->push_back(colorPoint(within(random), within(random), within(random), 0, 0, 0));
  for (int i = 0; i < 30; ++i) // cells' centres and grid points themselves
    query->push_back(colorPoint(0.005f + 0.01f * i, 0.005f + 0.01f * i, 0.0f, 0, 0, 0));
  const PointList referencePoints = toPointList(*reference);
  const PointList queryPoints = toPointList(*query);
  const MergedCloud merged = mergeDuplicates(referencePoints, Normals());
  const std::vector<Neighbour> nearest = nearestNeighbours(*query, *reference, 1);
  const NearbyLists expected = findNearbyNeighbours(merged.points, queryPoints, 1);

  const SeveralThreadsPerSearch severalThreads;
  ThreadsSeen seen(threadsStarted(2, query->size()));
  std::vector<int> sure(query->size(), -1);
  std::size_t longSureLists = 0;
  std::mutex mutex;
  visitNearestAndNearby(
      buildSearchTree(referencePoints, 2), merged.mergedIndexOf.data(), queryPoints, 2,
      [&](const std::uint32_t* positions, const Neighbour* neighbours, const NearbyRun& run,
          std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        for (std::size_t i = 0; i < count; ++i) {
          const std::size_t position = positions[i];
          EXPECT_EQ(neighbours[i].index, nearest[position].index) << position;
          EXPECT_EQ(neighbours[i].squaredDistance, nearest[position].squaredDistance);
          sure[position] = run.sure[i];
          if (!run.sure[i])
            continue;
          const pcl::Indices found(run.indices + run.starts[i], run.indices + run.starts[i + 1]);
          const pcl::Indices wanted(expected.indices.begin() + expected.first[position],
                                    expected.indices.begin() + expected.first[position + 1]);
          EXPECT_EQ(found, wanted) << position;
          longSureLists += found.size() > 1;
        }
        lock.unlock();
        seen.add();
      });
  EXPECT_EQ(seen.ids.size(), seen.expected);
  EXPECT_EQ(std::count(sure.begin(), sure.end(), -1), 0) << "queries never visited";
  // Sure: the query at (1, 1, 1) and most others; unsure: those equally far from positions.
  EXPECT_EQ(sure[0], 1);
  EXPECT_GE(longSureLists, 1u);
  const auto unsure = std::count(sure.begin(), sure.end(), 0);
  EXPECT_GE(unsure, 10);
  EXPECT_LT(unsure, 300);
}

TEST(VisitNearestNeighboursWithin, AreThoseOfPclsKdTree) {
  const auto sameAsPcl = [](const ColorCloud::Ptr& cloud, std::size_t k, bool comparePositions) {
    pcl::search::KdTree<pcl::PointXYZRGBA> tree(true);
    tree.setInputCloud(cloud);
    std::vector<std::size_t> visits(cloud->size(), 0);
    std::size_t mismatches = 0;
    ThreadsSeen seen(threadsStarted(2, cloud->size()));
    std::mutex mutex;
    visitNearestNeighboursOfOwnPoints(
        buildSearchTree(*cloud), k, 2, nullptr,
        [&](std::size_t position, const pcl::Indices& neighbours,
            const std::vector<float>& squaredDistances) {
          seen.add();
          std::lock_guard<std::mutex> lock(mutex);
          ++visits[position];
          pcl::Indices expected;
          std::vector<float> expectedDistances;
          tree.nearestKSearch((*cloud)[position], static_cast<int>(k), expected, expectedDistances);
          bool same = neighbours.size() == expected.size() && squaredDistances == expectedDistances;
          for (std::size_t i = 0; same && i < expected.size(); ++i)
            same = comparePositions ? (*cloud)[neighbours[i]].getVector3fMap() ==
                                          (*cloud)[expected[i]].getVector3fMap()
                                    : neighbours[i] == expected[i];
          if (!same)
            ++mismatches;
        });
    EXPECT_EQ(mismatches, 0u) << cloud->size() << " points, k = " << k;
    EXPECT_EQ(seen.ids.size(), seen.expected);
    EXPECT_EQ(std::count(visits.begin(), visits.end(), 1u), static_cast<long>(cloud->size()));
  };
  const SeveralThreadsPerSearch severalThreads;
  for (std::size_t size : {1u, 2u, 12u, 13u, 5000u})
    sameAsPcl(randomCloud(size, 30 + size), 12, false);
  sameAsPcl(randomCloud(3000, 31), 1, false);
  // Among points of one position any of them is as good; their positions must agree.
  sameAsPcl(gridWithDuplicates(30, 4, true, 32), 12, true);
}
