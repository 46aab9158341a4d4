#pragma once

#include "io/cloud_loading.h"

#include <string>

// Reads a PLY cloud's vertices with PCL's PLY reader, after checking that the reader can take
// the file safely and read it as its header declares: x, y and z of any numeric type (integers
// beyond 2^24, which single precision cannot hold, are refused; doubles are rounded to the
// nearest float), red, green and blue as uchar (alpha ignored), and nx, ny, nz as the normals.
// Every point is kept, as PCL's PCD reader keeps them; the problem says why the file cannot be
// read.
LoadedCloud readPlyFile(const std::string& path);

// readPlyFile's points straight into the comparison's 16-byte points, with the same checks and
// problems; the cloud's grid is not kept.
LoadedPoints readPlyPoints(const std::string& path);
