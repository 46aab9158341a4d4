#include "codecs/codec_profiles.h"
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
