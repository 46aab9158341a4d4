#include "common/finite_points.h"

#include <gtest/gtest.h>
#include <pcl/filters/filter.h>

#include <limits>

namespace {

pcl::PointXYZRGBA point(float x, float y, float z, std::uint8_t red) {
  pcl::PointXYZRGBA result;
  result.x = x;
  result.y = y;
  result.z = z;
  result.r = red;
  return result;
}

// Every field PCL's own function would leave, compared with it on a copy.
void expectAsPcl(const ColorCloud& given) {
  ColorCloud ours = given, pcls = given;
  pcl::Indices ourKept, pclKept;
  keepFinitePoints(ours, ourKept);
  pcl::removeNaNFromPointCloud(pcls, pcls, pclKept);
  EXPECT_EQ(ourKept, pclKept);
  EXPECT_EQ(ours.width, pcls.width);
  EXPECT_EQ(ours.height, pcls.height);
  EXPECT_EQ(ours.is_dense, pcls.is_dense);
  ASSERT_EQ(ours.size(), pcls.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].r, pcls[i].r);
    EXPECT_EQ(std::signbit(ours[i].x), std::signbit(pcls[i].x));
  }
}

} // namespace

// A non-finite value in any one coordinate drops the point; -0 and the largest float stay.
TEST(KeepFinitePoints, DropsPointsWithANonFiniteCoordinateAsPclDoes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float largest = std::numeric_limits<float>::max();
  ColorCloud cloud;
  cloud.push_back(point(nan, 0, 0, 0));
  cloud.push_back(point(-0.0f, 1, 2, 1));
  cloud.push_back(point(0, inf, 0, 2));
  cloud.push_back(point(0, 0, -inf, 3));
  cloud.push_back(point(largest, -largest, 5, 4));
  cloud.push_back(point(0, nan, nan, 5));
  cloud.width = 3;
  cloud.height = 2;
  cloud.is_dense = false;
  ColorCloud finite = cloud;
  pcl::Indices kept;
  keepFinitePoints(finite, kept);
  EXPECT_EQ(kept, (pcl::Indices{1, 4}));
  ASSERT_EQ(finite.size(), 2u);
  EXPECT_EQ(finite[0].r, 1);
  EXPECT_TRUE(std::signbit(finite[0].x));
  EXPECT_EQ(finite[1].y, -largest);
  EXPECT_EQ(finite.width, 2u);
  EXPECT_EQ(finite.height, 1u);
  EXPECT_TRUE(finite.is_dense);
  expectAsPcl(cloud);

  // A cloud marked dense is trusted, organized or not; an empty one becomes an empty row.
  cloud.is_dense = true;
  expectAsPcl(cloud);
  ColorCloud empty;
  empty.is_dense = false;
  expectAsPcl(empty);
}
