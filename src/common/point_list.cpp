#include "common/point_list.h"

PointList toPointList(const ColorCloud& cloud) {
  PointList points(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    const pcl::PointXYZRGBA& point = cloud[i];
    points[i] = ColorPoint{{point.x, point.y, point.z}, point.r, point.g, point.b};
  }
  return points;
}
