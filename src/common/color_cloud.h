#pragma once

#include "common/bulk_allocator.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <Eigen/Core>

#include <vector>

// Every cloud is read as coloured points; a file without colour reads as black.
using ColorCloud = pcl::PointCloud<pcl::PointXYZRGBA>;

// One normal for each point of a cloud, in storage order; NaN where there is none.
using Normals = std::vector<Eigen::Vector3f, BulkAllocator<Eigen::Vector3f>>;
