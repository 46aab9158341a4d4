// Runs the built quorvane-eval in a temporary directory and compares its real output.

#include "support/pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace fs = boost::filesystem;

// gcc says so with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_UNDER_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_UNDER_ADDRESS_SANITIZER
#endif
#endif

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
  fs::path decodedFolder() const { return work.path / "quorvane" / "octree_uncompressed"; }

  // A one-point original of an even size, so that half of it is a whole number of bytes.
  void writeOriginal(const std::string& name) {
    const fs::path file = originals() / name;
    writeCloud(file, *cloudOf({colorPoint(0, 0, 0, 200, 100, 50)}), PcdStorage::Ascii);
    if (fs::file_size(file) % 2 != 0)
      writeTextFile(file, readTextFile(file) + "\n");
  }

  void writeDecoded(const std::string& name) {
    writeCloud(decodedFolder() / name, *cloudOf({colorPoint(1, 1, 0, 190, 104, 47)}),
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

  // Root reads any file, so a run that must meet permissions drops to an unprivileged user.
  static bool canDropPrivileges() {
    return geteuid() != 0 || std::system("command -v setpriv > /dev/null") == 0;
  }
  // The program and its reader module are copied into the test's own folder: the unprivileged
  // user may not be able to enter the folders of the build, wherever the checkout lives.
  CommandResult runUnprivileged() const {
    const fs::path built(QUORVANE_EVAL_BINARY);
    const fs::path programs = work.path / "programs";
    fs::create_directories(programs);
    for (const fs::path& file : {built, built.parent_path() / "libquorvane_pcd_reader.so"})
      fs::copy_file(file, programs / file.filename(), fs::copy_options::overwrite_existing);
    fs::permissions(programs, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exe |
                                  fs::perms::others_read | fs::perms::others_exe);
    const std::string prefix =
        geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    return runCommand(prefix + shellQuoted((programs / built.filename()).string()), work.path);
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
  writeDecoded("both.pcd");
  writeDecoded("decoded-only.pcd");

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
  // The compressed file is the original's name without ".pcd", whatever dots it holds.
  writeOriginal("frame_20121214T142255.814212.pcd");
  writeCompressed("frame_20121214T142255.814212", originalSize("frame_20121214T142255.814212.pcd"));
  writeOriginal("s/nested.pcd");
  writeCompressed("s/nested", originalSize("s/nested.pcd"));
  writeDecoded("s/nested.pcd");
  writeOriginal("s/b.pcd");
  writeDecoded("b.pcd");
  writeDecoded("t/b.pcd");

  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  const std::string path = "\"quorvane/pcd_binary_original/";
  const std::string missing = ";1.0;-;-;-;-";
  EXPECT_EQ(sortedLines(result.report.substr(kHeader.size())),
            sortedLines(path + "a.pcd\"" + missing + "\n" + path +
                        "frame_20121214T142255.814212.pcd\";1;-;-;-;-\n" + path +
                        "s/nested.pcd\";1;" + kMeasuredRow + "\n" + path + "s/b.pcd\"" + missing +
                        "\n"));
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
  writeDecoded("good.pcd");
  writeOriginal("bad.pcd");
  writeCompressed("bad", originalSize("bad.pcd") / 2);
  writeTextFile(decodedFolder() / "bad.pcd", "");

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

  // metrics.csv is opened before errors.csv is truncated.
  fs::remove(work.path / "errors.csv");
  writeTextFile(work.path / "errors.csv", "the last run's rows\n");
  fs::create_directories(work.path / "metrics.csv");
  const CommandResult metrics =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics", work.path);
  EXPECT_EQ(metrics.status, 1);
  EXPECT_NE(metrics.err.find("cannot open metrics.csv: Is a directory"), std::string::npos)
      << metrics.err;
  EXPECT_EQ(readTextFile(work.path / "errors.csv"), "the last run's rows\n");
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

TEST_F(Evaluation, DamagedDecodedCloudsFailOnlyTheirOwnRows) {
  std::vector<std::string> expectedReasons;
  writeOriginal("good.pcd");
  writeDecoded("good.pcd");
  std::size_t damagedCount = 0;
  for (const DamagedPcd& damaged : damagedPcdFiles()) {
    // One of each class: empty, short data, corrupt compressed data, unmappable fields.
    if (damaged.name != "zero bytes" && damaged.name != "binary one byte short" &&
        damaged.name != "corrupt compressed payload" && damaged.name != "coordinates as doubles")
      continue;
    const std::string name = "damaged-" + std::to_string(damagedCount++) + ".pcd";
    writeOriginal(name);
    writeTextFile(decodedFolder() / name, damaged.content);
    if (!damaged.reason.empty())
      expectedReasons.push_back("quorvane-eval: quorvane/octree_uncompressed/" + name + ": " +
                                damaged.reason +
                                "\nError loading cloud "
                                "quorvane/octree_uncompressed/" +
                                name + ".\n");
  }
  ASSERT_EQ(damagedCount, 4u);
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
  for (const std::string& reason : expectedReasons)
    EXPECT_NE(result.err.find(reason), std::string::npos) << reason << "\nin\n" << result.err;
}

TEST_F(Evaluation, UnreadableOriginalFailsItsRowOnly) {
  writeOriginal("good.pcd");
  writeDecoded("good.pcd");
  writeOriginal("locked.pcd");
  writeDecoded("locked.pcd");
  fs::permissions(originals() / "locked.pcd", fs::no_perms);
  fs::permissions(work.path, fs::all_all);
  if (!canDropPrivileges())
    GTEST_SKIP() << "running as root without setpriv";
  const CommandResult result = runUnprivileged();
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Error loading cloud quorvane/pcd_binary_original/locked.pcd.\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("Permission denied"), std::string::npos) << result.err;
  const std::string report = readTextFile(work.path / "errors.csv");
  EXPECT_NE(report.find("good.pcd\";1.0;" + kMeasuredRow + "\n"), std::string::npos) << report;
  EXPECT_NE(report.find("locked.pcd\";1.0;nan;nan;nan;nan\n"), std::string::npos) << report;
}

TEST_F(Evaluation, OriginalWithoutFinitePointsGivesNegativeNaN) {
  writeTextFile(originals() / "hollow.pcd",
                "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\nCOUNT 1 1 1 1\n"
                "WIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\nnan nan nan 0\n");
  writeDecoded("hollow.pcd");
  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.report,
            kHeader + "\"quorvane/pcd_binary_original/hollow.pcd\";1.0;-nan;-nan;-nan;-nan\n");
  EXPECT_EQ(result.out, "cloud: \"quorvane/pcd_binary_original/hollow.pcd\"  :compressed file not "
                        "found: \nerror dist: -nan var: -nan color: -nan color var: -nan\n");
}

TEST_F(Evaluation, EveryThreadCountWritesTheSameBytesInTheSameOrder) {
  for (int i = 0; i < 24; ++i) {
    const std::string name = "set" + std::to_string(i % 3) + "/cloud" + std::to_string(i) + ".pcd";
    writeCloud(originals() / name, *randomCloud(40 + 13 * i, i), PcdStorage::Binary);
    if (i % 5 != 4)
      writeCloud(decodedFolder() / name, *randomCloud(30 + 11 * i, 100 + i), PcdStorage::Binary);
    if (i % 7 == 3)
      writeTextFile(decodedFolder() / name, "not a cloud\n");
    if (i % 4 == 0)
      writeCompressed("set" + std::to_string(i % 3) + "/cloud" + std::to_string(i), 10 + i);
  }
  // More points than a small pair: compared by the writer on every thread.
  writeCloud(originals() / "large.pcd", *randomCloud(400000, 1), PcdStorage::Binary);
  writeCloud(decodedFolder() / "large.pcd", *randomCloud(300000, 2), PcdStorage::Binary);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  writeCloud(decodedFolder() / "set1/cloud1.pcd", *cloudOf({colorPoint(nan, 0, 0, 1, 2, 3)}));

  // The metrics come from the same searches and leave the console and errors.csv as they are.
  std::string firstOut, firstReport, firstMetrics;
  for (const std::string metrics : {"", " --metrics"})
    for (const std::string threads : {"1", "2", "5"}) {
      const std::string call = " --threads " + threads + metrics;
      const CommandResult merged =
          runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + call + " 2>&1", work.path);
      EXPECT_EQ(merged.status, 1) << call;
      const std::string report = readTextFile(work.path / "errors.csv");
      if (firstOut.empty()) {
        firstOut = merged.out;
        firstReport = report;
        EXPECT_EQ(countOccurrences(report, "\n"), 26u);
        EXPECT_EQ(countOccurrences(merged.out, "error no punto cercano encontrado\n"), 40u + 13u);
      }
      EXPECT_EQ(merged.out, firstOut) << call;
      EXPECT_EQ(report, firstReport) << call;
      if (metrics.empty())
        continue;
      const std::string metricsCsv = readTextFile(work.path / "metrics.csv");
      if (firstMetrics.empty()) {
        firstMetrics = metricsCsv;
        EXPECT_EQ(countOccurrences(metricsCsv, "\n"), 27u);
      }
      EXPECT_EQ(metricsCsv, firstMetrics) << call;
    }
}

TEST_F(Evaluation, MetricsHaveARowForEveryOriginalAndOneForAll) {
  // Two points each, one of them 1 off: D1 (0 + 1) / 2 both ways, peak 2 (the original's x
  // extent), PSNR 10 log10(3 * 2^2 / 0.5); two points give no normal, so D2 is D1; the colours
  // agree, so their PSNR is infinite.
  const auto original = cloudOf({colorPoint(0, 0, 0, 9, 9, 9), colorPoint(2, 0, 0, 9, 9, 9)});
  const auto decoded = cloudOf({colorPoint(0, 0, 0, 9, 9, 9), colorPoint(2, 0, 1, 9, 9, 9)});
  writeCloud(originals() / "sub" / "a,b.pcd", *original);
  writeCloud(decodedFolder() / "sub" / "a,b.pcd", *decoded);
  writeCompressed("sub/a,b", 10);
  writeCloud(originals() / "bad.pcd", *original);
  writeTextFile(decodedFolder() / "bad.pcd", "not a cloud\n");
  writeCloud(originals() / "lonely.pcd", *original);
  writeCompressed("lonely", 3);

  const CommandResult result =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics", work.path);
  EXPECT_EQ(result.status, 1) << result.err;
  // The rows come in the report's order, which is the listing's; "all" comes last. Two pairs
  // were not measured, so the dataset's distortion is not a number.
  const std::string metrics = readTextFile(work.path / "metrics.csv");
  // The colour columns: nothing measured, and the same colours everywhere (MSE 0, PSNR inf);
  // then geometry_bpp and colour_bpp, unknown without quorvane-dataset's table.
  const std::string none(27, ',');
  const std::string sameColours =
      ",0,0,0,0,0,0,0,0,0,inf,inf,inf,inf,inf,inf,0,0,0,inf,inf,inf,,,,,,";
  const std::string lostAll = "all,2,2,13,40,,,,,,,,,,,,,,,,2,2,,," + none + "\n";
  EXPECT_EQ(metrics.rfind("\n" + lostAll), metrics.size() - lostAll.size() - 1) << metrics;
  const std::string measured = "\"sub/a,b.pcd\",2,2,10,40,0.5,0.5,0.5,13.8021124,2,1,1,1,0.5,0.5,"
                               "0.5,13.8021124,inf,inf,inf,2,2,10.7918125,1,10.7918125" +
                               sameColours + "\n";
  EXPECT_EQ(sortedLines(metrics),
            sortedLines("file,original_points,decoded_points,compressed_bytes,bpp,d1_mse_ab,"
                        "d1_mse_ba,d1_mse,d1_psnr,peak,hausdorff_ab,hausdorff_ba,hausdorff,"
                        "d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,y_psnr,cb_psnr,cr_psnr,"
                        "original_unique_points,decoded_unique_points,hausdorff_psnr,d2_hausdorff,"
                        "d2_hausdorff_psnr,y_mse_ab,y_mse_ba,y_mse,cb_mse_ab,cb_mse_ba,cb_mse,"
                        "cr_mse_ab,cr_mse_ba,cr_mse,y_psnr_ab,y_psnr_ba,cb_psnr_ab,cb_psnr_ba,"
                        "cr_psnr_ab,cr_psnr_ba,red_hausdorff,green_hausdorff,blue_hausdorff,"
                        "red_hausdorff_psnr,green_hausdorff_psnr,blue_hausdorff_psnr,geometry_bpp,"
                        "colour_bpp,reflectance_mse,reflectance_psnr,reflectance_hausdorff,"
                        "reflectance_hausdorff_psnr\n"
                        "bad.pcd,,,,,,,,,,,,,,,,,,,,,,,," +
                        none + "\nlonely.pcd,,,3,,,,,,,,,,,,,,,,,,,,," + none + "\n" + measured +
                        lostAll));
  EXPECT_EQ(metrics.rfind("file,", 0), 0u);
  for (const char* name : {"bad.pcd", "lonely.pcd"})
    EXPECT_NE(result.err.find(std::string("quorvane-eval: metrics.csv: the distortion of 'all' is "
                                          "left empty: ") +
                              name + ": it was not measured\n"),
              std::string::npos)
        << result.err;

  fs::remove(originals() / "bad.pcd");
  fs::remove(originals() / "lonely.pcd");
  const CommandResult complete =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics", work.path);
  EXPECT_EQ(complete.status, 0) << complete.err;
  EXPECT_EQ(
      readTextFile(work.path / "metrics.csv").substr(metrics.find('\n') + 1),
      measured +
          "all,2,2,10,40,0.5,0.5,0.5,13.8021124,2,1,1,1,0.5,0.5,0.5,13.8021124,inf,inf,inf,2,2,"
          "10.7918125,1,10.7918125" +
          sameColours + "\n");
  // --peak states the peak in every row, the unmeasured ones too.
  writeCloud(originals() / "bad.pcd", *original);
  runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics --peak=1023", work.path);
  const std::string withPeak = readTextFile(work.path / "metrics.csv");
  EXPECT_NE(withPeak.find("bad.pcd,,,,,,,,,1023,"), std::string::npos) << withPeak;
  EXPECT_NE(withPeak.find("\nall,2,2,10,40,,,,,1023,"), std::string::npos) << withPeak;
  EXPECT_NE(withPeak.find(",0.5,0.5,0.5,67.9790252,1023,"), std::string::npos) << withPeak;
}

TEST_F(Evaluation, AnEmptyDecodedCloudIsNotAveragedAway) {
  // One pair measured exactly, one whose decoded cloud lost every point.
  const auto cloud = cloudOf({colorPoint(0, 0, 0, 9, 9, 9), colorPoint(2, 0, 0, 9, 9, 9)});
  writeCloud(originals() / "fine.pcd", *cloud);
  writeCloud(decodedFolder() / "fine.pcd", *cloud);
  writeCloud(originals() / "lost.pcd", *cloud);
  writeCloud(decodedFolder() / "lost.pcd", ColorCloud(), PcdStorage::Ascii);
  const CommandResult result =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics", work.path);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "quorvane-eval: metrics.csv: the distortion of 'all' is left empty: "
                        "lost.pcd: its decoded cloud has no finite point\n"
                        "quorvane-eval: sequences.csv: the PSNRs of . are left empty: "
                        "lost.pcd: its decoded cloud has no finite point\n");
  const std::string metrics = readTextFile(work.path / "metrics.csv");
  EXPECT_EQ(metrics.substr(metrics.rfind("all,")),
            "all,4,2,0,,,,,,,,,,,,,,,,,4,2,,," + std::string(27, ',') + "\n")
      << metrics;
  // Without --metrics the run is as it always was.
  EXPECT_EQ(run().status, 0);
}

TEST_F(Evaluation, ShowsProgressOnATerminalOnly) {
  writeOriginal("a.pcd");
  writeDecoded("a.pcd");
  writeOriginal("b\nc.pcd");
  if (std::system("command -v script > /dev/null") != 0)
    GTEST_SKIP() << "script(1) is needed to give the run a terminal";
  // script(1) runs the program on a pseudo-terminal and copies what it shows.
  const CommandResult onTerminal = runCommand(
      "script -qec " + shellQuoted(shellQuoted(QUORVANE_EVAL_BINARY)) + " /dev/null", work.path);
  EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
  EXPECT_NE(onTerminal.out.find(" of 2, a.pcd, "), std::string::npos) << onTerminal.out;
  // A line break in a name is shown escaped, so the line never spills among the records.
  EXPECT_NE(onTerminal.out.find(" of 2, b\\nc.pcd, "), std::string::npos) << onTerminal.out;
  EXPECT_EQ(countOccurrences(onTerminal.out, "quorvane-eval: cloud "), 2u);
  // The originals' points from their headers; after the first cloud, an estimate of the rest.
  EXPECT_NE(onTerminal.out.find(", 0 of "), std::string::npos) << onTerminal.out;
  EXPECT_NE(onTerminal.out.find(" points done, "), std::string::npos) << onTerminal.out;
  // A large pair, compared alone, shows its stages; small ones do not.
  fs::remove(originals() / "b\nc.pcd");
  const ColorCloud::Ptr large = randomCloud(300000, 8);
  writeCloud(originals() / "large.pcd", *large, PcdStorage::Binary);
  writeCloud(decodedFolder() / "large.pcd", *large, PcdStorage::Binary);
  const CommandResult stages = runCommand(
      "script -qec " + shellQuoted(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics") + " /dev/null",
      work.path);
  EXPECT_EQ(stages.status, 0) << stages.err;
  for (const char* stage : {"large.pcd, ", "of 300.0 k points done, ", "loading (1 of 4)",
                            "searching (3 of 4)", "measuring (4 of 4)"})
    EXPECT_NE(stages.out.find(stage), std::string::npos) << stage << "\n" << stages.out;
  EXPECT_EQ(countOccurrences(stages.out, "loading (1 of 4)"), 1u) << stages.out;
  fs::remove(originals() / "large.pcd");
  const RunResult inPipe = run();
  EXPECT_EQ(inPipe.err, "");
  // The line belongs to stderr: a terminal on stdout alone does not show it.
  const CommandResult stdoutOnTerminal =
      runCommand("script -qec " + shellQuoted(shellQuoted(QUORVANE_EVAL_BINARY) + " 2> err.txt") +
                     " /dev/null",
                 work.path);
  EXPECT_EQ(stdoutOnTerminal.status, 0) << stdoutOnTerminal.err;
  EXPECT_EQ(readTextFile(work.path / "err.txt"), "");
  EXPECT_EQ(countOccurrences(stdoutOnTerminal.out, "quorvane-eval: cloud "), 0u);
}

TEST_F(Evaluation, OptionsAreCheckedAndDocumented) {
  CommandResult help = runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --help", work.path);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--threads N"), std::string::npos) << help.out;
  EXPECT_FALSE(fs::exists(work.path / "errors.csv"));
  for (const char* call :
       {" --bogus", " -x", " -", " --threads 0", " --threads=many", " --threads", " --peak 3",
        " --metrics --peak", " --metrics --peak=0", " --metrics --peak -1", " --metrics --peak=inf",
        " --metrics --peak 2x"}) {
    const CommandResult bad = runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + call, work.path);
    EXPECT_EQ(bad.status, 2) << call;
    EXPECT_NE(bad.err.find("usage: quorvane-eval [--threads N]"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(work.path / "errors.csv")) << call;
  }
  const CommandResult fine =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --threads=3 other words", work.path);
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_EQ(readTextFile(work.path / "errors.csv"), kHeader);
}

TEST_F(Evaluation, ASecondRunRefusesWhileTheFirstHoldsTheReport) {
  writeOriginal("a.pcd");
  writeTextFile(work.path / "errors.csv", "the first run's rows\n");
  // flock(1) holds the lock as a first run would, while the second one starts.
  // A shared lock too: only an exclusive one shuts every other holder out.
  for (const char* lock : {"flock ", "flock -s "}) {
    const CommandResult second = runCommand(
        lock + std::string("errors.csv ") + shellQuoted(QUORVANE_EVAL_BINARY), work.path);
    EXPECT_EQ(second.status, 1) << lock;
    EXPECT_EQ(second.err, "quorvane-eval: errors.csv is being written by another run in this "
                          "directory; it is left as it is\n");
    EXPECT_EQ(readTextFile(work.path / "errors.csv"), "the first run's rows\n");
  }
  EXPECT_EQ(run().status, 0);
}

TEST_F(Evaluation, AnOriginalThatIsNotARegularFileIsNamed) {
  writeOriginal("a.pcd");
  ASSERT_EQ(std::system(("mkfifo " + shellQuoted((originals() / "pipe.pcd").string())).c_str()), 0);
  writeOriginal("../elsewhere/b.pcd");
  fs::create_directory_symlink(work.path / "quorvane" / "elsewhere", originals() / "linked");
  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(sortedLines(result.err),
            sortedLines("quorvane-eval: skipped quorvane/pcd_binary_original/pipe.pcd: not a "
                        "regular file\nquorvane-eval: skipped quorvane/pcd_binary_original/linked: "
                        "a linked folder, not followed\n"));
  EXPECT_EQ(countOccurrences(result.report, "\n"), 2u);
}

TEST_F(Evaluation, RunningOutOfMemoryFailsOnlyThatPair) {
#if defined(QUORVANE_UNDER_ADDRESS_SANITIZER)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any cap allows";
#endif
  // Large enough to be compared alone, on every thread, and to need about 150 MB.
  writeCloud(originals() / "a-large.pcd", *randomCloud(400000, 1), PcdStorage::Binary);
  writeCloud(decodedFolder() / "a-large.pcd", *randomCloud(400000, 2), PcdStorage::Binary);
  for (const char* name : {"b.pcd", "c.pcd", "d.pcd"}) {
    writeOriginal(name);
    writeDecoded(name);
  }
  // Address-space caps from too small for the large pair to enough for it; the run must never
  // crash, and every pair that fails is named with its reason. Near the smallest caps a small
  // pair's reading may run out too (how much address space a run has mapped when it reads one
  // depends on its threads' timing); some cap must fail the large pair alone.
  bool sawFailure = false, sawSuccess = false;
  for (int megabytes = 100; megabytes <= 300; megabytes += 20) {
    const CommandResult capped =
        runCommand("ulimit -v " + std::to_string(megabytes * 1024) + " && " +
                       shellQuoted(QUORVANE_EVAL_BINARY) + " --threads 2",
                   work.path);
    const std::string report = readTextFile(work.path / "errors.csv");
    if (capped.status != 0 && report.empty())
      continue; // too small to start at all
    SCOPED_TRACE(std::to_string(megabytes) + " MB: " + capped.err);
    ASSERT_TRUE(capped.status == 0 || capped.status == 1);
    const std::size_t smallMeasured = countOccurrences(report, ";1.0;" + kMeasuredRow + "\n");
    const std::size_t failed = countOccurrences(report, ";1.0;nan;nan;nan;nan\n");
    EXPECT_EQ(countOccurrences(report, "\n"), 5u) << report;
    EXPECT_EQ(smallMeasured + failed, capped.status == 0 ? 3u : 4u) << report;
    EXPECT_EQ(countOccurrences(capped.err, "quorvane-eval: quorvane/"), failed) << report;
    if (capped.status == 1) {
      EXPECT_NE(report.find("a-large.pcd\";1.0;nan;nan;nan;nan\n"), std::string::npos) << report;
      sawFailure = sawFailure || smallMeasured == 3;
    } else {
      EXPECT_EQ(failed, 0u) << report;
      sawSuccess = true;
    }
  }
  EXPECT_TRUE(sawFailure);
  EXPECT_TRUE(sawSuccess);
}

TEST_F(Evaluation, AFileSizeThatCannotBeReadFailsTheRun) {
  writeCloud(originals() / "a.pcd", *randomCloud(1000000, 1), PcdStorage::Binary);
  writeCloud(decodedFolder() / "a.pcd", *randomCloud(1000000, 2), PcdStorage::Binary);
  for (int i = 0; i < 20; ++i) {
    writeOriginal("b" + std::to_string(i) + ".pcd");
    writeCompressed("b" + std::to_string(i), originalSize("b" + std::to_string(i) + ".pcd") / 2);
  }
  // The compressed files vanish after the listing, while the large pair is compared: those
  // of the originals listed after it can no longer be sized.
  const CommandResult result =
      runCommand("{ " + shellQuoted(QUORVANE_EVAL_BINARY) +
                     " --threads 1 & while [ ! -s errors.csv ]; do sleep 0.01; done; rm "
                     "quorvane/octree_compressed/b*; wait $!; }",
                 work.path);
  std::istringstream report(readTextFile(work.path / "errors.csv"));
  std::string line, expectedErrors;
  bool afterLarge = false;
  std::getline(report, line);
  while (std::getline(report, line)) {
    const std::string name = line.substr(30, line.find('"', 30) - 30);
    if (name == "a.pcd") {
      afterLarge = true;
      continue;
    }
    // A row before the large one may have been written before the files vanished.
    const std::string fields = line.substr(line.find(';'));
    if (afterLarge || fields != ";0.5;-;-;-;-") {
      EXPECT_EQ(fields, ";1.0;-;-;-;-") << line;
      expectedErrors += "quorvane-eval: cannot read the size of quorvane/octree_compressed/" +
                        name.substr(0, name.size() - 4) + ": No such file or directory\n";
    }
  }
  if (expectedErrors.empty())
    GTEST_SKIP() << "this file system lists a.pcd last";
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, expectedErrors);
}

TEST_F(Evaluation, AnUnreadableSubfolderIsNamed) {
  writeOriginal("a.pcd");
  fs::create_directories(originals() / "locked");
  fs::permissions(work.path, fs::all_all);
  fs::permissions(originals() / "locked", fs::no_perms);
  if (!canDropPrivileges())
    GTEST_SKIP() << "running as root without setpriv";
  const CommandResult result = runUnprivileged();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "quorvane-eval: cannot list quorvane/pcd_binary_original: "
                        "quorvane/pcd_binary_original/locked: Permission denied\n");
  EXPECT_EQ(result.out, "");
}
