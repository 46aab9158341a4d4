#pragma once

#include <pcl/PCLPointCloud2.h>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <string>

// PCL's PCD reader, for the files that the direct reader leaves to it (ascii bodies, compressed
// bodies with padding fields). It lives in a module of its own, libquorvane_pcd_reader.so, loaded
// the first time it is needed, so that a run over binary files never loads PCL's I/O library and
// the dozens of VTK libraries behind it.

// pcl::PCDReader::read(path, blob, origin, orientation, version, 0): its result, negative when
// the file could not be read. Throws std::runtime_error naming the module when it cannot be
// loaded.
int readPcdWithPcl(const std::string& path, pcl::PCLPointCloud2& blob, Eigen::Vector4f& origin,
                   Eigen::Quaternionf& orientation, int& version);

// The module's one entry point, as it exports it.
extern "C" {
using PcdReadEntry = int (*)(const char* path, pcl::PCLPointCloud2* blob, Eigen::Vector4f* origin,
                             Eigen::Quaternionf* orientation, int* version);
}
constexpr const char* kPcdReadEntryName = "quorvaneReadPcd";
constexpr const char* kPcdReaderModuleName = "libquorvane_pcd_reader.so";
