#include "metrics/normal_estimation.h"

#include "search/nearest_neighbour_search.h"
#include "search/search_tree.h"

#include <pcl/common/centroid.h>
#include <pcl/features/normal_3d.h>

#include <limits>

namespace {

// PCL's plane fit of a point to its neighbours (positions in points, nearest first), in PCL's
// own arithmetic: the neighbours are copied in their order into a small cloud of the thread's,
// where PCL's estimation reads a whole cloud of 32-byte points.
void fitNormal(const PointList& points, std::size_t position, const pcl::Indices& neighbours,
               const Eigen::Vector4f& viewpoint, Eigen::Vector3f& normal) {
  thread_local pcl::PointCloud<pcl::PointXYZ> nearby;
  thread_local pcl::Indices inOrder;
  if (neighbours.size() < 3)
    return;
  nearby.resize(neighbours.size());
  inOrder.resize(neighbours.size());
  for (std::size_t i = 0; i < neighbours.size(); ++i) {
    const float* coordinates = points[static_cast<std::size_t>(neighbours[i])].position;
    nearby[i] = pcl::PointXYZ(coordinates[0], coordinates[1], coordinates[2]);
    inOrder[i] = static_cast<pcl::index_t>(i);
  }
  Eigen::Matrix3f covariance;
  Eigen::Vector4f centroid;
  if (pcl::computeMeanAndCovarianceMatrix(nearby, inOrder, covariance, centroid) == 0)
    return;
  float curvature;
  pcl::solvePlaneParameters(covariance, normal[0], normal[1], normal[2], curvature);
  const float* point = points[position].position;
  pcl::flipNormalTowardsViewpoint(pcl::PointXYZ(point[0], point[1], point[2]), viewpoint[0],
                                  viewpoint[1], viewpoint[2], normal[0], normal[1], normal[2]);
}

// The normals of the points marked in selected (all without it), each stored at
// normals[storeAt(position)]; the search is PCL's, over the points in their order.
template <typename StoreAt>
Normals fitSelected(const PointList& points, std::size_t count, const std::vector<bool>* selected,
                    const Eigen::Vector4f& viewpoint, unsigned threads, std::size_t k,
                    const StoreAt& storeAt) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Normals normals(count, Eigen::Vector3f(nan, nan, nan));
  visitNearestNeighboursOfOwnPoints(
      buildSearchTree(points, threads), k, threads, selected,
      [&](std::size_t position, const pcl::Indices& neighbours, const std::vector<float>&) {
        fitNormal(points, position, neighbours, viewpoint, normals[storeAt(position)]);
      });
  return normals;
}

} // namespace

Normals estimateNormals(const PointList& points, const Eigen::Vector4f& viewpoint, unsigned threads,
                        std::size_t k) {
  return fitSelected(points, points.size(), nullptr, viewpoint, threads, k,
                     [](std::size_t position) { return position; });
}

Normals estimateNormals(const ColorCloud& cloud, unsigned threads, std::size_t k) {
  return estimateNormals(toPointList(cloud), cloud.sensor_origin_, threads, k);
}

Normals estimateMergedNormals(const PointList& given, const MergedCloud& merged,
                              const Eigen::Vector4f& viewpoint, unsigned threads, std::size_t k) {
  std::vector<bool> first(given.size(), false);
  for (const std::uint32_t position : merged.firstPositionOf)
    first[position] = true;
  return fitSelected(given, merged.firstPositionOf.size(), &first, viewpoint, threads, k,
                     [&](std::size_t position) { return merged.mergedIndexOf[position]; });
}
