#include "codecs/octree_codec.h"

#include <pcl/common/common.h>
#include <pcl/compression/octree_pointcloud_compression.h>
#include <pcl/filters/filter.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>

namespace {

// The largest side of the cloud's bounding box.
double extentOf(const ColorCloud& cloud) {
  Eigen::Vector4f lowest, highest;
  pcl::getMinMax3D(cloud, lowest, highest);
  return static_cast<double>((highest - lowest).head<3>().maxCoeff());
}

constexpr unsigned char kLadderColorBits = 8;
// Only an inter-frame coder uses it; every cloud here is an intra frame.
constexpr unsigned int kLadderFrameRate = 100;

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

RoundTrip octreeRoundTrip(const ColorCloud& original, const CodecProfile& profile) {
  using OctreeCodec = pcl::io::OctreePointCloudCompression<pcl::PointXYZRGBA>;
  RoundTrip trip;
  auto finite = std::make_shared<ColorCloud>();
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(original, *finite, kept);
  if (finite->empty())
    return trip;
  const int depth = octreeDepth(*finite, profile);
  if (depth > kMaxOctreeDepth) {
    trip.problem = "its extent needs an octree of " + std::to_string(depth) +
                   " levels at this profile's resolution; at most " +
                   std::to_string(kMaxOctreeDepth) + " are allowed";
    return trip;
  }
  const double resolution = octreeResolution(*finite, profile);
  std::unique_ptr<OctreeCodec> encoder =
      profile.octreeProfile != pcl::io::MANUAL_CONFIGURATION
          ? std::make_unique<OctreeCodec>(profile.octreeProfile, false)
          : std::make_unique<OctreeCodec>(pcl::io::MANUAL_CONFIGURATION, false, resolution,
                                          resolution, true, kLadderFrameRate, profile.color,
                                          kLadderColorBits);
  using Clock = std::chrono::steady_clock;
  std::stringstream stream;
  const Clock::time_point start = Clock::now();
  encoder->encodePointCloud(finite, stream);
  const Clock::time_point encoded = Clock::now();
  OctreeCodec decoder;
  auto decoded = std::make_shared<ColorCloud>();
  decoder.decodePointCloud(stream, decoded);
  trip.encodingSeconds = std::chrono::duration<double>(encoded - start).count();
  trip.decodingSeconds = std::chrono::duration<double>(Clock::now() - encoded).count();
  trip.compressedBytes = stream.str();
  trip.decoded = std::move(*decoded);
  return trip;
}
