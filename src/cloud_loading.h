#pragma once

#include "color_cloud.h"

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
