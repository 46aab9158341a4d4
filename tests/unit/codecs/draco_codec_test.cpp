#include "codecs/draco_codec.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

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
