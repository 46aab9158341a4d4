#pragma once

// codecs: the codecs that quorvane-dataset runs, and what one round trip through one gives.

#include "common/color_cloud.h"

#include <cstdint>
#include <optional>
#include <string>

enum class Codec { Octree, Draco };

// One cloud through a codec's encoder and decoder.
struct RoundTrip {
  // Why the cloud cannot be encoded; empty when it was.
  std::string problem;
  std::string compressedBytes;
  // The bytes of compressedBytes that code the colours, where the codec can tell; the rest code
  // the geometry (and the stream's headers).
  std::optional<std::uint64_t> colorBytes;
  ColorCloud decoded;
  double encodingSeconds = 0.0;
  double decodingSeconds = 0.0;
};
