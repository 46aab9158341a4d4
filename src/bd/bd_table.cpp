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
  // The rate that the metric's bits belong to, and its name.
  double RateDistortionRow::*base;
  const char* baseName;
};
const Metric kMetrics[] = {
    {"d1_psnr", &RateDistortionRow::d1Psnr, &RateDistortionRow::geometryBpp, "geometry"},
    {"d2_psnr", &RateDistortionRow::d2Psnr, &RateDistortionRow::geometryBpp, "geometry"},
    {"y_psnr", &RateDistortionRow::yPsnr, &RateDistortionRow::colorBpp, "colour"}};

std::vector<RatePoint> curveOf(const std::vector<RateDistortionRow>& rows,
                               const std::string& family, double RateDistortionRow::*psnr,
                               const std::string& item = "",
                               double RateDistortionRow::*rate = &RateDistortionRow::bpp) {
  std::vector<RatePoint> curve;
  for (const RateDistortionRow& row : rows)
    if (row.family == family && row.item == item)
      curve.push_back({row.*rate, row.*psnr});
  return curve;
}

// Whether every row of the item's two families knows the rate.
bool knowsRate(const std::vector<RateDistortionRow>& rows, const std::string& item,
               const std::string& anchor, const std::string& family,
               double RateDistortionRow::*rate) {
  for (const RateDistortionRow& row : rows)
    if (row.item == item && (row.family == anchor || row.family == family) &&
        !std::isfinite(row.*rate))
      return false;
  return true;
}

// The four deltas of a test curve against the anchor, and the reason for any that is missing.
struct Deltas {
  BjontegaardDelta values[4];
  std::string reason;
};

Deltas deltasOf(const std::vector<RatePoint>& reference, const std::vector<RatePoint>& test) {
  Deltas deltas;
  deltas.values[0] = bjontegaardRate(reference, test, Interpolation::PiecewiseCubic);
  deltas.values[1] = bjontegaardQuality(reference, test, Interpolation::PiecewiseCubic);
  deltas.values[2] = bjontegaardRate(reference, test, Interpolation::CubicFit);
  deltas.values[3] = bjontegaardQuality(reference, test, Interpolation::CubicFit);
  // Both deltas fail for the same reasons but for the overlap, which differs by axis.
  deltas.reason = deltas.values[0].reason;
  if (deltas.reason.empty())
    deltas.reason = deltas.values[1].reason;
  else if (!deltas.values[1].reason.empty() && deltas.values[1].reason != deltas.reason)
    deltas.reason += "; " + deltas.values[1].reason;
  return deltas;
}

template <typename Value>
std::vector<Value> inOrderOfAppearance(const std::vector<RateDistortionRow>& rows,
                                       Value RateDistortionRow::*field) {
  std::vector<Value> values;
  for (const RateDistortionRow& row : rows)
    if (std::find(values.begin(), values.end(), row.*field) == values.end())
      values.push_back(row.*field);
  return values;
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
  const char* names[] = {"profile", "family", "bpp",          "d1_psnr",   "d2_psnr",
                         "y_psnr",  "item",   "geometry_bpp", "colour_bpp"};
  constexpr std::size_t kRequired = 6, kColumns = 9;
  std::size_t columns[kColumns];
  for (std::size_t i = 0; i < kColumns; ++i) {
    const auto found = std::find(header.begin(), header.end(), names[i]);
    if (found == header.end() && i < kRequired)
      return std::string("its header has no column '") + names[i] + "'";
    columns[i] = static_cast<std::size_t>(found - header.begin());
  }
  // A field of a missing optional column, or past a short record's end, reads as empty.
  const auto field = [&columns](const std::vector<std::string>& fields, std::size_t column) {
    return columns[column] < fields.size() ? fields[columns[column]] : std::string();
  };
  std::vector<std::string> fields;
  std::size_t record = 2;
  for (; readCsvRecord(csv, fields, problem); ++record) {
    if (fields.size() == 1 && fields[0].empty())
      continue;
    fields.resize(header.size());
    rows.push_back({field(fields, 0), field(fields, 1), numberOf(field(fields, 2)),
                    numberOf(field(fields, 3)), numberOf(field(fields, 4)),
                    numberOf(field(fields, 5)), field(fields, 6), numberOf(field(fields, 7)),
                    numberOf(field(fields, 8))});
  }
  if (!problem.empty())
    return "record " + std::to_string(record) + ": " + problem;
  return "";
}

namespace {

void writeItemTable(std::ostream& csv, const std::vector<RateDistortionRow>& rows,
                    const std::vector<std::string>& families, const std::string& anchor) {
  const std::vector<std::string> items = inOrderOfAppearance(rows, &RateDistortionRow::item);
  csv << "item,family,anchor,metric,rate_base,bd_rate_percent,bd_psnr_db,"
         "bd_rate_cubic_fit_percent,bd_psnr_cubic_fit_db,reason\n";
  const auto writeRow = [&](const std::string& item, const std::string& family,
                            const Metric& metric, const std::string& base, const Deltas& deltas) {
    csv << csvField(item) << ',' << csvField(family) << ',' << csvField(anchor) << ','
        << metric.name << ',' << base;
    for (const BjontegaardDelta& delta : deltas.values)
      csv << ',' << formatted(delta);
    csv << ',' << (deltas.reason.empty() ? "" : quoted(deltas.reason)) << '\n';
  };
  for (const std::string& family : families) {
    if (family == anchor)
      continue;
    for (const Metric& metric : kMetrics) {
      Deltas average;
      double sums[4] = {0, 0, 0, 0};
      std::size_t counted[4] = {0, 0, 0, 0};
      std::vector<std::string> bases, missing;
      for (const std::string& item : items) {
        const bool own = knowsRate(rows, item, anchor, family, metric.base);
        const auto rate = own ? metric.base : &RateDistortionRow::bpp;
        const Deltas deltas = deltasOf(curveOf(rows, anchor, metric.psnr, item, rate),
                                       curveOf(rows, family, metric.psnr, item, rate));
        const std::string base = own ? metric.baseName : "total";
        writeRow(item, family, metric, base, deltas);
        if (std::find(bases.begin(), bases.end(), base) == bases.end())
          bases.push_back(base);
        if (!deltas.values[0].value)
          missing.push_back(item);
        for (int i = 0; i < 4; ++i)
          if (deltas.values[i].value) {
            sums[i] += *deltas.values[i].value;
            ++counted[i];
          }
      }
      for (int i = 0; i < 4; ++i)
        if (counted[i] > 0)
          average.values[i].value = sums[i] / static_cast<double>(counted[i]);
      // An item without a delta (no colour, too few rate points) is named, not averaged in.
      if (!missing.empty()) {
        average.reason = "over " + std::to_string(items.size() - missing.size()) + " of " +
                         std::to_string(items.size()) + " items; none for";
        for (const std::string& item : missing)
          average.reason += " " + item;
      }
      writeRow("average", family, metric, bases.size() == 1 ? bases[0] : "mixed", average);
    }
  }
}

} // namespace

std::string writeBjontegaardTable(std::ostream& csv, const std::vector<RateDistortionRow>& rows,
                                  const std::string& anchor) {
  const std::vector<std::string> families = inOrderOfAppearance(rows, &RateDistortionRow::family);
  if (std::find(families.begin(), families.end(), anchor) == families.end())
    return "the anchor family '" + anchor + "' has no profile in the table";
  const bool items = std::any_of(rows.begin(), rows.end(),
                                 [](const RateDistortionRow& row) { return !row.item.empty(); });
  if (items) {
    writeItemTable(csv, rows, families, anchor);
    return "";
  }
  csv << "family,anchor,metric,bd_rate_percent,bd_psnr_db,bd_rate_cubic_fit_percent,"
         "bd_psnr_cubic_fit_db,reason\n";
  for (const std::string& family : families) {
    if (family == anchor)
      continue;
    for (const Metric& metric : kMetrics) {
      const Deltas deltas =
          deltasOf(curveOf(rows, anchor, metric.psnr), curveOf(rows, family, metric.psnr));
      csv << csvField(family) << "," << csvField(anchor) << "," << metric.name;
      for (const BjontegaardDelta& delta : deltas.values)
        csv << ',' << formatted(delta);
      csv << "," << (deltas.reason.empty() ? "" : quoted(deltas.reason)) << "\n";
    }
  }
  return "";
}
