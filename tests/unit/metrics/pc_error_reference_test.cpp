// metrics.csv against MPEG's pc_error with its defaults, on the shipped scans through three
// codec profiles: the values pc_error printed (scripts/pc-error-reference.sh) are committed in
// tests/data/pc-error/shipped-scans.csv.

#include "dataset/dataset_building.h"
#include "dataset/file_listing.h"
#include "evaluation/metrics_report.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; std::getline(stream, field, ',');)
    fields.push_back(field);
  if (!line.empty() && line.back() == ',')
    fields.emplace_back();
  return fields;
}

using Row = std::map<std::string, std::string>;

// The rows of a CSV file without quoted fields, by column name.
std::vector<Row> readCsv(std::istream& stream) {
  std::string line;
  std::getline(stream, line);
  const std::vector<std::string> header = splitCsvLine(line);
  std::vector<Row> rows;
  while (std::getline(stream, line)) {
    const std::vector<std::string> fields = splitCsvLine(line);
    Row row;
    for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i)
      row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

// metrics.csv's row of each shipped scan through the profile, by file name.
std::map<std::string, Row> measuredRows(const std::string& profileName) {
  TempDirectory work;
  const boost::filesystem::path input = samplePath("");
  Dataset dataset;
  EXPECT_EQ(prepareDataset(input, work.path, dataset), "");
  std::vector<boost::filesystem::path> sources;
  listFiles(input, ".pcd", sources);
  std::ostringstream csv;
  writeMetricsHeader(csv);
  for (const auto& source : sources) {
    const std::string name = relativeName(source, input);
    const BuiltPair built =
        buildPair(source, name, dataset, SourceFiles(), *findCodecProfile(profileName));
    EXPECT_EQ(built.problem, "") << name;
    const CloudComparison comparison =
        loadAndCompare((dataset.originalsDirectory / name).string(),
                       (dataset.decodedDirectory / name).string(), 2, true);
    EXPECT_TRUE(comparison.metrics.has_value()) << name;
    writeMetricsRow(csv, name, comparison.metrics ? &*comparison.metrics : nullptr, std::nullopt,
                    std::nullopt);
  }
  std::istringstream text(csv.str());
  std::map<std::string, Row> rows;
  for (Row& row : readCsv(text))
    rows[row["file"]] = row;
  return rows;
}

double number(const std::string& text) {
  return std::stod(text);
}

} // namespace

TEST(PcErrorReference, MetricsAreThoseOfPcErrorWithItsDefaults) {
  std::ifstream file(QUORVANE_PC_ERROR_REFERENCE);
  ASSERT_TRUE(file) << QUORVANE_PC_ERROR_REFERENCE;
  const std::vector<Row> reference = readCsv(file);
  ASSERT_EQ(reference.size(), 15u);
  std::map<std::string, std::map<std::string, Row>> measured;
  std::size_t compared = 0;
  for (const Row& expected : reference) {
    const std::string& profile = expected.at("profile");
    if (measured.count(profile) == 0)
      measured[profile] = measuredRows(profile);
    const Row& ours = measured[profile][expected.at("file")];
    SCOPED_TRACE(profile + " " + expected.at("file"));
    ASSERT_EQ(ours.at("peak"), expected.at("peak"));
    // pc_error prints squared Hausdorff distances; metrics.csv the distances.
    const auto value = [&](const std::string& column) {
      if (column == "hausdorff_squared" || column == "d2_hausdorff_squared") {
        const double distance =
            number(ours.at(column == "hausdorff_squared" ? "hausdorff" : "d2_hausdorff"));
        return distance * distance;
      }
      return number(ours.at(column));
    };
    // A NaN normal makes pc_error add an unsquared sum to D2, which metrics.csv does not.
    const bool planeComparable = expected.at("nan_normals") == "0";
    for (const auto& [column, text] : expected) {
      if (column == "profile" || column == "file" || column == "peak" || column == "nan_normals" ||
          text.empty())
        continue;
      if (column.rfind("d2_", 0) == 0 && !planeComparable)
        continue;
      const double theirs = number(text);
      if (column.find("psnr") != std::string::npos)
        EXPECT_NEAR(value(column), theirs, 0.001) << column;
      else
        EXPECT_NEAR(value(column), theirs, 1e-5 * std::abs(theirs)) << column;
      ++compared;
    }
  }
  EXPECT_GE(compared, 180u);
}
