#pragma once

// The Python module's clouds: numpy arrays checked and read into the points that the metrics
// take, and files read into arrays.

#include "io/cloud_loading.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

// quorvane.Cloud: the arrays as the caller gave them (no copy), checked on construction.
struct ArrayCloud {
  pybind11::array points;
  pybind11::object colors;
  pybind11::object normals;
  pybind11::object reflectance;
};

// Checks the arrays of a cloud (ValueError with the reason) and keeps them; lists and other
// array-likes go through numpy.asarray.
ArrayCloud makeArrayCloud(const pybind11::object& points, const pybind11::object& colors,
                          const pybind11::object& normals, const pybind11::object& reflectance);

// An N x 3 array of a checked cloud, as plain numbers, for reading without the GIL.
struct MatrixView {
  const char* data = nullptr;
  pybind11::ssize_t rows = 0;
  pybind11::ssize_t rowStride = 0;
  pybind11::ssize_t columnStride = 0;
  // 'f' float32, 'd' float64, 'b' uint8
  char type = 0;
};

MatrixView viewOf(const pybind11::array& array);

// N values of a checked cloud's reflectance, for reading without the GIL.
struct VectorView {
  const char* data = nullptr;
  pybind11::ssize_t stride = 0;
  // 'b' uint8, 'h' uint16
  char type = 0;
};

VectorView reflectanceViewOf(const pybind11::array& array);

// The cloud's rows as loaded points (the normals' and reflectance's rows too when given), before
// non-finite points are dropped: keepMeasurablePoints then makes them measurable. No Python
// call is made.
void readRows(const MatrixView& points, const MatrixView* colors, const MatrixView* normals,
              const VectorView* reflectance, LoadedPoints& loaded);

// A loaded file's points, colours, normals and reflectance as a quorvane.Cloud of new arrays.
ArrayCloud arraysOf(const LoadedPoints& loaded);
