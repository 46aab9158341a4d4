#include "pcd_file_check.h"
#include "pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

TEST(CheckPcdFile, AcceptsEveryStorageThatPclWrites) {
  TempDirectory directory;
  for (auto storage : {PcdStorage::Ascii, PcdStorage::Binary, PcdStorage::BinaryCompressed}) {
    const auto file = directory.path / "cloud.pcd";
    writeCloud(file, *randomCloud(50, 11), storage);
    EXPECT_EQ(checkPcdFile(file.string()).problem, "") << readTextFile(file).substr(0, 200);
  }
}

TEST(CheckPcdFile, AcceptsTheSampleScans) {
  for (const char* name : {"milk_color.pcd", "table_scene_mug_stereo_textured.pcd", "cturtle.pcd",
                           "colored_cloud.pcd", "pcl_logo.pcd"})
    EXPECT_EQ(checkPcdFile(samplePath(name)).problem, "") << name;
}

TEST(CheckPcdFile, AcceptsCommentsEmptyLinesAndOldStyleColumns) {
  TempDirectory directory;
  std::string text = "# a comment\n\n" + validPcdText(PcdStorage::Ascii);
  text = withHeaderLine(text, "FIELDS", "COLUMNS x y z rgba");
  writeTextFile(directory.path / "a.pcd", text);
  EXPECT_EQ(checkPcdFile((directory.path / "a.pcd").string()).problem, "");
}

TEST(CheckPcdFile, RejectsEveryKindOfDamageWithAReason) {
  TempDirectory directory;
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    if (damaged.name == "corrupt compressed payload")
      continue; // a consistent header: only the reader's decompression can tell
    const auto file = directory.path / "damaged.pcd";
    writeTextFile(file, damaged.content);
    const std::string reason = checkPcdFile(file.string()).problem;
    EXPECT_NE(reason, "") << damaged.name;
    if (damaged.name == "git lfs pointer") {
      EXPECT_NE(reason.find("Git LFS pointer"), std::string::npos) << reason;
    }
  }
}

TEST(CheckPcdFile, RejectsWhatIsNotARegularFile) {
  TempDirectory directory;
  EXPECT_NE(checkPcdFile((directory.path / "missing.pcd").string()).problem, "");
  fs::create_directory(directory.path / "folder.pcd");
  EXPECT_NE(checkPcdFile((directory.path / "folder.pcd").string()).problem, "");
}
