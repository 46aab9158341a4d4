// The module behind readPcdWithPcl: PCL's PCD reader, linked to PCL's I/O library.

#include "io/pcl_pcd_reader.h"

#include <pcl/io/pcd_io.h>

extern "C" __attribute__((visibility("default"))) int
quorvaneReadPcd(const char* path, pcl::PCLPointCloud2* blob, Eigen::Vector4f* origin,
                Eigen::Quaternionf* orientation, int* version) {
  return pcl::PCDReader().read(path, *blob, *origin, *orientation, *version, 0);
}
