#pragma once

// codecs: the codecs that quorvane-dataset runs, and what one round trip through one gives.

#include "common/color_cloud.h"

#include <string>

enum class Codec { Octree, Draco };

// One cloud through a codec's encoder and decoder, so that every cloud is an intra frame.
struct RoundTrip {
  // Why the cloud cannot be encoded; empty when it was.
  std::string problem;
  std::string compressedBytes;
  ColorCloud decoded;
  double encodingSeconds = 0.0;
  double decodingSeconds = 0.0;
};
