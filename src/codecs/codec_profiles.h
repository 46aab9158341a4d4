#pragma once

#include "codecs/codec.h"

#include <pcl/compression/compression_profiles.h>

#include <string>
#include <vector>

// A codec and its settings, by the name the tools give it. The profiles of one family form a
// rate-distortion curve: the twelve fixed octree profiles in families of three resolutions, and
// the ladders, whose rate points are given by a number of bits that scales with the cloud.
struct CodecProfile {
  std::string name;   // "med-offline-color", "octree-offline-color-d9", "draco-color-q11"
  std::string family; // "fixed-offline-color", "octree-offline-color", "draco-color"
  Codec codec;
  // PCL's profile for a fixed octree profile; MANUAL_CONFIGURATION for a ladder's.
  pcl::io::compression_Profiles_e octreeProfile;
  // The ladder's rate point: the octree's depth, whose voxel side is the largest side of the
  // cloud's bounding box over 2^bits, or Draco's position quantisation bits; 0 when fixed.
  int bits;
  // The codec keeps the points' colours.
  bool color;
};

// Every profile: the fixed octree profiles (low to high resolution, online before offline,
// without colour first), then the octree ladders, then Draco's.
const std::vector<CodecProfile>& codecProfiles();

// The octree codec's default profile, and each codec's default.
const CodecProfile& defaultCodecProfile();
const CodecProfile& defaultCodecProfile(Codec codec);

// The profile of that name; null when there is none.
const CodecProfile* findCodecProfile(const std::string& name);

// The codec's name as options spell it: "octree" or "draco".
const char* codecName(Codec codec);

// The rate points of each ladder.
constexpr int kFewestLadderBits = 7;
constexpr int kMostLadderBits = 12;

// Draco's encoder and decoder speed, 0 (best compression) to 10 (fastest); Draco's default.
constexpr int kDefaultDracoSpeed = 5;
