#include "evaluation/pair_cost.h"
#include "support/pcd_test_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace {} // namespace

TEST(PairCost, APairIsSmallByItsDeclaredPointsNotItsFileSize) {
  TempDirectory work;
  const auto costOf = [&](const std::string& original, const std::string& decoded) {
    const fs::path originalFile = work.path / "original.pcd";
    const fs::path decodedFile = work.path / "decoded.pcd";
    writeTextFile(originalFile, original);
    writeTextFile(decodedFile, decoded);
    return pairCost(Pair{&originalFile, nullptr, &decodedFile, "original.pcd"});
  };
  const std::uint64_t half = kSmallPairPoints / 2;
  EXPECT_EQ(costOf(pcdHeaderOnly(half), pcdHeaderOnly(half)), PairCost::Small);
  EXPECT_EQ(costOf(pcdHeaderOnly(half), pcdHeaderOnly(half + 1)), PairCost::Large);
  // Tiny files can still declare a large cloud, as binary_compressed ones do.
  EXPECT_EQ(costOf(pcdHeaderOnly(kSmallPairPoints), pcdHeaderOnly(1)), PairCost::Large);
  EXPECT_EQ(costOf(pcdHeaderOnly(1), "not a cloud\n"), PairCost::Large);
  const fs::path original = work.path / "alone.pcd";
  EXPECT_EQ(pairCost(Pair{&original, nullptr, nullptr, "alone.pcd"}), PairCost::None);
}
