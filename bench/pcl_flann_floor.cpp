// The least work that PCL allows for one pair: read both clouds with PCL's reader, drop
// non-finite points, index the decoded cloud with the kd-tree that PCL's KdTreeFLANN builds
// (FLANN's single kd-tree, 15 points a leaf) and search the nearest neighbour of every
// original point on one thread, calling FLANN directly so that no query pays for an OpenMP
// region.

#include <flann/algorithms/dist.h>
#include <flann/algorithms/kdtree_single_index.h>
#include <flann/util/result_set.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>

#include <iostream>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: floor ORIGINAL.pcd DECODED.pcd\n";
    return 2;
  }
  pcl::PointCloud<pcl::PointXYZRGBA> original, decoded;
  pcl::PCDReader reader;
  if (reader.read(argv[1], original) < 0 || reader.read(argv[2], decoded) < 0)
    return 1;
  pcl::Indices kept;
  original.is_dense = false;
  decoded.is_dense = false;
  pcl::removeNaNFromPointCloud(original, original, kept);
  pcl::removeNaNFromPointCloud(decoded, decoded, kept);
  if (decoded.empty())
    return 1;
  std::vector<float> coordinates;
  coordinates.reserve(3 * decoded.size());
  for (const auto& point : decoded)
    coordinates.insert(coordinates.end(), point.data, point.data + 3);
  flann::KDTreeSingleIndex<flann::L2_Simple<float>> tree(
      flann::Matrix<float>(coordinates.data(), decoded.size(), 3),
      flann::KDTreeSingleIndexParams(15));
  tree.buildIndex();
  flann::KNNSimpleResultSet<float> result(1);
  const flann::SearchParams parameters(-1, 0.0f, true);
  std::size_t found = 0;
  for (const auto& point : original) {
    result.clear();
    tree.findNeighbors(result, point.data, parameters);
    found += result.size();
  }
  // Printing the count keeps the searches from being optimised away.
  std::cout << found << "\n";
  return 0;
}
