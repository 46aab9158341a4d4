#include "metrics/normal_estimation.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <pcl/features/normal_3d.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/search/kdtree.h>

#include <cmath>

namespace {

// Checks every normal against PCL's own estimation with a kd-tree search of k neighbours.
void expectSameNormalsAsPcl(const ColorCloud::Ptr& cloud) {
  pcl::NormalEstimation<pcl::PointXYZRGBA, pcl::Normal> estimation;
  estimation.setInputCloud(cloud);
  estimation.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZRGBA>>(true));
  estimation.setKSearch(static_cast<int>(kNormalNeighbours));
  pcl::PointCloud<pcl::Normal> expected;
  estimation.compute(expected);
  for (unsigned threads : {1u, 2u}) {
    const Normals normals = estimateNormals(*cloud, threads);
    ASSERT_EQ(normals.size(), cloud->size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < normals.size(); ++i)
      for (int axis = 0; axis < 3; ++axis) {
        const float want = expected[i].normal[axis];
        const float got = normals[i][axis];
        if (!(std::isnan(want) ? std::isnan(got) : std::abs(got - want) <= 1e-6f))
          ++mismatches;
      }
    EXPECT_EQ(mismatches, 0u) << "of " << cloud->size() << " points, " << threads << " threads";
  }
  // The merged points' normals are their first points'.
  const Normals all = estimateNormals(*cloud, 2);
  const PointList given = toPointList(*cloud);
  for (DuplicateColors colors : {DuplicateColors::Average, DuplicateColors::Kept}) {
    const MergedCloud merged = mergeDuplicates(given, Normals(), colors);
    const Normals some = estimateMergedNormals(given, merged, cloud->sensor_origin_, 2);
    ASSERT_EQ(some.size(), merged.points.size());
    std::size_t different = 0;
    for (std::size_t m = 0; m < some.size(); ++m) {
      const Eigen::Vector3f& first = all[merged.firstPositionOf[m]];
      if (!(some[m] == first || (some[m].hasNaN() && first.hasNaN())))
        ++different;
    }
    EXPECT_EQ(different, 0u);
  }
}

// The cloud on a grid of `step`: many neighbours at equal distances.
ColorCloud::Ptr voxelized(const ColorCloud& cloud, float step) {
  auto grid = std::make_shared<ColorCloud>();
  for (const pcl::PointXYZRGBA& point : cloud)
    grid->push_back(colorPoint(std::round(point.x / step), std::round(point.y / step),
                               std::round(point.z / step), point.r, point.g, point.b));
  grid->sensor_origin_ = cloud.sensor_origin_;
  return grid;
}

} // namespace

TEST(EstimateNormals, AreThoseOfPclsNormalEstimation) {
  expectSameNormalsAsPcl(randomCloud(4000, 50));
  auto scan = std::make_shared<ColorCloud>();
  ASSERT_EQ(pcl::io::loadPCDFile(samplePath("milk_color.pcd"), *scan), 0);
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(*scan, *scan, kept);
  expectSameNormalsAsPcl(scan);
  // Ties everywhere, and duplicate positions: the neighbours are those of PCL's search order.
  expectSameNormalsAsPcl(voxelized(*scan, 0.004f));
  // A point's own position found twice.
  auto doubled = std::make_shared<ColorCloud>(*randomCloud(500, 7));
  *doubled += *randomCloud(100, 7);
  expectSameNormalsAsPcl(doubled);
}

TEST(EstimateNormals, FitThePlaneOfAFlatPatchAndNeedThreePoints) {
  // A 4 x 4 patch of the plane z = 1 seen from the origin: normals point back at it.
  auto patch = std::make_shared<ColorCloud>();
  for (int i = 0; i < 16; ++i)
    patch->push_back(colorPoint(0.1f * (i % 4), 0.1f * (i / 4), 1.0f, 0, 0, 0));
  for (const Eigen::Vector3f& normal : estimateNormals(*patch, 1)) {
    EXPECT_EQ(normal.x(), 0.0f);
    EXPECT_EQ(normal.y(), 0.0f);
    EXPECT_EQ(normal.z(), -1.0f);
  }
  for (const Eigen::Vector3f& normal :
       estimateNormals(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(1, 0, 0, 0, 0, 0)}), 1))
    EXPECT_TRUE(normal.array().isNaN().all());
  // Exactly three points span a plane: z = 0 here.
  for (const Eigen::Vector3f& normal :
       estimateNormals(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(1, 0, 0, 0, 0, 0),
                                 colorPoint(0, 1, 0, 0, 0, 0)}),
                       1))
    EXPECT_EQ(std::abs(normal.z()), 1.0f) << normal.transpose();
}
