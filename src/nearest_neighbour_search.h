#pragma once

#include "color_cloud.h"

#include <pcl/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The nearest reference point of one query point.
struct Neighbour {
  // Position in the reference cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

// Receives the neighbour of the query point at a storage position.
using NeighbourVisitor = std::function<void(std::size_t position, const Neighbour& neighbour)>;

// Searches the nearest neighbour in reference of every query point and hands it to visit,
// once for each query point, in an order of its own and from up to `threads` threads at once.
// Each neighbour, ties included, is the one that pcl::search::KdTree<pcl::PointXYZRGBA> with
// sorted results returns for k = 1. Every search in an empty reference cloud finds nothing.
// Coordinates must be finite and small enough that squared distances do not overflow (see
// kLargestMeasurableCoordinate in cloud_loading.h).
void visitNearestNeighbours(const ColorCloud& query, const ColorCloud& reference, unsigned threads,
                            const NeighbourVisitor& visit);

// A reference cloud indexed for the searches below, with its colours. It reads the cloud,
// which must outlive it and stay unchanged.
struct SearchTree;

std::shared_ptr<const SearchTree> buildSearchTree(const ColorCloud& reference);

// The nearest reference point of one query point, and every reference point at exactly its
// distance, the nearest included: how many there are and their colour sums.
struct TiedNeighbours {
  Neighbour nearest;
  std::uint32_t count;
  std::array<std::uint64_t, 3> colorSums; // red, green, blue
};

using TiedNeighboursVisitor =
    std::function<void(std::size_t position, const TiedNeighbours& neighbours)>;

// As visitNearestNeighbours, with the points tied with each nearest neighbour. In an empty
// reference cloud every query point gets kNoNeighbour and a count of 0.
void visitTiedNeighbours(const ColorCloud& query, const SearchTree& reference, unsigned threads,
                         const TiedNeighboursVisitor& visit);

// Receives the positions and squared distances of the neighbours of the point at a storage
// position, nearest first.
using NeighboursVisitor = std::function<void(std::size_t position, const pcl::Indices& neighbours,
                                             const std::vector<float>& squaredDistances)>;

// Searches the k nearest points of points of the tree's cloud within the cloud itself, the
// point included, as pcl::search::KdTree<pcl::PointXYZRGBA> with sorted results does (ties in
// the same order, except among points that share one position), and hands them to visit once
// for each point, from up to `threads` threads. Only the points marked in selected, when it is
// given (one mark for each point in storage order). A cloud of fewer than k points gives all
// of them.
void visitNearestNeighboursWithin(const SearchTree& cloud, std::size_t k, unsigned threads,
                                  const std::vector<bool>* selected,
                                  const NeighboursVisitor& visit);
