#pragma once

#include "color_cloud.h"

#include <pcl/compression/compression_profiles.h>

#include <string>
#include <vector>

// One of PCL's octree codec profiles, by the name the tools give it.
struct CodecProfile {
  std::string name; // "med-offline-color": resolution, online or offline, colour or not
  pcl::io::compression_Profiles_e profile;
};

// The twelve profiles, low to high resolution, online before offline, without colour first.
const std::vector<CodecProfile>& codecProfiles();

const CodecProfile& defaultCodecProfile();

// The profile of that name; null when there is none.
const CodecProfile* findCodecProfile(const std::string& name);

// The codec keeps the points' colours.
bool encodesColor(pcl::io::compression_Profiles_e profile);

// The codec allocates without bound once a cloud's extent needs 31 octree levels (two points
// 2e7 units apart at 1 cm take 4 GB and more); 30 levels still encode at once. 28 keeps a
// margin and still spans 27 km at the finest profile's 0.1 mm.
constexpr int kMaxOctreeDepth = 28;

// The octree levels that the codec needs for the cloud's extent at the profile's resolution.
int octreeDepth(const ColorCloud& cloud, pcl::io::compression_Profiles_e profile);

// One cloud through a fresh encoder and decoder, so that every cloud is an intra frame.
struct RoundTrip {
  // Why the cloud cannot be encoded; empty when it was.
  std::string problem;
  std::string compressedBytes;
  ColorCloud decoded;
  double encodingSeconds = 0.0;
  double decodingSeconds = 0.0;
};

// Encodes the cloud's finite points and decodes them again. A cloud without a finite point
// gives no bytes and no points: the codec cannot bound an empty octree.
RoundTrip roundTrip(const ColorCloud& original, pcl::io::compression_Profiles_e profile);
