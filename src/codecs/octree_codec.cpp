#include "codecs/octree_codec.h"

#include "common/finite_points.h"

#include <pcl/common/common.h>
#include <pcl/compression/octree_pointcloud_compression.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>

using OctreeCodec = pcl::io::OctreePointCloudCompression<pcl::PointXYZRGBA>;

namespace {

// PCL's encoder, which counts the bytes of the colours it writes but keeps the count protected.
struct CountingEncoder : OctreeCodec {
  using OctreeCodec::OctreeCodec;
  std::uint64_t colorBytes() const { return compressed_color_data_len_; }
};

} // namespace

struct OctreeCoders {
  std::unique_ptr<CountingEncoder> encoder;
  OctreeCodec decoder;
};

namespace {

// The largest side of the cloud's bounding box.
double extentOf(const ColorCloud& cloud) {
  Eigen::Vector4f lowest, highest;
  pcl::getMinMax3D(cloud, lowest, highest);
  return static_cast<double>((highest - lowest).head<3>().maxCoeff());
}

constexpr unsigned char kLadderColorBits = 8;
// A ladder's I-frame rate in a stream: PCL's offline profiles' own.
constexpr unsigned int kLadderFrameRate = 100;

std::unique_ptr<CountingEncoder> makeEncoder(const ColorCloud& cloud, const CodecProfile& profile) {
  if (profile.octreeProfile != pcl::io::MANUAL_CONFIGURATION)
    return std::make_unique<CountingEncoder>(profile.octreeProfile, false);
  const double resolution = octreeResolution(cloud, profile);
  return std::make_unique<CountingEncoder>(pcl::io::MANUAL_CONFIGURATION, false, resolution,
                                           resolution, true, kLadderFrameRate, profile.color,
                                           kLadderColorBits);
}

} // namespace

double octreeResolution(const ColorCloud& cloud, const CodecProfile& profile) {
  if (profile.octreeProfile != pcl::io::MANUAL_CONFIGURATION)
    return pcl::io::compressionProfiles_[profile.octreeProfile].octreeResolution;
  const double extent = extentOf(cloud);
  return extent > 0.0 ? std::ldexp(extent, -profile.bits) : 1.0;
}

int octreeDepth(const ColorCloud& cloud, const CodecProfile& profile) {
  const double cells = extentOf(cloud) / octreeResolution(cloud, profile);
  return cells <= 1.0 ? 0 : static_cast<int>(std::ceil(std::log2(cells)));
}

RoundTrip octreeRoundTrip(const ColorCloud& original, const CodecProfile& profile,
                          OctreeStream* stream) {
  RoundTrip trip;
  auto finite = std::make_shared<ColorCloud>(original);
  pcl::Indices kept;
  keepFinitePoints(*finite, kept);
  if (finite->empty())
    return trip;
  const int depth = octreeDepth(*finite, profile);
  if (depth > kMaxOctreeDepth) {
    trip.problem = "its extent needs an octree of " + std::to_string(depth) +
                   " levels at this profile's resolution; at most " +
                   std::to_string(kMaxOctreeDepth) + " are allowed";
    return trip;
  }
  OctreeStream single;
  OctreeStream& coders = stream != nullptr ? *stream : single;
  if (!coders) {
    coders = std::make_shared<OctreeCoders>();
    coders->encoder = makeEncoder(*finite, profile);
  }
  using Clock = std::chrono::steady_clock;
  std::stringstream bytes;
  const Clock::time_point start = Clock::now();
  coders->encoder->encodePointCloud(finite, bytes);
  const Clock::time_point encoded = Clock::now();
  auto decoded = std::make_shared<ColorCloud>();
  coders->decoder.decodePointCloud(bytes, decoded);
  trip.encodingSeconds = std::chrono::duration<double>(encoded - start).count();
  trip.decodingSeconds = std::chrono::duration<double>(Clock::now() - encoded).count();
  trip.compressedBytes = bytes.str();
  trip.colorBytes = coders->encoder->colorBytes();
  trip.decoded = std::move(*decoded);
  return trip;
}
