// The least work that PCL needs for one pair: read both clouds, drop non-finite points,
// index the decoded cloud and search the nearest neighbour of every original point.

#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>
#include <pcl/search/kdtree.h>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: floor ORIGINAL.pcd DECODED.pcd\n";
    return 2;
  }
  auto original = std::make_shared<pcl::PointCloud<pcl::PointXYZRGBA>>();
  auto decoded = std::make_shared<pcl::PointCloud<pcl::PointXYZRGBA>>();
  pcl::PCDReader reader;
  if (reader.read(argv[1], *original) < 0 || reader.read(argv[2], *decoded) < 0)
    return 1;
  pcl::Indices kept;
  original->is_dense = false;
  decoded->is_dense = false;
  pcl::removeNaNFromPointCloud(*original, *original, kept);
  pcl::removeNaNFromPointCloud(*decoded, *decoded, kept);
  pcl::search::KdTree<pcl::PointXYZRGBA> tree(true);
  tree.setInputCloud(decoded);
  pcl::Indices index(1);
  std::vector<float> squaredDistance(1);
  std::size_t found = 0;
  for (const auto& point : original->points)
    found += static_cast<std::size_t>(tree.nearestKSearch(point, 1, index, squaredDistance));
  // Printing the count keeps the searches from being optimised away.
  std::cout << found << "\n";
  return 0;
}
