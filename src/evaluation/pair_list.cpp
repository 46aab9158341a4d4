#include "evaluation/pair_list.h"

#include "common/csv_records.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <sstream>
#include <utility>

ReadSummary summaryOf(const LoadedPoints& loaded) {
  ReadSummary summary;
  summary.points = loaded.points.size();
  if (!loaded.points.empty()) {
    const float* last = loaded.points.back().position;
    summary.lastPoint = std::array<float, 3>{last[0], last[1], last[2]};
  }
  summary.hasNormals = !loaded.attributes.normals.empty();
  return summary;
}

PairMeasurement measurePair(const ListedPair& pair, const PcErrorRun& run, unsigned threads) {
  PairMeasurement measured;
  const auto refuse = [&](const std::string& path, const std::string& reason) {
    measured.comparison.stats = unmeasuredStats();
    measured.comparison.problem = PairProblem{path, reason};
    return measured;
  };
  const ReflectanceReading reflectance =
      run.lidar ? ReflectanceReading::Read : ReflectanceReading::Skip;
  // --lidar refuses a file whose reflectance is of a kind it cannot compare.
  const auto reflectanceProblem = [&run](const LoadedPoints& loaded) {
    return run.lidar ? loaded.attributes.reflectanceProblem : std::string();
  };
  measured.original = loadMeasurablePoints(pair.original, NormalReading::Read, reflectance);
  if (!measured.original.problem.empty())
    return refuse(pair.original, measured.original.problem);
  if (!reflectanceProblem(measured.original).empty())
    return refuse(pair.original, reflectanceProblem(measured.original));
  if (!pair.normals.empty() && pair.normals != pair.original) {
    measured.normals = loadMeasurablePoints(pair.normals, NormalReading::Read);
    if (!measured.normals.problem.empty())
      return refuse(pair.normals, measured.normals.problem);
    if (measured.normals.attributes.normals.empty()) {
      measured.normalsMissing = true;
      measured.original.attributes.normals.clear();
    } else if (measured.normals.points.size() != measured.original.points.size()) {
      return refuse(pair.normals, std::to_string(measured.normals.points.size()) +
                                      " points where " + pair.original + " has " +
                                      std::to_string(measured.original.points.size()));
    } else {
      measured.original.attributes.normals = std::move(measured.normals.attributes.normals);
    }
    // Only the report's loading line needs the normals file's points.
    measured.normalsRead = summaryOf(measured.normals);
    measured.normals = LoadedPoints();
  }
  measured.decoded = loadMeasurablePoints(pair.decoded, NormalReading::Skip, reflectance);
  if (!measured.decoded.problem.empty())
    return refuse(pair.decoded, measured.decoded.problem);
  if (!reflectanceProblem(measured.decoded).empty())
    return refuse(pair.decoded, reflectanceProblem(measured.decoded));
  measureLoadedPair(measured, run, threads);
  if (measured.comparison.problem && measured.comparison.problem->path.empty())
    measured.comparison.problem->path = pair.original;
  return measured;
}

void measureLoadedPair(PairMeasurement& measured, const PcErrorRun& run, unsigned threads) {
  const auto start = std::chrono::steady_clock::now();
  MetricsSettings settings;
  settings.estimateNormals = false;
  settings.nearestNeighbourPeak = run.resolution == 0.0;
  settings.options = metricOptionsOf(run);
  measured.originalRead = summaryOf(measured.original);
  measured.decodedRead = summaryOf(measured.decoded);
  measured.colorsCompared =
      measured.original.attributes.hasColor && measured.decoded.attributes.hasColor;
  measured.comparison = compareCloudsWithMetrics(std::move(measured.original),
                                                 std::move(measured.decoded), threads, settings);
  measured.original = LoadedPoints();
  measured.decoded = LoadedPoints();
  measured.peak = run.resolution;
  if (measured.peak == 0.0) {
    measured.peak = std::numeric_limits<double>::quiet_NaN();
    const auto& metrics = measured.comparison.metrics;
    if (metrics && metrics->largestNearestNeighbourDistance)
      measured.peak = *metrics->largestNearestNeighbourDistance;
  }
  measured.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string readPairList(std::istream& csv, std::vector<ListedPair>& pairs) {
  std::vector<std::string> fields;
  std::string problem;
  std::size_t record = 1;
  for (; readCsvRecord(csv, fields, problem); ++record) {
    if (fields.size() == 1 && fields[0].empty())
      continue;
    if (fields.size() < 2 || fields.size() > 3 || fields[0].empty() || fields[1].empty())
      return "record " + std::to_string(record) + ": " + std::to_string(fields.size()) +
             " fields where a pair has original,decoded[,normals]";
    pairs.push_back({fields[0], fields[1], fields.size() == 3 ? fields[2] : ""});
  }
  if (!problem.empty())
    return "record " + std::to_string(record) + ": " + problem;
  return "";
}

std::vector<ListedPair> partOf(const std::vector<ListedPair>& pairs, unsigned part,
                               unsigned parts) {
  const std::size_t begin = pairs.size() * (part - 1) / parts;
  const std::size_t end = pairs.size() * part / parts;
  return std::vector<ListedPair>(pairs.begin() + static_cast<std::ptrdiff_t>(begin),
                                 pairs.begin() + static_cast<std::ptrdiff_t>(end));
}

void writePairListHeader(std::ostream& csv) {
  std::ostringstream header;
  writeMetricsHeader(header);
  csv << "file,decoded,normals" << header.str().substr(std::string("file").size());
}

void writePairListRow(std::ostream& csv, const ListedPair& pair, const PairMetrics* metrics,
                      PeakOverride peak) {
  std::ostringstream row;
  writeMetricsRow(row, pair.original, metrics, std::nullopt, peak);
  const std::string text = row.str();
  const std::string file = csvField(pair.original);
  csv << file << ',' << csvField(pair.decoded) << ',' << csvField(pair.normals)
      << text.substr(file.size());
}
