#include "codecs/draco_codec.h"
#include "codecs/octree_codec.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(CodecProfiles, EachNameSaysWhatItsProfileDoes) {
  ASSERT_EQ(codecProfiles().size(), 12u + 4u * 6u);
  for (const CodecProfile& profile : codecProfiles()) {
    SCOPED_TRACE(profile.name);
    const bool nocolor = profile.family.size() > 8 &&
                         profile.family.compare(profile.family.size() - 8, 8, "-nocolor") == 0;
    EXPECT_EQ(profile.color, !nocolor);
    EXPECT_EQ(findCodecProfile(profile.name), &profile);
    if (profile.bits != 0) {
      const char rung = profile.codec == Codec::Octree ? 'd' : 'q';
      EXPECT_EQ(profile.name, profile.family + "-" + rung + std::to_string(profile.bits));
      continue;
    }
    // The fixed profiles follow PCL's own order and settings.
    const auto& settings = pcl::io::compressionProfiles_[profile.octreeProfile];
    EXPECT_EQ(profile.octreeProfile, &profile - codecProfiles().data());
    EXPECT_EQ(settings.doColorEncoding, !nocolor);
    // PCL's offline profiles put an intra frame every 100 frames, the online ones more often.
    EXPECT_EQ(settings.iFrameRate == 100, profile.name.find("-offline-") != std::string::npos);
  }
  const auto resolution = [](const char* name) {
    return pcl::io::compressionProfiles_[findCodecProfile(name)->octreeProfile].pointResolution;
  };
  EXPECT_GT(resolution("low-online-color"), resolution("med-online-color"));
  EXPECT_GT(resolution("med-offline-nocolor"), resolution("high-offline-nocolor"));
  EXPECT_EQ(defaultCodecProfile().name, "med-offline-color");
  EXPECT_EQ(defaultCodecProfile(Codec::Draco).codec, Codec::Draco);
  EXPECT_EQ(findCodecProfile("ultra"), nullptr);
}

TEST(RoundTrip, EncodesExactlyTheDeepestOctreeAllowed) {
  // The default profile cuts 1 cm cells: 2e6 units span 2e8 cells, 27.6 levels, so 28.
  const CodecProfile& profile = defaultCodecProfile();
  const auto deepest = cloudOf({colorPoint(0, 0, 0, 1, 2, 3), colorPoint(2e6f, 0, 0, 1, 2, 3)});
  ASSERT_EQ(octreeDepth(*deepest, profile), kMaxOctreeDepth);
  const RoundTrip fits = octreeRoundTrip(*deepest, profile);
  EXPECT_EQ(fits.problem, "");
  EXPECT_EQ(fits.decoded.size(), 2u);
  // Along z alone, 3e6 units need 29 levels.
  const auto deeper = cloudOf({colorPoint(0, 0, 0, 1, 2, 3), colorPoint(0, 0, 3e6f, 1, 2, 3)});
  EXPECT_EQ(octreeDepth(*deeper, profile), kMaxOctreeDepth + 1);
  EXPECT_EQ(octreeRoundTrip(*deeper, profile).problem,
            "its extent needs an octree of 29 levels at this profile's resolution; at most 28 "
            "are allowed");
}

TEST(RoundTrip, LadderRatePointsScaleWithTheCloud) {
  // The voxel side is the largest side over 2^bits: 8 along z over 2^3, then the same cloud
  // a thousand times larger; a cloud of one position gets a side of 1.
  const CodecProfile& d3 =
      CodecProfile{"", "", Codec::Octree, pcl::io::MANUAL_CONFIGURATION, 3, true};
  const auto cloud = cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(1, 2, 8, 0, 0, 0)});
  EXPECT_EQ(octreeResolution(*cloud, d3), 1.0);
  EXPECT_EQ(octreeDepth(*cloud, d3), 3);
  const auto larger =
      cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(1e3f, 2e3f, 8e3f, 0, 0, 0)});
  EXPECT_EQ(octreeResolution(*larger, d3), 1e3);
  const auto single = cloudOf({colorPoint(5, 5, 5, 0, 0, 0), colorPoint(5, 5, 5, 9, 9, 9)});
  EXPECT_EQ(octreeResolution(*single, d3), 1.0);
  EXPECT_EQ(octreeRoundTrip(*single, d3).decoded.size(), 1u);
}

TEST(RoundTrip, DracoKeepsEveryPointWithinHalfAStepAndColoursExactly) {
  // 8 bits over a box whose largest side, 255, is along z: steps of 1 on every axis, so no
  // coordinate moves more than 0.5.
  auto cloud = randomCloud(2000, 5);
  for (auto& point : *cloud) {
    point.x *= 100.0f;
    point.y *= 200.0f;
    point.z *= 255.0f;
  }
  (*cloud)[0].z = 0.0f;
  (*cloud)[1].z = 255.0f;
  (*cloud)[2].x = std::nanf("");
  const CodecProfile& q8 = *findCodecProfile("draco-color-q8");
  const RoundTrip trip = dracoRoundTrip(*cloud, q8, kDefaultDracoSpeed);
  ASSERT_EQ(trip.problem, "");
  ASSERT_EQ(trip.decoded.size(), cloud->size() - 1);
  EXPECT_GT(trip.compressedBytes.size(), 0u);
  // Draco reorders the points: each decoded point is matched to its original by colour and
  // nearness, through a brute-force search.
  std::size_t unmatched = 0;
  for (const auto& decoded : trip.decoded) {
    bool matched = false;
    for (const auto& original : *cloud)
      matched =
          matched || (std::abs(original.x - decoded.x) <= 0.5f + 1e-4f &&
                      std::abs(original.y - decoded.y) <= 0.5f + 1e-4f &&
                      std::abs(original.z - decoded.z) <= 0.5f + 1e-4f && original.r == decoded.r &&
                      original.g == decoded.g && original.b == decoded.b);
    unmatched += !matched;
  }
  EXPECT_EQ(unmatched, 0u);
  const RoundTrip colourless =
      dracoRoundTrip(*cloud, *findCodecProfile("draco-nocolor-q8"), kDefaultDracoSpeed);
  ASSERT_EQ(colourless.decoded.size(), cloud->size() - 1);
  EXPECT_LT(colourless.compressedBytes.size(), trip.compressedBytes.size());
  EXPECT_EQ(colourless.decoded[0].r, 0);
  EXPECT_TRUE(dracoRoundTrip(*cloudOf({}), q8, kDefaultDracoSpeed).decoded.empty());
}
