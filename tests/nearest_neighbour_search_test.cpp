#include "nearest_neighbour_search.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <pcl/search/kdtree.h>

#include <algorithm>
#include <random>

namespace {

std::vector<Neighbour> nearestNeighbours(const ColorCloud& query, const ColorCloud& reference,
                                         unsigned threads) {
  std::vector<Neighbour> neighbours(query.size(), Neighbour{-2, -1.0f});
  visitNearestNeighbours(query, reference, threads,
                         [&](std::size_t position, const Neighbour& neighbour) {
                           EXPECT_EQ(neighbours[position].index, -2) << "visited twice";
                           neighbours[position] = neighbour;
                         });
  return neighbours;
}

// Checks every query point's neighbour, index and squared distance, against PCL's kd-tree.
void expectSameNeighboursAsPcl(const ColorCloud::Ptr& query, const ColorCloud::Ptr& reference) {
  pcl::search::KdTree<pcl::PointXYZRGBA> tree(true);
  tree.setInputCloud(reference);
  pcl::Indices index(1);
  std::vector<float> squaredDistance(1);
  for (unsigned threads : {1u, 3u}) {
    const std::vector<Neighbour> neighbours = nearestNeighbours(*query, *reference, threads);
    ASSERT_EQ(neighbours.size(), query->size());
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
