#include "dataset/file_listing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <algorithm>

namespace fs = boost::filesystem;

namespace {

std::vector<std::string> listed(const fs::path& directory, const std::string& extension) {
  std::vector<fs::path> files;
  listFiles(directory, extension, files);
  std::vector<std::string> names;
  for (const auto& file : files)
    names.push_back(file.string());
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

TEST(ListFiles, SelectsExactlyTheFilesWithTheExtension) {
  TempDirectory directory;
  for (const char* name : {"cloud.pcd", "cloud.tar.pcd", ".pcd", "cloud.PCD", "cloud.pcd.bak",
                           "cloudpcd", "cloud_0001", "cloud_0001.bin", "ends.with.dot."})
    writeTextFile(directory.path / name, "x");
  fs::create_directories(directory.path / "set.pcd");
  writeTextFile(directory.path / "set.pcd" / "inner.pcd", "x");
  const std::string root = directory.path.string() + "/";

  EXPECT_EQ(listed(directory.path, ".pcd"),
            (std::vector<std::string>{root + ".pcd", root + "cloud.pcd", root + "cloud.tar.pcd",
                                      root + "set.pcd/inner.pcd"}));
  EXPECT_EQ(listed(directory.path, ""),
            (std::vector<std::string>{root + "cloud_0001", root + "cloudpcd"}));
}

TEST(ListFiles, DescendsDepthFirstAndKeepsTheDirectoryAsGiven) {
  TempDirectory directory;
  writeTextFile(directory.path / "a" / "b" / "deep.pcd", "x");
  writeTextFile(directory.path / "a" / "side.pcd", "x");
  std::vector<fs::path> files;
  listFiles(directory.path / "a", ".pcd", files);
  ASSERT_EQ(files.size(), 2u);
  const std::string prefix = (directory.path / "a").string() + "/";
  std::vector<std::string> names{files[0].string(), files[1].string()};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{prefix + "b/deep.pcd", prefix + "side.pcd"}));
  // The enumeration order is the file system's, but a subdirectory's files come together.
  EXPECT_EQ(files[0].string().substr(0, prefix.size()), prefix);
}

TEST(ListFiles, MissingDirectoryOrPlainFileAddsNothing) {
  TempDirectory directory;
  writeTextFile(directory.path / "plain.pcd", "x");
  std::vector<fs::path> files{"kept"};
  listFiles(directory.path / "missing", ".pcd", files);
  listFiles(directory.path / "plain.pcd", ".pcd", files);
  listFiles(fs::path(), ".pcd", files);
  EXPECT_EQ(files, std::vector<fs::path>{"kept"});
}

TEST(ListFiles, ListsLinksToFilesButDoesNotFollowLinksToDirectories) {
  TempDirectory directory;
  writeTextFile(directory.path / "target" / "real.pcd", "x");
  fs::create_directories(directory.path / "scan");
  fs::create_symlink(directory.path / "target" / "real.pcd", directory.path / "scan" / "link.pcd");
  fs::create_directory_symlink(directory.path / "target", directory.path / "scan" / "dirlink.pcd");
  EXPECT_EQ(listed(directory.path / "scan", ".pcd"),
            std::vector<std::string>{(directory.path / "scan" / "link.pcd").string()});
}

TEST(ListFiles, ASymbolicLinkLoopRaisesAFileSystemError) {
  TempDirectory directory;
  fs::create_symlink("loop-b.pcd", directory.path / "loop-a.pcd");
  fs::create_symlink("loop-a.pcd", directory.path / "loop-b.pcd");
  std::vector<fs::path> files;
  EXPECT_THROW(listFiles(directory.path, ".pcd", files), fs::filesystem_error);
}
