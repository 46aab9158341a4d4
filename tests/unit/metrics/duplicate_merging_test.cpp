#include "metrics/duplicate_merging.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

TEST(MergeDuplicates, KeepsEachPositionOnceWithTheMeanColourAndTheFirstNormal) {
  const ColorCloud cloud = *cloudOf({colorPoint(1, 0, 0, 10, 20, 30), colorPoint(0, 0, 5, 1, 1, 1),
                                     colorPoint(1, 0, 0, 11, 20, 0), colorPoint(0, 0, 1, 2, 2, 2),
                                     colorPoint(1, 0, 0, 0, 21, 0)});
  const Normals normals = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}};
  const MergedCloud merged = mergeDuplicates(toPointList(cloud), normals);
  // Sorted by x, then y, then z; (1,0,0) three times: (21 / 3, 61 / 3, 30 / 3) = (7, 20, 10).
  ASSERT_EQ(merged.points.size(), 3u);
  EXPECT_EQ(merged.points[0].position[2], 1.0f);
  EXPECT_EQ(merged.points[1].position[2], 5.0f);
  EXPECT_EQ(merged.points[2].position[0], 1.0f);
  EXPECT_EQ(merged.points[2].r, 7);
  EXPECT_EQ(merged.points[2].g, 20);
  EXPECT_EQ(merged.points[2].b, 10);
  EXPECT_EQ(merged.normals[0], Eigen::Vector3f(1, 1, 0));
  EXPECT_EQ(merged.normals[2], Eigen::Vector3f(1, 0, 0));
  using Indices = std::vector<std::uint32_t>;
  EXPECT_EQ(Indices(merged.mergedIndexOf.begin(), merged.mergedIndexOf.end()),
            (Indices{2, 1, 2, 0, 2}));
  EXPECT_EQ(Indices(merged.firstPositionOf.begin(), merged.firstPositionOf.end()),
            (Indices{3, 1, 0}));
}

// -0 and +0 are one position: PCL's search finds them at distance 0, and pc_error merges them.
TEST(MergeDuplicates, MergesNegativeAndPositiveZeroAsOnePosition) {
  const ColorCloud cloud =
      *cloudOf({colorPoint(0.0f, -0.0f, 1, 10, 0, 0), colorPoint(-0.0f, 0.0f, 1, 20, 0, 0),
                colorPoint(0.0f, 0.0f, -0.0f, 30, 0, 0), colorPoint(-0.0f, -0.0f, 0.0f, 40, 0, 0)});
  const PointList points = toPointList(cloud);
  const MergedCloud merged = mergeDuplicates(points, Normals());
  ASSERT_EQ(merged.points.size(), 2u);
  using Indices = std::vector<std::uint32_t>;
  const Indices mergedIndexOf(merged.mergedIndexOf.begin(), merged.mergedIndexOf.end());
  EXPECT_EQ(mergedIndexOf[0], mergedIndexOf[1]);
  EXPECT_EQ(mergedIndexOf[2], mergedIndexOf[3]);
  EXPECT_NE(mergedIndexOf[0], mergedIndexOf[2]);
  EXPECT_EQ(merged.points[mergedIndexOf[0]].r, 15);
  EXPECT_EQ(merged.points[mergedIndexOf[2]].r, 35);
  // A run keeps its first point's coordinates, signs of zero included, whether the merge writes
  // them or gives colours alone and they are taken back from the given points.
  MergedColors colors;
  MergedCloud aside = mergeDuplicates(points, Normals(), DuplicateColors::Average, &colors);
  EXPECT_TRUE(aside.points.empty());
  takeMergedPointsBack(aside, points, colors);
  for (const MergedCloud* cloudMerged : {&merged, static_cast<const MergedCloud*>(&aside)}) {
    ASSERT_EQ(cloudMerged->points.size(), 2u);
    const ColorPoint& first = cloudMerged->points[mergedIndexOf[0]];
    const ColorPoint& third = cloudMerged->points[mergedIndexOf[2]];
    EXPECT_TRUE(std::signbit(first.position[1]) && !std::signbit(first.position[0]));
    EXPECT_TRUE(std::signbit(third.position[2]) && !std::signbit(third.position[1]));
    EXPECT_EQ(first.r, 15);
    EXPECT_EQ(third.r, 35);
  }
}

// --dropdups=1 keeps the first point's colour of each run of equal positions, by storage order.
TEST(MergeDuplicates, KeepsTheFirstColourWhenDuplicatesAreDropped) {
  const ColorCloud cloud =
      *cloudOf({colorPoint(1, 0, 0, 10, 20, 30), colorPoint(0, 0, 5, 1, 1, 1),
                colorPoint(1, 0, 0, 11, 20, 0), colorPoint(1, 0, 0, 0, 21, 0)});
  const MergedCloud merged = mergeDuplicates(toPointList(cloud), Normals(), DuplicateColors::First);
  ASSERT_EQ(merged.points.size(), 2u);
  EXPECT_EQ(merged.points[1].position[0], 1.0f);
  EXPECT_EQ(merged.points[1].r, 10);
  EXPECT_EQ(merged.points[1].g, 20);
  EXPECT_EQ(merged.points[1].b, 30);
}

// Reflectance merges as pc_error merges it: the integer mean of a run, truncated, or with
// --dropdups=1 the first point's.
TEST(MergeReflectance, TruncatesARunsMeanOrKeepsItsFirst) {
  const ColorCloud cloud = *cloudOf({colorPoint(1, 0, 0, 0, 0, 0), colorPoint(0, 0, 5, 0, 0, 0),
                                     colorPoint(1, 0, 0, 0, 0, 0), colorPoint(1, 0, 0, 0, 0, 0)});
  const Reflectance given = {65535, 7, 65534, 2};
  const MergedCloud merged = mergeDuplicates(toPointList(cloud), Normals());
  // (65535 + 65534 + 2) / 3 = 43690.33: 43690, where rounding would also give 43690 but
  // 65535 + 2 alone, 32768.5, would round to 32769.
  const Reflectance averaged = mergeReflectance(merged, given);
  EXPECT_EQ(std::vector<std::uint16_t>(averaged.begin(), averaged.end()),
            (std::vector<std::uint16_t>{7, 43690}));
  const Reflectance pair = mergeReflectance(
      mergeDuplicates(
          toPointList(*cloudOf({colorPoint(1, 0, 0, 0, 0, 0), colorPoint(1, 0, 0, 0, 0, 0)})),
          Normals()),
      Reflectance{65535, 2});
  EXPECT_EQ(pair[0], 32768);
  const Reflectance first = mergeReflectance(merged, given, DuplicateColors::First);
  EXPECT_EQ(std::vector<std::uint16_t>(first.begin(), first.end()),
            (std::vector<std::uint16_t>{7, 65535}));
}
