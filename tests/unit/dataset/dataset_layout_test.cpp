#include "cli/diagnostics.h"
#include "dataset/dataset_layout.h"
#include "support/pcd_test_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace {

struct Layout {
  Layout() : dataset(datasetBelow(work.path / "quorvane")) {}
  void original(const std::string& name, std::uint64_t points = 1) {
    writeTextFile(dataset.originalsDirectory / name, pcdHeaderOnly(points));
  }
  void compressed(const std::string& name) {
    writeTextFile(dataset.compressedDirectory / name, "z");
  }
  void decoded(const std::string& name, std::uint64_t points = 1) {
    writeTextFile(dataset.decodedDirectory / name, pcdHeaderOnly(points));
  }
  // Each original's name with its partners' names below their folders, "-" for none.
  std::vector<std::string> pairs() {
    std::vector<SkippedEntry> skipped;
    EXPECT_EQ(listDataset(dataset, skipped), "");
    std::vector<std::string> described;
    for (const Pair& pair : pairDataset(dataset))
      described.push_back(
          pair.name + " " +
          (pair.compressed ? relativeName(*pair.compressed, dataset.compressedDirectory) : "-") +
          " " + (pair.decoded ? relativeName(*pair.decoded, dataset.decodedDirectory) : "-"));
    std::sort(described.begin(), described.end());
    return described;
  }
  TempDirectory work;
  Dataset dataset;
};

} // namespace

TEST(PairDataset, TheCompressedFileIsTheNameWithoutItsLastExtension) {
  Layout layout;
  layout.original("frame_20121214T142255.814212.pcd");
  layout.compressed("frame_20121214T142255.814212");
  layout.original("v1.2/a.pcd");
  layout.compressed("v1.2/a");
  layout.compressed("v1");
  layout.original("office.pcd");
  layout.compressed("office.bin");
  layout.compressed("Office");
  layout.original("scan.pcd.pcd");
  layout.compressed("scan.pcd");
  layout.decoded("scan.pcd.pcd");
  layout.decoded("v1.2/b.pcd");
  EXPECT_EQ(layout.pairs(),
            (std::vector<std::string>{
                "frame_20121214T142255.814212.pcd frame_20121214T142255.814212 -", "office.pcd - -",
                "scan.pcd.pcd scan.pcd scan.pcd.pcd", "v1.2/a.pcd v1.2/a -"}));
}

TEST(ListDataset, NamesLinkedFoldersWithoutFollowingThem) {
  Layout layout;
  layout.original("a.pcd");
  writeTextFile(layout.work.path / "elsewhere" / "b.pcd", pcdHeaderOnly(1));
  fs::create_directory_symlink(layout.work.path / "elsewhere",
                               layout.dataset.originalsDirectory / "linked");
  fs::create_symlink(layout.work.path / "elsewhere" / "b.pcd",
                     layout.dataset.originalsDirectory / "file-link.pcd");
  std::vector<SkippedEntry> skipped;
  ASSERT_EQ(listDataset(layout.dataset, skipped), "");
  EXPECT_EQ(layout.dataset.originals.size(), 2u);
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].path, layout.dataset.originalsDirectory / "linked");
  EXPECT_EQ(skipped[0].reason, "a linked folder, not followed");
}

TEST(PrintableName, EscapesEveryControlCharacter) {
  EXPECT_EQ(printableName("a\nb\rc\td\x1b[2Je\x7f.pcd"), "a\\nb\\rc\\td\\x1b[2Je\\x7f.pcd");
  EXPECT_EQ(printableName("ünï cödé/x y.pcd"), "ünï cödé/x y.pcd");
}
