#pragma once

// io: reading clouds from PCD and PLY files, safely, as PCL's readers would read them.

#include "common/color_cloud.h"
#include "common/point_list.h"

#include <optional>
#include <string>

// The largest coordinate magnitude that can be measured, 2^62: the difference of two such
// coordinates is at most 2^63, and three squares of it sum to 3 * 2^126, below the largest
// float (about 2^128), so no squared distance in the search overflows.
constexpr float kLargestMeasurableCoordinate = 4611686018427387904.0f;

// What a cloud's file holds besides the points.
struct CloudAttributes {
  // The file has a colour field; without one every point reads as black.
  bool hasColor = false;
  // The file's normals of the points kept, when they were asked for and the file has
  // normal_x, normal_y and normal_z as 4-byte floats; empty otherwise.
  Normals normals;
  // The reflectance of the points kept, when it was asked for and the file has it: a PLY
  // file's reflectance (or refc) property of uint8 or uint16, a PCD file's intensity (or
  // reflectance) field of whole numbers from 0 to 65535; empty otherwise.
  Reflectance reflectance;
  // Why the file's reflectance cannot be measured (a property of another type, a field that
  // holds other numbers); empty when it can or the file has none.
  std::string reflectanceProblem;
};

// A cloud read from its file.
struct LoadedCloud {
  ColorCloud cloud;
  CloudAttributes attributes;
  // Why the file cannot be read or measured; empty when it can.
  std::string problem;
};

// Whether the file's normals are read too; they cost a second conversion.
enum class NormalReading { Skip, Read };

// Whether the file's reflectance is read too; a PCD file that has it is then read through
// PCL's reader.
enum class ReflectanceReading { Skip, Read };

// Reads a PCD file, all points as stored, after checking that PCL's reader can take it safely
// and read it as the header declares.
LoadedCloud readPcdFile(const std::string& path, NormalReading normals = NormalReading::Skip);

// Reads a cloud to be measured: readPcdFile, then drops the points with a non-finite
// coordinate (and their normals) and refuses coordinates beyond kLargestMeasurableCoordinate.
LoadedCloud loadMeasurableCloud(const std::string& path,
                                NormalReading normals = NormalReading::Skip);

// The measurable points of a cloud's file, in 16 bytes a point.
struct LoadedPoints {
  PointList points;
  CloudAttributes attributes;
  // The VIEWPOINT's position, as PCL's reader sets a cloud's sensor_origin_.
  Eigen::Vector4f sensorOrigin = Eigen::Vector4f::Zero();
  std::string problem;
};

// The points, normals and problem that loadMeasurableCloud gives, with the same coordinates
// and colours. A DATA binary file is read straight from its bytes once the check has passed;
// the other formats go through PCL's reader. A path ending in ".ply" is read as a PLY file
// (readPlyFile), its non-finite points dropped and coordinates beyond
// kLargestMeasurableCoordinate refused alike.
LoadedPoints loadMeasurablePoints(const std::string& path,
                                  NormalReading normals = NormalReading::Skip,
                                  ReflectanceReading reflectance = ReflectanceReading::Skip);

// Points given in memory made measurable as a file's are: the points with a non-finite
// coordinate dropped with their normals and reflectance (when there is one a point), and
// coordinates beyond
// kLargestMeasurableCoordinate refused. The problem, or empty.
std::string keepMeasurablePoints(LoadedPoints& loaded);

// The cloud of loaded points as PCL would have read it, for the work done on PCL's types;
// alpha is 255, as PCL's reader leaves a cloud without colour.
ColorCloud toColorCloud(const LoadedPoints& loaded);

// Why a pair could not be measured.
struct PairProblem {
  std::string path;
  std::string reason;
  // The file could not be loaded, rather than the loaded pair compared.
  bool loading = true;
};

// The two measurable clouds of a pair, or the problem of the first that cannot be loaded.
template <typename Loaded> struct LoadedClouds {
  Loaded original;
  Loaded decoded;
  std::optional<PairProblem> problem;
};
using LoadedPointPair = LoadedClouds<LoadedPoints>;

// Loads both clouds with loadMeasurablePoints; with more than one thread the two files are read
// at once. The original's problem is reported before the decoded cloud's.
LoadedPointPair loadPointPair(const std::string& originalPath, const std::string& decodedPath,
                              unsigned threads, NormalReading normals = NormalReading::Skip,
                              ReflectanceReading reflectance = ReflectanceReading::Skip);
