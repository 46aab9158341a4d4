#include "bd/bd_table.h"

#include "bd/bjontegaard.h"
#include "common/csv_records.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace {

// A number as written, "inf" included; NaN for an empty or unreadable field.
double numberOf(const std::string& field) {
  if (field.empty())
    return std::numeric_limits<double>::quiet_NaN();
  char* end = nullptr;
  const double value = std::strtod(field.c_str(), &end);
  return *end == '\0' ? value : std::numeric_limits<double>::quiet_NaN();
}

struct Metric {
  const char* name;
  double RateDistortionRow::*psnr;
};
const Metric kMetrics[] = {{"d1_psnr", &RateDistortionRow::d1Psnr},
                           {"d2_psnr", &RateDistortionRow::d2Psnr},
                           {"y_psnr", &RateDistortionRow::yPsnr}};

std::vector<RatePoint> curveOf(const std::vector<RateDistortionRow>& rows,
                               const std::string& family, double RateDistortionRow::*psnr) {
  std::vector<RatePoint> curve;
  for (const RateDistortionRow& row : rows)
    if (row.family == family)
      curve.push_back({row.bpp, row.*psnr});
  return curve;
}

std::string formatted(const BjontegaardDelta& delta) {
  if (!delta.value)
    return "";
  std::ostringstream text;
  text.precision(6);
  text << std::fixed << *delta.value;
  return text.str();
}

// The fields of a reason, quoted, its quotes doubled.
std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (char c : text)
    result += c == '"' ? std::string("\"\"") : std::string(1, c);
  return result + "\"";
}

} // namespace

std::string readRateDistortion(std::istream& csv, std::vector<RateDistortionRow>& rows) {
  std::vector<std::string> header;
  std::string problem;
  if (!readCsvRecord(csv, header, problem))
    return problem.empty() ? "it is empty" : "its header: " + problem;
  const char* names[] = {"profile", "family", "bpp", "d1_psnr", "d2_psnr", "y_psnr"};
  std::size_t columns[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const auto found = std::find(header.begin(), header.end(), names[i]);
    if (found == header.end())
      return std::string("its header has no column '") + names[i] + "'";
    columns[i] = static_cast<std::size_t>(found - header.begin());
  }
  std::vector<std::string> fields;
  std::size_t record = 2;
  for (; readCsvRecord(csv, fields, problem); ++record) {
    if (fields.size() == 1 && fields[0].empty())
      continue;
    fields.resize(std::max(fields.size(), header.size()));
    rows.push_back({fields[columns[0]], fields[columns[1]], numberOf(fields[columns[2]]),
                    numberOf(fields[columns[3]]), numberOf(fields[columns[4]]),
                    numberOf(fields[columns[5]])});
  }
  if (!problem.empty())
    return "record " + std::to_string(record) + ": " + problem;
  return "";
}

std::string writeBjontegaardTable(std::ostream& csv, const std::vector<RateDistortionRow>& rows,
                                  const std::string& anchor) {
  std::vector<std::string> families;
  for (const RateDistortionRow& row : rows)
    if (std::find(families.begin(), families.end(), row.family) == families.end())
      families.push_back(row.family);
  if (std::find(families.begin(), families.end(), anchor) == families.end())
    return "the anchor family '" + anchor + "' has no profile in the table";
  csv << "family,anchor,metric,bd_rate_percent,bd_psnr_db,bd_rate_cubic_fit_percent,"
         "bd_psnr_cubic_fit_db,reason\n";
  for (const std::string& family : families) {
    if (family == anchor)
      continue;
    for (const Metric& metric : kMetrics) {
      const std::vector<RatePoint> reference = curveOf(rows, anchor, metric.psnr);
      const std::vector<RatePoint> test = curveOf(rows, family, metric.psnr);
      const BjontegaardDelta rate = bjontegaardRate(reference, test, Interpolation::PiecewiseCubic);
      const BjontegaardDelta quality =
          bjontegaardQuality(reference, test, Interpolation::PiecewiseCubic);
      const BjontegaardDelta rateFit = bjontegaardRate(reference, test, Interpolation::CubicFit);
      const BjontegaardDelta qualityFit =
          bjontegaardQuality(reference, test, Interpolation::CubicFit);
      // Both deltas fail for the same reasons but for the overlap, which differs by axis.
      std::string reason = rate.reason;
      if (reason.empty())
        reason = quality.reason;
      else if (!quality.reason.empty() && quality.reason != rate.reason)
        reason += "; " + quality.reason;
      csv << csvField(family) << "," << csvField(anchor) << "," << metric.name << ","
          << formatted(rate) << "," << formatted(quality) << "," << formatted(rateFit) << ","
          << formatted(qualityFit) << "," << (reason.empty() ? "" : quoted(reason)) << "\n";
    }
  }
  return "";
}
