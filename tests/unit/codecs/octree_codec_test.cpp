#include "codecs/octree_codec.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

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
