// Runs the built quorvane-eval in a temporary directory and compares its real output.

#include "pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace fs = boost::filesystem;

namespace {

const std::string kHeader = "file;compressionrate;distance error;error var;color error\n";

struct RunResult {
  std::string out;
  std::string err;
  std::string report;
  int status = -1;
};

std::vector<std::string> sortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class Evaluation : public testing::Test {
protected:
  fs::path originals() const { return work.path / "quorvane" / "pcd_binary_original"; }
  fs::path compressed() const { return work.path / "quorvane" / "octree_compressed"; }
  fs::path reconstructed() const { return work.path / "quorvane" / "octree_uncompressed"; }

  // A one-point original of an even size, so that half of it is a whole number of bytes.
  void writeOriginal(const std::string& name) {
    const fs::path file = originals() / name;
    writeCloud(file, *cloudOf({colorPoint(0, 0, 0, 200, 100, 50)}), PcdStorage::Ascii);
    if (fs::file_size(file) % 2 != 0)
      writeTextFile(file, readTextFile(file) + "\n");
  }

  void writeReconstructed(const std::string& name) {
    writeCloud(reconstructed() / name, *cloudOf({colorPoint(1, 1, 0, 190, 104, 47)}),
               PcdStorage::Binary);
  }

  void writeCompressed(const std::string& name, std::uintmax_t bytes) {
    writeTextFile(compressed() / name, std::string(bytes, 'z'));
  }

  std::uintmax_t originalSize(const std::string& name) const {
    return fs::file_size(originals() / name);
  }

  RunResult run() const {
    const CommandResult command =
        runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " ignored arguments", work.path);
    RunResult result;
    result.out = command.out;
    result.err = command.err;
    result.status = command.status;
    if (fs::is_regular_file(work.path / "errors.csv"))
      result.report = readTextFile(work.path / "errors.csv");
    return result;
  }

  TempDirectory work;
};

const std::string kMeasured = "error dist: 1.41421 var: 0 color: 11.1803 color var: 0\n";
const std::string kMeasuredRow = "1.41421;0;11.1803;0";

} // namespace

TEST_F(Evaluation, WithoutOriginalsWritesTheHeaderAlone) {
  RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.report, kHeader);

  fs::create_directories(originals());
  writeCompressed("orphan", 10);
  result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.report, kHeader);
}

TEST_F(Evaluation, WritesEachOfTheFourOutcomes) {
  for (const char* name : {"both.pcd", "decoded-only.pcd", "compressed-only.pcd", "neither.pcd"})
    writeOriginal(name);
  writeCompressed("both", originalSize("both.pcd") / 2);
  writeCompressed("compressed-only", originalSize("compressed-only.pcd") / 2);
  writeReconstructed("both.pcd");
  writeReconstructed("decoded-only.pcd");

  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const std::string path = "\"quorvane/pcd_binary_original/";
  const std::vector<std::string> records = {
      "cloud: " + path + "both.pcd\"  compressionratio:0.5 \n" + kMeasured,
      "cloud: " + path + "decoded-only.pcd\"  :compressed file not found: \n" + kMeasured,
      "cloud: " + path +
          "compressed-only.pcd\"  compressionratio:0.5 : reconstructed file not found for cloud: "
          "\n",
      "cloud: " + path +
          "neither.pcd\"  :compressed file not found: : reconstructed file not found for cloud: "
          "\n"};
  std::size_t recordBytes = 0;
  for (const std::string& record : records) {
    EXPECT_NE(result.out.find(record), std::string::npos) << record << "\nin\n" << result.out;
    recordBytes += record.size();
  }
  EXPECT_EQ(result.out.size(), recordBytes) << "the console holds more than the four records";

  ASSERT_EQ(result.report.substr(0, kHeader.size()), kHeader);
  EXPECT_EQ(sortedLines(result.report.substr(kHeader.size())),
            sortedLines(path + "both.pcd\";0.5;" + kMeasuredRow + "\n" + path +
                        "decoded-only.pcd\";1.0;" + kMeasuredRow + "\n" + path +
                        "compressed-only.pcd\";0.5;-;-;-;-\n" + path +
                        "neither.pcd\";1.0;-;-;-;-\n"));
}

TEST_F(Evaluation, PairsByExactRelativeNameAtEveryDepth) {
  writeOriginal("a.pcd");
  writeCompressed("a.bin", 8);
  writeCompressed("A", 8);
  writeOriginal("scan.old.pcd");
  writeCompressed("scan.old", 8);
  writeOriginal("s/nested.pcd");
  writeCompressed("s/nested", originalSize("s/nested.pcd"));
  writeReconstructed("s/nested.pcd");
  writeOriginal("s/b.pcd");
  writeReconstructed("b.pcd");
  writeReconstructed("t/b.pcd");

  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  const std::string path = "\"quorvane/pcd_binary_original/";
  const std::string missing = ";1.0;-;-;-;-";
  EXPECT_EQ(sortedLines(result.report.substr(kHeader.size())),
            sortedLines(path + "a.pcd\"" + missing + "\n" + path + "scan.old.pcd\"" + missing +
                        "\n" + path + "s/nested.pcd\";1;" + kMeasuredRow + "\n" + path +
                        "s/b.pcd\"" + missing + "\n"));
  EXPECT_NE(result.out.find("s/nested.pcd\"  compressionratio:1 \n" + kMeasured), std::string::npos)
      << result.out;
}

TEST_F(Evaluation, QuotesPathsWithAmpersandEscapes) {
  writeOriginal("say \"cheese\" & smile.pcd");
  const RunResult result = run();
  const std::string quoted = "\"quorvane/pcd_binary_original/say &\"cheese&\" && smile.pcd\"";
  EXPECT_EQ(result.report, kHeader + quoted + ";1.0;-;-;-;-\n");
  EXPECT_EQ(result.out, "cloud: " + quoted +
                            "  :compressed file not found: : reconstructed file not found for "
                            "cloud: \n");
}

TEST_F(Evaluation, EmptyOriginalGivesAnInfiniteRatio) {
  writeTextFile(originals() / "empty.pcd", "");
  writeCompressed("empty", 5);
  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.report, kHeader + "\"quorvane/pcd_binary_original/empty.pcd\";inf;-;-;-;-\n");
}

TEST_F(Evaluation, DecodedCloudThatFailsToLoadIsReportedAndFailsTheRun) {
  writeOriginal("good.pcd");
  writeReconstructed("good.pcd");
  writeOriginal("bad.pcd");
  writeCompressed("bad", originalSize("bad.pcd") / 2);
  writeTextFile(reconstructed() / "bad.pcd", "");

  const RunResult result = run();
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("cloud: \"quorvane/pcd_binary_original/bad.pcd\"  compressionratio:0.5 "
                            "error dist: nan var: nan color: nan color var: nan\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("good.pcd\"  :compressed file not found: \n" + kMeasured),
            std::string::npos);
  EXPECT_EQ(
      countOccurrences(result.err, "Error loading cloud quorvane/octree_uncompressed/bad.pcd.\n"),
      1u)
      << result.err;
  EXPECT_EQ(sortedLines(result.report.substr(kHeader.size())),
            sortedLines("\"quorvane/pcd_binary_original/bad.pcd\";0.5;nan;nan;nan;nan\n"
                        "\"quorvane/pcd_binary_original/good.pcd\";1.0;" +
                        kMeasuredRow + "\n"));
}

TEST_F(Evaluation, ReportThatCannotBeOpenedStopsTheRun) {
  writeOriginal("a.pcd");
  fs::create_directories(work.path / "errors.csv");
  const RunResult result = run();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("errors.csv: Is a directory"), std::string::npos) << result.err;
}

TEST_F(Evaluation, ReportOnAFullDiskKeepsTheConsoleLogAndFailsTheRun) {
  writeOriginal("a.pcd");
  writeOriginal("b.pcd");
  fs::create_symlink("/dev/full", work.path / "errors.csv");
  const RunResult result = run();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOccurrences(result.out, "reconstructed file not found for cloud: \n"), 2u);
  EXPECT_EQ(countOccurrences(result.err, "cannot write errors.csv: No space left on device"), 1u)
      << result.err;
}

TEST_F(Evaluation, ListingErrorIsReportedWithThePath) {
  writeOriginal("a.pcd");
  fs::create_symlink("loop-b", originals() / "loop-a");
  fs::create_symlink("loop-a", originals() / "loop-b");
  const RunResult result = run();
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("quorvane/pcd_binary_original"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Too many levels of symbolic links"), std::string::npos) << result.err;
}

TEST_F(Evaluation, DamagedDecodedCloudsFailOnlyTheirOwnRows) {
  writeOriginal("good.pcd");
  writeReconstructed("good.pcd");
  std::size_t damagedCount = 0;
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    const std::string name = "damaged-" + std::to_string(damagedCount++) + ".pcd";
    writeOriginal(name);
    writeTextFile(reconstructed() / name, damaged.content);
  }
  const RunResult result = run();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOccurrences(result.report, "\n"), 2 + damagedCount);
  EXPECT_NE(result.report.find("good.pcd\";1.0;" + kMeasuredRow + "\n"), std::string::npos);
  EXPECT_NE(result.out.find("good.pcd\"  :compressed file not found: \n" + kMeasured),
            std::string::npos);
  EXPECT_EQ(countOccurrences(result.report, ";1.0;nan;nan;nan;nan\n"), damagedCount);
  EXPECT_EQ(countOccurrences(result.err, "Error loading cloud"), damagedCount) << result.err;
  for (std::size_t i = 0; i < damagedCount; ++i)
    EXPECT_EQ(
        countOccurrences(result.err, "Error loading cloud quorvane/octree_uncompressed/damaged-" +
                                         std::to_string(i) + ".pcd.\n"),
        1u)
        << result.err;
}

TEST_F(Evaluation, UnreadableOriginalFailsItsRowOnly) {
  writeOriginal("good.pcd");
  writeReconstructed("good.pcd");
  writeOriginal("locked.pcd");
  writeReconstructed("locked.pcd");
  fs::permissions(originals() / "locked.pcd", fs::no_perms);
  fs::permissions(work.path, fs::all_all);
  // Root reads any file, so the run drops to an unprivileged user where it can.
  const bool asRoot = geteuid() == 0;
  if (asRoot && std::system("command -v setpriv > /dev/null") != 0)
    GTEST_SKIP() << "running as root without setpriv";
  const std::string prefix = asRoot ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  const CommandResult result = runCommand(prefix + shellQuoted(QUORVANE_EVAL_BINARY), work.path);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Error loading cloud quorvane/pcd_binary_original/locked.pcd.\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("Permission denied"), std::string::npos) << result.err;
  const std::string report = readTextFile(work.path / "errors.csv");
  EXPECT_NE(report.find("good.pcd\";1.0;" + kMeasuredRow + "\n"), std::string::npos) << report;
  EXPECT_NE(report.find("locked.pcd\";1.0;nan;nan;nan;nan\n"), std::string::npos) << report;
}
