#include "codecs/codec_profiles.h"

namespace {

std::vector<CodecProfile> allProfiles() {
  using namespace pcl::io;
  const auto fixed = [](const char* resolution, const char* mode, bool color,
                        compression_Profiles_e profile) {
    const std::string colour = color ? "color" : "nocolor";
    return CodecProfile{std::string(resolution) + "-" + mode + "-" + colour,
                        std::string("fixed-") + mode + "-" + colour,
                        Codec::Octree,
                        profile,
                        0,
                        color};
  };
  std::vector<CodecProfile> profiles = {
      fixed("low", "online", false, LOW_RES_ONLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("low", "online", true, LOW_RES_ONLINE_COMPRESSION_WITH_COLOR),
      fixed("med", "online", false, MED_RES_ONLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("med", "online", true, MED_RES_ONLINE_COMPRESSION_WITH_COLOR),
      fixed("high", "online", false, HIGH_RES_ONLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("high", "online", true, HIGH_RES_ONLINE_COMPRESSION_WITH_COLOR),
      fixed("low", "offline", false, LOW_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("low", "offline", true, LOW_RES_OFFLINE_COMPRESSION_WITH_COLOR),
      fixed("med", "offline", false, MED_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("med", "offline", true, MED_RES_OFFLINE_COMPRESSION_WITH_COLOR),
      fixed("high", "offline", false, HIGH_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR),
      fixed("high", "offline", true, HIGH_RES_OFFLINE_COMPRESSION_WITH_COLOR),
  };
  for (bool color : {true, false}) {
    const std::string family = std::string("octree-offline-") + (color ? "color" : "nocolor");
    for (int bits = kFewestLadderBits; bits <= kMostLadderBits; ++bits)
      profiles.push_back({family + "-d" + std::to_string(bits), family, Codec::Octree,
                          MANUAL_CONFIGURATION, bits, color});
  }
  for (bool color : {true, false}) {
    const std::string family = std::string("draco-") + (color ? "color" : "nocolor");
    for (int bits = kFewestLadderBits; bits <= kMostLadderBits; ++bits)
      profiles.push_back({family + "-q" + std::to_string(bits), family, Codec::Draco,
                          MANUAL_CONFIGURATION, bits, color});
  }
  return profiles;
}

} // namespace

const std::vector<CodecProfile>& codecProfiles() {
  static const std::vector<CodecProfile> profiles = allProfiles();
  return profiles;
}

const CodecProfile& defaultCodecProfile() {
  return *findCodecProfile("med-offline-color");
}

const CodecProfile& defaultCodecProfile(Codec codec) {
  return codec == Codec::Octree ? defaultCodecProfile() : *findCodecProfile("draco-color-q11");
}

const CodecProfile* findCodecProfile(const std::string& name) {
  for (const CodecProfile& profile : codecProfiles())
    if (profile.name == name)
      return &profile;
  return nullptr;
}

const char* codecName(Codec codec) {
  return codec == Codec::Octree ? "octree" : "draco";
}
