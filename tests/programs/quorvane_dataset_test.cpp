// Runs the built quorvane-dataset and then quorvane-eval on what it wrote.

#include "io/cloud_loading.h"
#include "support/pcd_test_files.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <pcl/io/pcd_io.h>

#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace fs = boost::filesystem;

namespace {

CommandResult buildDataset(const fs::path& directory, const std::string& arguments) {
  return runCommand(shellQuoted(QUORVANE_DATASET_BINARY) + " " + arguments, directory);
}

CommandResult evaluate(const fs::path& directory) {
  return runCommand(shellQuoted(QUORVANE_EVAL_BINARY), directory);
}

} // namespace

TEST(Dataset, BuildsATreeThatTheEvaluatorPairsCompletely) {
  TempDirectory work;
  writeCloud(work.path / "in" / "scans" / "small.pcd", *randomCloud(2000, 5), PcdStorage::Ascii);
  writeCloud(work.path / "in" / "top.pcd", *randomCloud(100, 6), PcdStorage::BinaryCompressed);

  const CommandResult built = buildDataset(work.path, "--output out in");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("scans/small.pcd: 2000 points in"), std::string::npos) << built.out;
  const fs::path root = work.path / "out" / "quorvane";
  EXPECT_TRUE(fs::is_regular_file(root / "pcd_binary_original" / "scans" / "small.pcd"));
  EXPECT_TRUE(fs::is_regular_file(root / "octree_compressed" / "scans" / "small"));
  EXPECT_TRUE(fs::is_regular_file(root / "octree_uncompressed" / "scans" / "small.pcd"));
  EXPECT_GT(fs::file_size(root / "octree_compressed" / "scans" / "small"), 0u);

  const LoadedCloud decoded =
      readPcdFile((root / "octree_uncompressed" / "scans" / "small.pcd").string());
  ASSERT_EQ(decoded.problem, "");
  EXPECT_GT(decoded.cloud.size(), 0u);

  const CommandResult evaluated = evaluate(work.path / "out");
  EXPECT_EQ(evaluated.status, 0) << evaluated.err;
  EXPECT_EQ(countOccurrences(evaluated.out, "compressionratio:"), 2u) << evaluated.out;
  EXPECT_EQ(countOccurrences(evaluated.out, "error dist: "), 2u) << evaluated.out;
  EXPECT_EQ(countOccurrences(evaluated.out, "not found"), 0u) << evaluated.out;
}

TEST(Dataset, EmptyAndAllNaNCloudsStillGetAllThreeFiles) {
  TempDirectory work;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  writeCloud(work.path / "in" / "nan.pcd", *cloudOf({colorPoint(nan, nan, nan, 1, 2, 3)}),
             PcdStorage::Binary);
  writeTextFile(work.path / "in" / "empty.pcd",
                "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\nCOUNT 1 1 1 1\n"
                "WIDTH 0\nHEIGHT 1\nPOINTS 0\nDATA ascii\n");
  const CommandResult built = buildDataset(work.path, "--output out in");
  ASSERT_EQ(built.status, 0) << built.err;
  for (const char* name : {"nan", "empty"}) {
    const fs::path root = work.path / "out" / "quorvane";
    EXPECT_TRUE(fs::is_regular_file(root / "octree_compressed" / name)) << name;
    EXPECT_EQ(
        readPcdFile((root / "pcd_binary_original" / (std::string(name) + ".pcd")).string()).problem,
        "");
    const LoadedCloud decoded =
        readPcdFile((root / "octree_uncompressed" / (std::string(name) + ".pcd")).string());
    EXPECT_EQ(decoded.problem, "");
    EXPECT_EQ(decoded.cloud.size(), 0u);
  }
}

TEST(Dataset, SkipsAnUnreadableCloudAndFailsAtTheEnd) {
  TempDirectory work;
  writeTextFile(work.path / "in" / "a-broken.pcd", "not a cloud\n");
  writeCloud(work.path / "in" / "fine.pcd", *randomCloud(50, 8));
  const CommandResult built =
      buildDataset(work.path, "--profile low-online-nocolor --output out in");
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.err.find("a-broken.pcd"), std::string::npos) << built.err;
  EXPECT_TRUE(fs::is_regular_file(work.path / "out" / "quorvane" / "octree_compressed" / "fine"));
  EXPECT_FALSE(fs::exists(work.path / "out" / "quorvane" / "octree_compressed" / "a-broken"));
}

TEST(Dataset, RefusesBadCallsWithAMessage) {
  TempDirectory work;
  writeCloud(work.path / "in" / "a.pcd", *randomCloud(10, 9));
  const CommandResult inside = buildDataset(work.path / "in", ".");
  EXPECT_NE(inside.status, 0);
  EXPECT_NE(inside.err.find("inside the input"), std::string::npos) << inside.err;
  EXPECT_FALSE(fs::exists(work.path / "in" / "quorvane"));

  // The input inside the output's tree: its originals would be written over themselves.
  writeCloud(work.path / "ds" / "quorvane" / "pcd_binary_original" / "own.pcd", *randomCloud(10, 9),
             PcdStorage::Ascii);
  const std::string own = readTextFile(work.path / "ds/quorvane/pcd_binary_original/own.pcd");
  for (const char* input : {"ds/quorvane/pcd_binary_original", "ds/quorvane"}) {
    const CommandResult rewrite = buildDataset(work.path, std::string("--output ds ") + input);
    EXPECT_EQ(rewrite.status, 1);
    EXPECT_NE(rewrite.err.find(" lies inside the "), std::string::npos) << rewrite.err;
    EXPECT_EQ(readTextFile(work.path / "ds/quorvane/pcd_binary_original/own.pcd"), own);
  }

  const CommandResult missing = buildDataset(work.path, "no-such-folder");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("no-such-folder"), std::string::npos) << missing.err;

  const CommandResult profile = buildDataset(work.path, "--profile ultra in");
  EXPECT_NE(profile.status, 0);
  EXPECT_NE(profile.err.find("--profile takes one of the profiles below, not 'ultra'"),
            std::string::npos)
      << profile.err;

  writeTextFile(work.path / "blocker", "a file where the output folder should go");
  const CommandResult unwritable = buildDataset(work.path, "--output blocker in");
  EXPECT_NE(unwritable.status, 0);
  EXPECT_NE(unwritable.err.find("cannot create"), std::string::npos) << unwritable.err;

  const CommandResult mixed =
      buildDataset(work.path, "--codec draco --profile med-offline-color in");
  EXPECT_EQ(mixed.status, 2);
  EXPECT_NE(mixed.err.find("profile med-offline-color is one of octree's, not draco's"),
            std::string::npos)
      << mixed.err;
  EXPECT_EQ(buildDataset(work.path, "--draco-speed 11 in").status, 2);

  // Every profile on a line of its own, each codec's default marked.
  const CommandResult help = buildDataset(work.path, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("\n  med-offline-color  (default)\n"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("\n  draco-color-q11  (default)\n"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("\n  octree-offline-nocolor-d12\n"), std::string::npos) << help.out;
}

TEST(Dataset, RefusesWhatTheCodecCannotEncodeAndGoesOn) {
  TempDirectory work;
  // Two points 2e7 units apart need 31 octree levels at 1 cm; the codec would not stop.
  writeTextFile(work.path / "in" / "far.pcd",
                "VERSION 0.7\nFIELDS x y z rgba\nSIZE 4 4 4 4\nTYPE F F F U\nCOUNT 1 1 1 1\n"
                "WIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n0 0 0 255\n2e7 0 0 255\n");
  writeCloud(work.path / "in" / "sub" / "blocked.pcd", *randomCloud(20, 4));
  writeCloud(work.path / "in" / "fine.pcd", *randomCloud(20, 5));
  // A plain file where the output subfolder for sub/ must go.
  writeTextFile(work.path / "out" / "quorvane" / "pcd_binary_original" / "sub", "in the way");
  const CommandResult built = buildDataset(work.path, "--output out in");
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.err.find("quorvane-dataset: skipped in/far.pcd: its extent needs an octree of "
                           "31 levels at this profile's resolution; at most 28 are allowed\n"),
            std::string::npos)
      << built.err;
  EXPECT_NE(built.err.find("quorvane-dataset: skipped in/sub/blocked.pcd: "), std::string::npos)
      << built.err;
  EXPECT_TRUE(fs::is_regular_file(work.path / "out" / "quorvane" / "octree_compressed" / "fine"));
}

TEST(Dataset, WritesColourOnlyWhereThereIsColourAndTimesTheCodec) {
  TempDirectory work;
  writeCloud(work.path / "in" / "coloured.pcd", *randomCloud(300, 10));
  std::string plain = "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\n"
                      "WIDTH 3\nHEIGHT 1\nPOINTS 3\nDATA ascii\n0 0 0\n1 0 0\n0 1 0\n";
  writeTextFile(work.path / "in" / "plain.pcd", plain);
  const auto fieldsOf = [&](const std::string& output, const char* folder, const char* name) {
    const std::string text =
        readTextFile(work.path / output / "quorvane" / folder / (std::string(name) + ".pcd"));
    const std::size_t start = text.find("FIELDS");
    return text.substr(start, text.find('\n', start) - start);
  };
  const CommandResult color = buildDataset(work.path, "--output color in");
  ASSERT_EQ(color.status, 0) << color.err;
  EXPECT_EQ(fieldsOf("color", "pcd_binary_original", "coloured"), "FIELDS x y z rgba");
  EXPECT_EQ(fieldsOf("color", "octree_uncompressed", "coloured"), "FIELDS x y z rgba");
  EXPECT_EQ(fieldsOf("color", "pcd_binary_original", "plain"), "FIELDS x y z");
  EXPECT_EQ(fieldsOf("color", "octree_uncompressed", "plain"), "FIELDS x y z");
  EXPECT_NE(color.out.find("plain.pcd: 3 points in, "), std::string::npos) << color.out;
  EXPECT_EQ(countOccurrences(color.out, " s, decoded in "), 3u) << color.out;
  EXPECT_NE(color.out.find("total: 2 clouds encoded in "), std::string::npos) << color.out;

  // Draco writes its stream as the compressed file, in the same tree, timed the same way.
  const CommandResult draco = buildDataset(work.path, "--codec draco --output draco in");
  ASSERT_EQ(draco.status, 0) << draco.err;
  EXPECT_EQ(fieldsOf("draco", "octree_uncompressed", "coloured"), "FIELDS x y z rgba");
  EXPECT_EQ(fieldsOf("draco", "octree_uncompressed", "plain"), "FIELDS x y z");
  EXPECT_EQ(
      readTextFile(work.path / "draco" / "quorvane" / "octree_compressed" / "plain").substr(0, 5),
      "DRACO");
  EXPECT_NE(draco.out.find("coloured.pcd: 300 points in, 300 out, "), std::string::npos)
      << draco.out;
  EXPECT_EQ(countOccurrences(draco.out, " s, decoded in "), 3u) << draco.out;

  const CommandResult noColor =
      buildDataset(work.path, "--profile high-offline-nocolor --output nocolor in");
  ASSERT_EQ(noColor.status, 0) << noColor.err;
  EXPECT_EQ(fieldsOf("nocolor", "pcd_binary_original", "coloured"), "FIELDS x y z rgba");
  EXPECT_EQ(fieldsOf("nocolor", "octree_uncompressed", "coloured"), "FIELDS x y z");

  const CommandResult profiles = buildDataset(work.path, "--list-profiles");
  EXPECT_EQ(profiles.status, 0);
  EXPECT_EQ(countOccurrences(profiles.out, "\n"), 36u);
  EXPECT_NE(profiles.out.find("\nhigh-offline-nocolor\n"), std::string::npos) << profiles.out;
}

TEST(Dataset, NeverWritesOverASourceAndNamesLinkedFolders) {
  TempDirectory work;
  // A source that is a link into the output: writing its original would overwrite it.
  writeCloud(work.path / "out" / "quorvane" / "pcd_binary_original" / "a.pcd", *randomCloud(10, 1),
             PcdStorage::Ascii);
  const std::string before = readTextFile(work.path / "out/quorvane/pcd_binary_original/a.pcd");
  fs::create_directories(work.path / "in");
  fs::create_symlink(work.path / "out" / "quorvane" / "pcd_binary_original" / "a.pcd",
                     work.path / "in" / "a.pcd");
  writeCloud(work.path / "in" / "b.pcd", *randomCloud(10, 2));
  writeCloud(work.path / "scans" / "c.pcd", *randomCloud(10, 3));
  fs::create_directory_symlink(work.path / "scans", work.path / "in" / "linked");
  const CommandResult built = buildDataset(work.path, "--output out in");
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.err.find("quorvane-dataset: skipped in/linked: a linked folder, not followed\n"),
            std::string::npos)
      << built.err;
  EXPECT_NE(built.err.find("skipped in/a.pcd: writing out/quorvane/pcd_binary_original/a.pcd "
                           "would write over a source cloud"),
            std::string::npos)
      << built.err;
  EXPECT_EQ(readTextFile(work.path / "out/quorvane/pcd_binary_original/a.pcd"), before);
  EXPECT_NE(built.out.find("b.pcd: 10 points in"), std::string::npos) << built.out;
}

TEST(Dataset, TakesPlyCloudsWithTheirNormalsAndMeasuresThem) {
  TempDirectory work;
  const std::string header = "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\n"
                             "property float y\nproperty float z\nproperty uchar red\n"
                             "property uchar green\nproperty uchar blue\nproperty float nx\n"
                             "property float ny\nproperty float nz\nend_header\n";
  writeTextFile(work.path / "in" / "body.ply", header +
                                                   "0 0 0 10 20 30 0 0 1\n1 0 0 40 50 60 0 0 1\n"
                                                   "0 1 0 70 80 90 0 0 1\n1 1 0 1 2 3 0 0 1\n");
  // Whichever of two clouds with one name comes second would be written over the first.
  writeCloud(work.path / "in" / "twin.pcd", *randomCloud(10, 1));
  writeTextFile(work.path / "in" / "twin.ply", header + "0 0 0 1 1 1 0 0 1\n1 0 0 1 1 1 0 0 1\n"
                                                        "0 1 0 1 1 1 0 0 1\n1 1 0 1 1 1 0 0 1\n");
  writeTextFile(work.path / "in" / "broken.ply", "ply\nformat ascii 1.0\nend_header\n");
  const CommandResult built = buildDataset(work.path, "--codec draco --output out in");
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.err.find("skipped in/broken.ply: not a readable PLY cloud: the file has no "
                           "vertex element"),
            std::string::npos)
      << built.err;
  EXPECT_NE(built.err.find("is written as twin.pcd already"), std::string::npos) << built.err;
  const std::string original =
      readTextFile(work.path / "out/quorvane/pcd_binary_original/body.pcd");
  EXPECT_NE(original.find("FIELDS x y z rgb normal_x normal_y normal_z curvature\n"),
            std::string::npos);
  const CommandResult measured =
      runCommand("'" QUORVANE_EVAL_BINARY "' --metrics", work.path / "out");
  ASSERT_EQ(measured.status, 0) << measured.err;
  EXPECT_NE(readTextFile(work.path / "out" / "metrics.csv").find("body.pcd,4,4,"),
            std::string::npos);
}

// PCD files as other tools write them: each original must hold exactly the points PCL's reader
// gives for its source, or the file must be refused with the reason.
TEST(Dataset, OriginalsHoldWhatPclsReaderGivesForUnusualPcdFiles) {
  TempDirectory work;
  const std::string head = "VERSION 0.7\n";
  std::string padded = head + "FIELDS x _ y z rgb\nSIZE 4 1 4 4 4\nTYPE F U F F U\n"
                              "COUNT 1 3 1 1 1\nWIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA binary\n";
  for (float value : {1.5f, -2.25f}) {
    const float xyz[3] = {value, value * 2, value * 3};
    const std::uint32_t rgb = 0x00a0b0c0u;
    padded.append(reinterpret_cast<const char*>(&xyz[0]), 4).append("\x01\x02\x03", 3);
    padded.append(reinterpret_cast<const char*>(&xyz[1]), 8);
    padded.append(reinterpret_cast<const char*>(&rgb), 4);
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {"reordered.pcd", head + "FIELDS rgb z y x\nSIZE 4 4 4 4\nTYPE U F F F\nCOUNT 1 1 1 1\n"
                               "WIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n"
                               "4278255360 3 2 1\n16711935 -6 0.5 4e-3\n"},
      {"padded.pcd", padded},
      {"counted.pcd", head + "FIELDS x y z histogram rgba\nSIZE 4 4 4 4 4\nTYPE F F F F U\n"
                             "COUNT 1 1 1 3 1\nWIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n"
                             "1 2 3 7 8 9 4278190335\n4 5 6 1 1 1 16777215\n"},
      {"doubles.pcd", head + "FIELDS x y z\nSIZE 8 8 8\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 2\n"
                             "HEIGHT 1\nPOINTS 2\nDATA ascii\n0.1 0.2 0.3\n1e300 2 3\n"},
      {"organised.pcd", head + "FIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 2\n"
                               "HEIGHT 2\nPOINTS 4\nDATA ascii\n1 2 3\nnan nan nan\n4 5 6\n"
                               "-0 0 7\n"}};
  for (const auto& [name, content] : files)
    writeTextFile(work.path / "in" / name, content);
  std::vector<std::string> damaged;
  for (const DamagedPcd& file : damagedPcdFiles()) {
    damaged.push_back(std::to_string(damaged.size()) + ".pcd");
    writeTextFile(work.path / "in" / "damaged" / damaged.back(), file.content);
  }
  const CommandResult built = buildDataset(work.path, "--output out in");
  const fs::path originals = work.path / "out" / "quorvane" / "pcd_binary_original";
  for (const std::string& name : damaged) {
    EXPECT_NE(built.err.find("in/damaged/" + name + ": not a readable PCD cloud: "),
              std::string::npos)
        << name << "\n"
        << built.err;
    EXPECT_FALSE(fs::exists(originals / "damaged" / name)) << name;
  }
  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    if (!fs::exists(originals / name)) {
      EXPECT_NE(built.err.find("in/" + name + ": not a readable PCD cloud: "), std::string::npos)
          << built.err;
      continue;
    }
    ColorCloud want;
    ColorCloud got;
    ASSERT_EQ(pcl::io::loadPCDFile((work.path / "in" / name).string(), want), 0);
    ASSERT_EQ(pcl::io::loadPCDFile((originals / name).string(), got), 0);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    std::size_t different = 0;
    for (std::size_t i = 0; i < want.size(); ++i)
      different += std::memcmp(got[i].data, want[i].data, 3 * sizeof(float)) != 0 ||
                   got[i].rgba != want[i].rgba;
    EXPECT_EQ(different, 0u);
  }
}

namespace {

// The value of a column in the CSV row that starts with `key`.
std::string csvValue(const std::string& csv, const std::string& key, const std::string& column) {
  std::istringstream lines(csv);
  std::string header, line;
  std::getline(lines, header);
  std::size_t index = 0;
  for (std::size_t start = 0; header.substr(start, header.find(',', start) - start) != column;
       start = header.find(',', start) + 1, ++index)
    if (header.find(',', start) == std::string::npos)
      return "no column " + column;
  while (std::getline(lines, line))
    if (line.rfind(key + ",", 0) == 0) {
      std::istringstream fields(line);
      std::string field;
      for (std::size_t i = 0; i <= index; ++i)
        std::getline(fields, field, ',');
      return field;
    }
  return "no row " + key;
}

} // namespace

// Two sequences through the medium online profile: a static room scanned again with noise,
// whose P-frames cost less than its I-frame, and an object moving 1 along x each frame, whose
// decoded frames are each measured against their own original (a frame off by 1 would give
// a D1 MSE near 1, the codec gives 2.5e-5). The frames are coded in name
// order whatever order the folder lists them in.
TEST(Dataset, CodesEachFolderAsAStreamAndReportsItsSequence) {
  TempDirectory work;
  const ColorCloud::Ptr scene = randomCloud(3000, 21);
  std::mt19937 generator(4);
  std::normal_distribution<float> noise(0.0f, 0.0005f);
  for (int frame : {2, 0, 1}) {
    ColorCloud room = *scene, walk = *scene;
    for (auto& point : room)
      point.x += noise(generator), point.y += noise(generator), point.z += noise(generator);
    for (auto& point : walk)
      point.x += static_cast<float>(frame);
    const std::string name = "frame_" + std::to_string(frame) + ".pcd";
    writeCloud(work.path / "in" / "room" / name, room, PcdStorage::Binary);
    writeCloud(work.path / "in" / "walk" / name, walk, PcdStorage::Binary);
  }
  const CommandResult built =
      buildDataset(work.path, "--sequences --profile med-online-color --output out in");
  ASSERT_EQ(built.status, 0) << built.err;
  const std::size_t first = built.out.find("room/frame_0.pcd:");
  EXPECT_LT(first, built.out.find("room/frame_1.pcd:")) << built.out;
  EXPECT_LT(built.out.find("room/frame_1.pcd:"), built.out.find("room/frame_2.pcd:"));
  const fs::path root = work.path / "out" / "quorvane";
  const auto bytes = [&](const std::string& name) {
    return fs::file_size(root / "octree_compressed" / name);
  };
  EXPECT_LT(bytes("room/frame_1"), bytes("room/frame_0"));
  EXPECT_LT(bytes("room/frame_2"), bytes("room/frame_0"));

  const CommandResult evaluated =
      runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics --fps 10", work.path / "out");
  ASSERT_EQ(evaluated.status, 0) << evaluated.err;
  const std::string metrics = readTextFile(work.path / "out" / "metrics.csv");
  for (const char* name : {"walk/frame_0.pcd", "walk/frame_1.pcd", "walk/frame_2.pcd"})
    EXPECT_LT(std::stod(csvValue(metrics, name, "d1_mse")), 1e-3) << name << "\n" << metrics;
  const std::string sequences = readTextFile(work.path / "out" / "sequences.csv");
  EXPECT_EQ(csvValue(sequences, "room", "frames"), "3") << sequences;
  EXPECT_EQ(csvValue(sequences, "all", "frames_measured"), "6") << sequences;
  const std::uint64_t roomBits =
      8 * (bytes("room/frame_0") + bytes("room/frame_1") + bytes("room/frame_2"));
  EXPECT_EQ(csvValue(sequences, "room", "compressed_bits"), std::to_string(roomBits));
  EXPECT_NEAR(std::stod(csvValue(sequences, "room", "mbps")), roomBits * 10.0 / 3 / 1e6, 1e-6);
  // The codec's own count of colour bytes gives both parts of the rate, which add up.
  const double geometry = std::stod(csvValue(sequences, "room", "geometry_bpp"));
  const double colour = std::stod(csvValue(sequences, "room", "colour_bpp"));
  EXPECT_GT(colour, 0.0);
  EXPECT_NEAR(geometry + colour, std::stod(csvValue(sequences, "room", "bpp")), 1e-4);
  EXPECT_NE(csvValue(metrics, "room/frame_1.pcd", "geometry_bpp"), "");
}
