// Times the phases of one comparison, to see where quorvane-eval spends its time beyond the
// floor: the file check, the reads, NaN removal, the Morton order, the searches, the sums.

#include "cloud_comparison.h"
#include "pcd_file_check.h"

#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/search/kdtree.h>

#include <chrono>
#include <iostream>
#include <numeric>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point& start) {
  const auto now = Clock::now();
  const double elapsed = std::chrono::duration<double, std::milli>(now - start).count();
  start = now;
  return elapsed;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: phases ORIGINAL.pcd DECODED.pcd\n";
    return 2;
  }
  auto start = Clock::now();
  checkPcdFile(argv[1]);
  checkPcdFile(argv[2]);
  std::cout << "file check      " << millisecondsSince(start) << " ms\n";
  auto original = std::make_shared<ColorCloud>(), decoded = std::make_shared<ColorCloud>();
  pcl::PCDReader reader;
  reader.read(argv[1], *original);
  reader.read(argv[2], *decoded);
  std::cout << "read            " << millisecondsSince(start) << " ms\n";
  pcl::Indices kept;
  original->is_dense = decoded->is_dense = false;
  pcl::removeNaNFromPointCloud(*original, *original, kept);
  pcl::removeNaNFromPointCloud(*decoded, *decoded, kept);
  std::cout << "NaN removal     " << millisecondsSince(start) << " ms\n";
  const auto order = mortonOrder(*original);
  std::cout << "Morton order    " << millisecondsSince(start) << " ms\n";
  std::vector<std::uint32_t> storageOrder(original->size());
  std::iota(storageOrder.begin(), storageOrder.end(), 0u);
  millisecondsSince(start);
  const PointErrors inStorageOrder = nearestNeighbourErrors(original, decoded, storageOrder);
  std::cout << "search, storage " << millisecondsSince(start) << " ms\n";
  const PointErrors inMortonOrder = nearestNeighbourErrors(original, decoded, order);
  std::cout << "search, Morton  " << millisecondsSince(start) << " ms\n";
  const ErrorSums sums = sumErrors(inMortonOrder);
  std::cout << "sums            " << millisecondsSince(start) << " ms (" << sums.matchedPoints
            << " points, " << inStorageOrder.unmatched << " unmatched)\n";
  return 0;
}
