#include "metrics/normal_estimation.h"

#include "search/nearest_neighbour_search.h"

#include <pcl/common/centroid.h>
#include <pcl/features/normal_3d.h>

#include <limits>

Normals estimateNormals(const ColorCloud& cloud, unsigned threads, std::size_t k) {
  return estimateNormals(cloud, buildSearchTree(cloud), threads, nullptr, k);
}

Normals estimateNormals(const ColorCloud& cloud, const SearchTree& tree, unsigned threads,
                        const std::vector<bool>* selected, std::size_t k) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Normals normals(cloud.size(), Eigen::Vector3f(nan, nan, nan));
  const Eigen::Vector4f& viewpoint = cloud.sensor_origin_;
  visitNearestNeighboursOfOwnPoints(
      tree, k, threads, selected,
      [&](std::size_t position, const pcl::Indices& neighbours, const std::vector<float>&) {
        Eigen::Matrix3f covariance;
        Eigen::Vector4f centroid;
        if (neighbours.size() < 3 ||
            pcl::computeMeanAndCovarianceMatrix(cloud, neighbours, covariance, centroid) == 0)
          return;
        float curvature;
        Eigen::Vector3f& normal = normals[position];
        pcl::solvePlaneParameters(covariance, normal[0], normal[1], normal[2], curvature);
        pcl::flipNormalTowardsViewpoint(cloud[position], viewpoint[0], viewpoint[1], viewpoint[2],
                                        normal[0], normal[1], normal[2]);
      });
  return normals;
}
