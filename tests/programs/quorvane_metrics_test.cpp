// quorvane-metrics against what pc_error printed for the same pairs and options
// (scripts/pc-error-outputs.sh, kept in tests/data/pc-error/outputs/): every line in the same
// order with the same words, every number within 1e-5 relative, every PSNR within 0.001 dB.

#include "io/cloud_loading.h"
#include "io/ply_loading.h"
#include "metrics/normal_estimation.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace fs = boost::filesystem;

namespace {

CommandResult runMetrics(const std::string& arguments, const fs::path& directory) {
  return runCommand(shellQuoted(QUORVANE_METRICS_BINARY) + " " + arguments, directory);
}

// The lines that both programs print alike: not the file names, the thread count or the time.
std::vector<std::string> comparableLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  bool started = false;
  for (std::string line; std::getline(stream, line);) {
    started = started || line.rfind("infile1:", 0) == 0;
    if (!started || line.rfind("infile", 0) == 0 || line.rfind("normal1:", 0) == 0 ||
        line.rfind("nbThreads:", 0) == 0 || line.rfind("Job done!", 0) == 0)
      continue;
    lines.push_back(line);
  }
  return lines;
}

bool isNumber(const std::string& token, double& value) {
  char* end = nullptr;
  value = std::strtod(token.c_str(), &end);
  return !token.empty() && *end == '\0';
}

// Words equal, numbers within the tolerance of their line.
void expectSameLine(const std::string& got, const std::string& want) {
  std::istringstream gotWords(got), wantWords(want);
  std::string a, b;
  const bool psnr = want.find("PSNR") != std::string::npos;
  while (wantWords >> b) {
    ASSERT_TRUE(static_cast<bool>(gotWords >> a)) << "got:  " << got << "\nwant: " << want;
    const auto trim = [](std::string word) {
      if (!word.empty() && word.back() == ',')
        word.pop_back();
      return word;
    };
    double x = 0.0, y = 0.0;
    if (isNumber(trim(a), x) && isNumber(trim(b), y)) {
      if (std::isnan(y) || std::isinf(y)) {
        EXPECT_EQ(trim(a), trim(b)) << want;
        continue;
      }
      const double tolerance = psnr ? 1e-3 : 1e-5 * std::max(std::abs(y), 1e-300);
      EXPECT_NEAR(x, y, tolerance) << "got:  " << got << "\nwant: " << want;
    } else {
      EXPECT_EQ(a, b) << "got:  " << got << "\nwant: " << want;
    }
  }
  EXPECT_FALSE(static_cast<bool>(gotWords >> a)) << "got:  " << got << "\nwant: " << want;
}

// The original's normals as PCL estimates them from 12 neighbours, in a PCD file of its finite
// points: what pcl_normal_estimation gave pc_error.
void writeNormals(const fs::path& original, const fs::path& file) {
  const LoadedPoints points = loadMeasurablePoints(original.string());
  ASSERT_EQ(points.problem, "");
  const ColorCloud cloud = toColorCloud(points);
  const Normals normals = estimateNormals(cloud, 2);
  pcl::PointCloud<pcl::PointNormal> withNormals;
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    pcl::PointNormal point;
    point.getVector3fMap() = cloud[i].getVector3fMap();
    point.getNormalVector3fMap() = normals[i];
    point.curvature = 0.0f;
    withNormals.push_back(point);
  }
  ASSERT_EQ(pcl::io::savePCDFileBinary(file.string(), withNormals), 0);
}

// The shipped scans through med-offline-color, in work/quorvane.
void buildShippedDataset(const fs::path& work) {
  const CommandResult built =
      runCommand(shellQuoted(QUORVANE_DATASET_BINARY) + " --profile med-offline-color --output " +
                     shellQuoted(work.string()) + " " + shellQuoted(samplePath("")),
                 work);
  ASSERT_EQ(built.status, 0) << built.err;
}

} // namespace

TEST(QuorvaneMetrics, PrintsWhatPcErrorPrintsForEachOptionSet) {
  TempDirectory work;
  buildShippedDataset(work.path);
  const std::vector<std::pair<std::string, std::string>> sets = {
      {"colour-hausdorff-1023", "-c 1 -d 1 -r 1023"},
      {"hausdorff", "-d 1"},
      {"colour-single", "-c 1 -s 1"},
      {"normals-colour-hausdorff", "-n normals.pcd -c 1 -d 1"},
      {"normals-single-1023", "-n normals.pcd -s 1 -r 1023"},
      {"rgb-colour", "--color --mseSpace 0"},
      {"ycgco-colour-hausdorff", "-c -d --mseSpace=8"},
      {"weighted-colour", "--color=1 --neighborsProc=2"},
      {"closest-colour", "-c 1 --neighborsProc 3"},
      {"dropped-duplicates", "-c -d --dropdups 1"}};
  for (const char* pair : {"milk_color", "colored_cloud", "cturtle"}) {
    const std::string name = std::string(pair) + ".pcd";
    const fs::path original = work.path / "quorvane" / "pcd_binary_original" / name;
    const fs::path decoded = work.path / "quorvane" / "octree_uncompressed" / name;
    writeNormals(original, work.path / "normals.pcd");
    for (const auto& [set, options] : sets) {
      SCOPED_TRACE(std::string(pair) + " " + set);
      const CommandResult run = runMetrics("-a " + shellQuoted(original.string()) + " -b " +
                                               shellQuoted(decoded.string()) + " " + options,
                                           work.path);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::vector<std::string> got = comparableLines(run.out);
      const std::vector<std::string> want = comparableLines(readTextFile(
          fs::path(QUORVANE_PC_ERROR_OUTPUTS) / (std::string(pair) + "." + set + ".txt")));
      ASSERT_EQ(got.size(), want.size()) << run.out;
      for (std::size_t i = 0; i < want.size(); ++i)
        expectSameLine(got[i], want[i]);
    }
  }
}

namespace {

// A PLY cloud with reflectance as a PCD file with an intensity field of the same values, as
// floats (PCL's PointXYZI) or as given.
void writeIntensityPcd(const fs::path& ply, const fs::path& pcd, float offset = 0.0f) {
  const LoadedCloud cloud = readPlyFile(ply.string());
  ASSERT_EQ(cloud.problem, "");
  ASSERT_EQ(cloud.attributes.reflectance.size(), cloud.cloud.size());
  pcl::PointCloud<pcl::PointXYZI> points;
  for (std::size_t i = 0; i < cloud.cloud.size(); ++i) {
    pcl::PointXYZI point;
    point.getVector3fMap() = cloud.cloud[i].getVector3fMap();
    point.intensity = static_cast<float>(cloud.attributes.reflectance[i]) + offset;
    points.push_back(point);
  }
  ASSERT_EQ(pcl::io::savePCDFileBinary(pcd.string(), points), 0);
}

} // namespace

// A LiDAR-like pair with uint16 reflectance (scripts/make-lidar-pair.py), with --lidar: every line
// that pc_error printed, from the PLY files and from PCD files whose intensity field holds the
// same values. An intensity that is not a whole number is refused for --lidar, and only then.
TEST(QuorvaneMetrics, PrintsPcErrorsReflectanceLinesFromPlyAndPcd) {
  TempDirectory work;
  const fs::path lidar = fs::path(QUORVANE_PC_ERROR_OUTPUTS).parent_path() / "lidar";
  writeIntensityPcd(lidar / "original.ply", work.path / "original.pcd");
  writeIntensityPcd(lidar / "decoded.ply", work.path / "decoded.pcd");
  const std::vector<std::pair<std::string, std::string>> sets = {
      {"lidar-hausdorff-30000", "-l 1 -d 1 -r 30000"},
      {"lidar-nearest", "-l 1 --neighborsProc=0"},
      {"lidar-single", "-l 1 -s 1 -d 1"},
      {"lidar-dropped-duplicates", "-l 1 -d 1 --dropdups=1"},
      {"lidar-colour", "-l 1 -c 1"},
      {"lidar-kept-duplicates", "-l 1 -d 1 --dropdups=0"}};
  for (const auto& [set, options] : sets)
    for (const fs::path& folder : {lidar, work.path}) {
      const std::string extension = folder == lidar ? ".ply" : ".pcd";
      SCOPED_TRACE(set + " " + extension);
      const CommandResult run =
          runMetrics("-a original" + extension + " -b decoded" + extension + " " + options, folder);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::vector<std::string> got = comparableLines(run.out);
      const std::vector<std::string> want = comparableLines(
          readTextFile(fs::path(QUORVANE_PC_ERROR_OUTPUTS) / ("lidar." + set + ".txt")));
      ASSERT_EQ(got.size(), want.size()) << run.out;
      for (std::size_t i = 0; i < want.size(); ++i)
        expectSameLine(got[i], want[i]);
    }
  writeIntensityPcd(lidar / "decoded.ply", work.path / "halves.pcd", 0.5f);
  CommandResult run = runMetrics("-a original.pcd -b halves.pcd -l", work.path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorvane-metrics: halves.pcd: its intensity field holds 33149.5 at point 0, "
                     "where reflectance is a whole number from 0 to 65535\n");
  run = runMetrics("-a original.pcd -b halves.pcd", work.path);
  EXPECT_EQ(run.status, 0) << run.err;

  // quorvane-eval --metrics gives the same reflectance in metrics.csv, from the same library.
  const fs::path tree = work.path / "tree" / "quorvane";
  fs::create_directories(tree / "pcd_binary_original");
  fs::create_directories(tree / "octree_uncompressed");
  fs::copy_file(work.path / "original.pcd", tree / "pcd_binary_original" / "scan.pcd");
  fs::copy_file(work.path / "decoded.pcd", tree / "octree_uncompressed" / "scan.pcd");
  run = runCommand(shellQuoted(QUORVANE_EVAL_BINARY) + " --metrics", work.path / "tree");
  EXPECT_EQ(run.status, 0) << run.err;
  run = runMetrics("-a original.pcd -b decoded.pcd -l -d --json values.json", work.path);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string json = readTextFile(work.path / "values.json");
  const std::string metrics = readTextFile(work.path / "tree" / "metrics.csv");
  const std::string row = metrics.substr(metrics.find("\nscan.pcd,") + 1);
  const auto jsonValue = [&json](const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\": ");
    return std::stod(json.substr(at + name.size() + 4));
  };
  // The row's last four fields: MSE, PSNR, Hausdorff distance, its PSNR.
  std::vector<std::string> fields;
  std::istringstream cells(row.substr(0, row.find('\n')));
  for (std::string cell; std::getline(cells, cell, ',');)
    fields.push_back(cell);
  ASSERT_GE(fields.size(), 4u);
  const std::size_t last = fields.size() - 1;
  EXPECT_NEAR(std::stod(fields[last - 3]), jsonValue("reflectance_mse"),
              1e-5 * jsonValue("reflectance_mse"));
  EXPECT_NEAR(std::stod(fields[last - 2]), jsonValue("reflectance_psnr"), 1e-6);
  EXPECT_NEAR(std::stod(fields[last - 1]), jsonValue("reflectance_hausdorff"), 1e-6);
  EXPECT_NEAR(std::stod(fields[last]), jsonValue("reflectance_hausdorff_psnr"), 1e-6);
}

// A voxelized pair (scripts/make-voxel-pair.py: the table scene on an 8-bit grid, decoded on 7
// bits with noisy colours), where nearly every point has several neighbours at one distance:
// the values that depend on which of them is taken (the nearest's colour or normal, the closest
// colour, duplicates dropped or kept apart) are pc_error's, as its own search orders them.
TEST(QuorvaneMetrics, TakesTiedNeighboursInPcErrorsOrder) {
  const fs::path voxel = fs::path(QUORVANE_PC_ERROR_OUTPUTS).parent_path() / "voxel";
  const std::vector<std::pair<std::string, std::string>> sets = {
      {"nearest", "-c 1 --neighborsProc=0"},
      {"closest", "-c 1 --neighborsProc=3"},
      {"nearest-normal", "-n original.ply --averageNormals=0 -c 1 -d 1"},
      {"weighted-dropped", "-c 1 --neighborsProc=2 --dropdups=1"},
      {"colour-hausdorff", "-c 1 -d 1"},
      {"kept-duplicates", "--dropdups=0 -c 1 -d 1 --neighborsProc=0"},
      {"kept-duplicates-normals", "--dropdups=0 -n original.ply -c 1 -d 1"}};
  for (const auto& [set, options] : sets)
    for (const char* threads : {"1", "2"}) {
      SCOPED_TRACE(set + " on " + threads + " threads");
      const CommandResult run = runMetrics("-a original.ply -b decoded.ply --nbThreads " +
                                               std::string(threads) + " " + options,
                                           voxel);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::vector<std::string> got = comparableLines(run.out);
      const std::vector<std::string> want = comparableLines(
          readTextFile(fs::path(QUORVANE_PC_ERROR_OUTPUTS) / ("voxel." + set + ".txt")));
      ASSERT_EQ(got.size(), want.size()) << run.out;
      for (std::size_t i = 0; i < want.size(); ++i)
        expectSameLine(got[i], want[i]);
    }
}

// Bad input ends with the file and the reason on stderr and exit status 1; a normals file
// without normals leaves D2 out and says so.
TEST(QuorvaneMetrics, NamesTheFileAndTheReasonOfBadInput) {
  TempDirectory work;
  const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
  writeTextFile(work.path / "a.ply", "ply\nformat ascii 1.0\nelement vertex 3\n" + xyz +
                                         "end_header\n0 0 0\n1 0 0\n0 1 0\n");
  writeTextFile(work.path / "short.ply", "ply\nformat ascii 1.0\nelement vertex 3\n" + xyz +
                                             "end_header\n0.000 0.000 0.000\n1.000 0.000 0.000\n");
  writeTextFile(work.path / "two.ply", "ply\nformat ascii 1.0\nelement vertex 2\n" + xyz +
                                           "property float nx\nproperty float ny\n"
                                           "property float nz\nend_header\n0 0 0 0 0 1\n"
                                           "1 0 0 0 0 1\n");
  CommandResult run = runMetrics("-a a.ply -b short.ply", work.path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorvane-metrics: short.ply: the data holds 2 vertices where the header "
                     "declares 3\n");
  run = runMetrics("-a missing.ply -b a.ply", work.path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorvane-metrics: missing.ply: cannot be read: No such file or directory\n");
  run = runMetrics("-a a.ply -b a.ply -n two.ply", work.path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorvane-metrics: two.ply: 2 points where a.ply has 3\n");
  // a.ply has no normals: D2 is left out, everything else is given.
  run = runMetrics("-a two.ply -b two.ply -n a.ply", work.path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "quorvane-metrics: a.ply has no normals (nx ny nz, or normal_x normal_y "
                     "normal_z): D2 is left out\n");
  EXPECT_NE(run.out.find("   mseF      (p2point): 0\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("p2plane"), std::string::npos) << run.out;
  // An ascii PCD file without colour goes through PCL's reader, whose warning about the missing
  // colour field is not a problem of the run.
  writeTextFile(work.path / "a.pcd", "VERSION .7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\n"
                                     "COUNT 1 1 1\nWIDTH 3\nHEIGHT 1\nPOINTS 3\nDATA ascii\n"
                                     "0 0 0\n1 0 0\n0 1 0\n");
  run = runMetrics("-a a.pcd -b a.ply", work.path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Without -a or -b, or with a bad value: the usage and exit status 2.
  run = runMetrics("-a a.ply", work.path);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("-a and -b name the two clouds (see --help)"), std::string::npos);
}

// A list measured whole, and in three parts on what could be three machines: the parts' files
// put one after another are the whole list's file. A pair that cannot be read keeps its row.
TEST(QuorvaneMetrics, MeasuresAListWholeOrInPartsAlike) {
  TempDirectory work;
  buildShippedDataset(work.path);
  std::string list;
  for (const char* name : {"milk_color", "colored_cloud", "missing", "cturtle"})
    list += std::string("quorvane/pcd_binary_original/") + name +
            ".pcd,quorvane/octree_uncompressed/" + name + ".pcd\n";
  writeTextFile(work.path / "list.csv", list);
  const CommandResult whole = runMetrics("--pairs list.csv --csv whole.csv -c -d", work.path);
  EXPECT_EQ(whole.status, 1);
  EXPECT_EQ(whole.err, "quorvane-metrics: quorvane/pcd_binary_original/missing.pcd: cannot be "
                       "read: No such file or directory\n");
  std::string parts;
  for (const char* part : {"1/3", "2/3", "3/3"}) {
    runMetrics(std::string("--pairs list.csv --csv part.csv -c -d --part ") + part, work.path);
    parts += readTextFile(work.path / "part.csv");
  }
  const std::string csv = readTextFile(work.path / "whole.csv");
  EXPECT_EQ(parts, csv);
  EXPECT_EQ(countOccurrences(csv, "\n"), 5u) << csv;
  EXPECT_EQ(csv.rfind("file,decoded,normals,original_points,decoded_points,", 0), 0u) << csv;
  EXPECT_NE(csv.find("\nquorvane/pcd_binary_original/missing.pcd,"
                     "quorvane/octree_uncompressed/missing.pcd," +
                     std::string(51, ',') + "\n"),
            std::string::npos)
      << csv;
  // The list's row holds the single run's numbers: D1 of milk_color, both ways.
  const CommandResult single =
      runMetrics("-a quorvane/pcd_binary_original/milk_color.pcd -b quorvane/octree_uncompressed/"
                 "milk_color.pcd -c -d --json milk.json",
                 work.path);
  ASSERT_EQ(single.status, 0) << single.err;
  const std::string json = readTextFile(work.path / "milk.json");
  const std::size_t at = json.find("\"d1_mse\": ");
  ASSERT_NE(at, std::string::npos) << json;
  const double jsonValue = std::stod(json.substr(at + 10));
  const std::size_t row = csv.find("\nquorvane/pcd_binary_original/milk_color.pcd,");
  std::vector<std::string> fields;
  std::istringstream rowText(csv.substr(row + 1, csv.find('\n', row + 1) - row - 1));
  for (std::string field; std::getline(rowText, field, ',');)
    fields.push_back(field);
  ASSERT_GT(fields.size(), 9u);
  EXPECT_NEAR(std::stod(fields[9]), jsonValue, 1e-8 * jsonValue) << csv;
}
