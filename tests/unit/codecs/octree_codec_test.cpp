#include "codecs/octree_codec.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <pcl/compression/octree_pointcloud_compression.h>

#include <cmath>
#include <random>
#include <sstream>

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

namespace {

// A static scene scanned again and again: the same points with a little noise each time.
std::vector<ColorCloud::Ptr> rescannedScene(std::size_t frames) {
  const ColorCloud::Ptr scene = randomCloud(4000, 3);
  std::mt19937 generator(11);
  std::normal_distribution<float> noise(0.0f, 0.0005f);
  std::vector<ColorCloud::Ptr> scans;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    auto scan = std::make_shared<ColorCloud>(*scene);
    for (auto& point : *scan)
      point.x += noise(generator), point.y += noise(generator), point.z += noise(generator);
    scans.push_back(scan);
  }
  return scans;
}

} // namespace

TEST(RoundTrip, AStreamIsWhatOnePclEncoderAndDecoderWriteAndGive) {
  using OctreeCodec = pcl::io::OctreePointCloudCompression<pcl::PointXYZRGBA>;
  const CodecProfile& profile = *findCodecProfile("med-online-color");
  // Past the profile's I-frame rate (50), so that its second I-frame is in the stream too.
  const std::vector<ColorCloud::Ptr> scans = rescannedScene(53);
  OctreeStream stream;
  OctreeCodec encoder(pcl::io::MED_RES_ONLINE_COMPRESSION_WITH_COLOR, false);
  OctreeCodec decoder;
  std::vector<std::size_t> sizes;
  for (const ColorCloud::Ptr& scan : scans) {
    const RoundTrip trip = octreeRoundTrip(*scan, profile, &stream);
    std::stringstream bytes;
    encoder.encodePointCloud(scan, bytes);
    ASSERT_EQ(trip.compressedBytes, bytes.str()) << "frame " << sizes.size();
    auto decoded = std::make_shared<ColorCloud>();
    decoder.decodePointCloud(bytes, decoded);
    ASSERT_EQ(trip.decoded.size(), decoded->size());
    for (std::size_t i = 0; i < decoded->size(); ++i)
      ASSERT_EQ(trip.decoded[i].getVector3fMap(), (*decoded)[i].getVector3fMap());
    ASSERT_TRUE(trip.colorBytes && *trip.colorBytes > 0 &&
                *trip.colorBytes < trip.compressedBytes.size());
    sizes.push_back(trip.compressedBytes.size());
  }
  // The P-frames cost less than the I-frames; alone, a frame is an I-frame again.
  EXPECT_LT(sizes[1], sizes[0]);
  EXPECT_LT(sizes[50], sizes[0]);
  EXPECT_GT(sizes[51], sizes[50]) << sizes[0] << " " << sizes[1] << " " << sizes[50] << " "
                                  << sizes[51];
  EXPECT_GT(octreeRoundTrip(*scans[1], profile).compressedBytes.size(), sizes[1]);
  // A profile without colour codes no colour bytes.
  EXPECT_EQ(octreeRoundTrip(*scans[0], *findCodecProfile("med-online-nocolor")).colorBytes, 0u);
}
