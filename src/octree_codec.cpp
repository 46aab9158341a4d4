#include "octree_codec.h"

#include <pcl/common/common.h>
#include <pcl/compression/octree_pointcloud_compression.h>
#include <pcl/filters/filter.h>

#include <chrono>
#include <cmath>
#include <sstream>

const std::vector<CodecProfile>& codecProfiles() {
  using namespace pcl::io;
  static const std::vector<CodecProfile> profiles = {
      {"low-online-nocolor", LOW_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
      {"low-online-color", LOW_RES_ONLINE_COMPRESSION_WITH_COLOR},
      {"med-online-nocolor", MED_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
      {"med-online-color", MED_RES_ONLINE_COMPRESSION_WITH_COLOR},
      {"high-online-nocolor", HIGH_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
      {"high-online-color", HIGH_RES_ONLINE_COMPRESSION_WITH_COLOR},
      {"low-offline-nocolor", LOW_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
      {"low-offline-color", LOW_RES_OFFLINE_COMPRESSION_WITH_COLOR},
      {"med-offline-nocolor", MED_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
      {"med-offline-color", MED_RES_OFFLINE_COMPRESSION_WITH_COLOR},
      {"high-offline-nocolor", HIGH_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
      {"high-offline-color", HIGH_RES_OFFLINE_COMPRESSION_WITH_COLOR},
  };
  return profiles;
}

const CodecProfile& defaultCodecProfile() {
  return *findCodecProfile("med-offline-color");
}

const CodecProfile* findCodecProfile(const std::string& name) {
  for (const CodecProfile& profile : codecProfiles())
    if (profile.name == name)
      return &profile;
  return nullptr;
}

bool encodesColor(pcl::io::compression_Profiles_e profile) {
  return pcl::io::compressionProfiles_[profile].doColorEncoding;
}

int octreeDepth(const ColorCloud& cloud, pcl::io::compression_Profiles_e profile) {
  Eigen::Vector4f lowest, highest;
  pcl::getMinMax3D(cloud, lowest, highest);
  const double extent = static_cast<double>((highest - lowest).head<3>().maxCoeff());
  const double cells = extent / pcl::io::compressionProfiles_[profile].octreeResolution;
  return cells <= 1.0 ? 0 : static_cast<int>(std::ceil(std::log2(cells)));
}

RoundTrip roundTrip(const ColorCloud& original, pcl::io::compression_Profiles_e profile) {
  using Codec = pcl::io::OctreePointCloudCompression<pcl::PointXYZRGBA>;
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
  using Clock = std::chrono::steady_clock;
  std::stringstream stream;
  const Clock::time_point start = Clock::now();
  Codec encoder(profile, false);
  encoder.encodePointCloud(finite, stream);
  const Clock::time_point encoded = Clock::now();
  Codec decoder;
  auto decoded = std::make_shared<ColorCloud>();
  decoder.decodePointCloud(stream, decoded);
  trip.encodingSeconds = std::chrono::duration<double>(encoded - start).count();
  trip.decodingSeconds = std::chrono::duration<double>(Clock::now() - encoded).count();
  trip.compressedBytes = stream.str();
  trip.decoded = std::move(*decoded);
  return trip;
}
