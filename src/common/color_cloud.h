#pragma once

#include "common/bulk_allocator.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <Eigen/Core>

#include <cstdint>
#include <vector>

// Every cloud is read as coloured points; a file without colour reads as black.
using ColorCloud = pcl::PointCloud<pcl::PointXYZRGBA>;

// One normal for each point of a cloud, in storage order; NaN where there is none.
using Normals = std::vector<Eigen::Vector3f, BulkAllocator<Eigen::Vector3f>>;

// One reflectance (a LiDAR return's intensity, 0 to 65535) for each point of a cloud.
using Reflectance = std::vector<std::uint16_t, BulkAllocator<std::uint16_t>>;
