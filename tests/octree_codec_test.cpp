#include "octree_codec.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(CodecProfiles, EachNameSaysWhatItsProfileDoes) {
  ASSERT_EQ(codecProfiles().size(), 12u);
  for (const CodecProfile& profile : codecProfiles()) {
    SCOPED_TRACE(profile.name);
    const auto& settings = pcl::io::compressionProfiles_[profile.profile];
    const bool nocolor = profile.name.size() > 8 &&
                         profile.name.compare(profile.name.size() - 8, 8, "-nocolor") == 0;
    EXPECT_EQ(encodesColor(profile.profile), !nocolor);
    EXPECT_EQ(settings.doColorEncoding, !nocolor);
    // PCL's offline profiles put an intra frame every 100 frames, the online ones more often.
    EXPECT_EQ(settings.iFrameRate == 100, profile.name.find("-offline-") != std::string::npos);
    EXPECT_EQ(findCodecProfile(profile.name), &profile);
    // The names follow PCL's own order of its profiles.
    EXPECT_EQ(profile.profile, &profile - codecProfiles().data());
  }
  const auto resolution = [](const char* name) {
    return pcl::io::compressionProfiles_[findCodecProfile(name)->profile].pointResolution;
  };
  EXPECT_GT(resolution("low-online-color"), resolution("med-online-color"));
  EXPECT_GT(resolution("med-offline-nocolor"), resolution("high-offline-nocolor"));
  EXPECT_EQ(defaultCodecProfile().name, "med-offline-color");
  EXPECT_EQ(findCodecProfile("ultra"), nullptr);
}

TEST(RoundTrip, EncodesExactlyTheDeepestOctreeAllowed) {
  // The default profile cuts 1 cm cells: 2e6 units span 2e8 cells, 27.6 levels, so 28.
  const pcl::io::compression_Profiles_e profile = defaultCodecProfile().profile;
  const auto deepest = cloudOf({colorPoint(0, 0, 0, 1, 2, 3), colorPoint(2e6f, 0, 0, 1, 2, 3)});
  ASSERT_EQ(octreeDepth(*deepest, profile), kMaxOctreeDepth);
  const RoundTrip fits = roundTrip(*deepest, profile);
  EXPECT_EQ(fits.problem, "");
  EXPECT_EQ(fits.decoded.size(), 2u);
  // Along z alone, 3e6 units need 29 levels.
  const auto deeper = cloudOf({colorPoint(0, 0, 0, 1, 2, 3), colorPoint(0, 0, 3e6f, 1, 2, 3)});
  EXPECT_EQ(octreeDepth(*deeper, profile), kMaxOctreeDepth + 1);
  EXPECT_EQ(roundTrip(*deeper, profile).problem,
            "its extent needs an octree of 29 levels at this profile's resolution; at most 28 "
            "are allowed");
}
