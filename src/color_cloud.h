#pragma once

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

// Every cloud is read as coloured points; a file without colour reads as black.
using ColorCloud = pcl::PointCloud<pcl::PointXYZRGBA>;
