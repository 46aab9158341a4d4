#include "common/finite_points.h"

#include <cmath>
#include <numeric>

void keepFinitePoints(ColorCloud& cloud, pcl::Indices& kept) {
  kept.resize(cloud.size());
  if (cloud.is_dense) {
    std::iota(kept.begin(), kept.end(), 0);
    return;
  }
  std::size_t count = 0;
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    const pcl::PointXYZRGBA& point = cloud[i];
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
      continue;
    cloud[count] = point;
    kept[count] = static_cast<pcl::index_t>(i);
    ++count;
  }
  cloud.resize(count);
  kept.resize(count);
  cloud.width = static_cast<std::uint32_t>(count);
  cloud.height = 1;
  cloud.is_dense = true;
}
