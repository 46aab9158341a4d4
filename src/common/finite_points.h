#pragma once

#include "common/color_cloud.h"

#include <pcl/types.h>

// Drops the points of cloud with a non-finite coordinate, as PCL's removeNaNFromPointCloud does
// in place: kept gets the position each remaining point had, and the cloud becomes one row,
// marked dense. A cloud already marked dense is taken as it is. PCL's function lives in its
// filters library, which would load four more of PCL's libraries (12 MiB) into every program.
void keepFinitePoints(ColorCloud& cloud, pcl::Indices& kept);
