#pragma once

#include "color_cloud.h"
#include "normal_estimation.h"

#include <string>

// The largest coordinate magnitude that can be measured, 2^62: the difference of two such
// coordinates is at most 2^63, and three squares of it sum to 3 * 2^126, below the largest
// float (about 2^128), so no squared distance in the search overflows.
constexpr float kLargestMeasurableCoordinate = 4611686018427387904.0f;

// Reads a PCD file into cloud, all points as stored, after checking that PCL's reader can
// take it safely and read it as the header declares. Returns the reason when it cannot.
std::string readCloudFile(const std::string& path, ColorCloud& cloud);

// Reads a cloud to be measured: readCloudFile, then drops the points with a non-finite
// coordinate and refuses coordinates beyond kLargestMeasurableCoordinate. Returns the reason
// when the cloud cannot be measured.
std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud);

// What a measured cloud's file holds besides the points.
struct CloudAttributes {
  // The file has a colour field; without one every point reads as black.
  bool hasColor = false;
  // The file's normals of the points kept, when it has normal_x, normal_y and normal_z as
  // 4-byte floats; empty otherwise.
  Normals normals;
};

// readCloudFile, also telling whether the file has a colour field.
std::string readCloudFile(const std::string& path, ColorCloud& cloud, bool& hasColor);

// loadMeasurableCloud, also reading the attributes.
std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud,
                                CloudAttributes& attributes);
