#include "evaluation/pc_error_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {

// pc_error's PSNR: 10 log10(factor peak^2 / mse), as it divides, inf for an error of 0.
double psnrOf(double mse, double peak, double factor = 1.0) {
  return 10.0 * std::log10(factor * peak * peak / mse);
}

double valueOr(std::optional<double> value) {
  return value.value_or(std::numeric_limits<double>::quiet_NaN());
}

// One direction's values, or the symmetric ones, as pc_error's qMetric holds them.
struct Values {
  double pointMse = 0.0, pointPsnr = 0.0, planeMse = 0.0, planePsnr = 0.0;
  double pointHausdorff = 0.0, pointHausdorffPsnr = 0.0;
  double planeHausdorff = 0.0, planeHausdorffPsnr = 0.0;
  std::array<double, 3> colorMse{}, colorPsnr{}, rgbHausdorff{}, rgbHausdorffPsnr{};
  double reflectanceMse = 0.0, reflectancePsnr = 0.0;
  double reflectanceHausdorff = 0.0, reflectanceHausdorffPsnr = 0.0;
};

// The peak of the reflectance's PSNR: its largest value.
constexpr double kReflectancePeak = 65535.0;

Values valuesOf(const DirectionSums& sums, double peak, int mseSpace) {
  const std::array<double, 3> colorPeak = colorPeaks(static_cast<ColorSpace>(mseSpace));
  Values v;
  v.pointMse = valueOr(meanSquaredDistance(sums));
  v.planeMse = valueOr(meanSquaredPlaneDistance(sums));
  v.pointPsnr = psnrOf(v.pointMse, peak, 3.0);
  v.planePsnr = psnrOf(v.planeMse, peak, 3.0);
  v.pointHausdorff = sums.largestSquaredDistance;
  v.planeHausdorff = sums.largestSquaredPlaneDistance;
  v.pointHausdorffPsnr = psnrOf(v.pointHausdorff, peak, 3.0);
  v.planeHausdorffPsnr = psnrOf(v.planeHausdorff, peak, 3.0);
  for (int c = 0; c < 3; ++c) {
    const auto channel = static_cast<std::size_t>(c);
    v.colorMse[channel] = valueOr(meanSquaredColorDifference(sums, c));
    v.colorPsnr[channel] = psnrOf(v.colorMse[channel], colorPeak[channel]);
    v.rgbHausdorff[channel] = sums.largestSquaredRgbDifferences[channel];
    v.rgbHausdorffPsnr[channel] = psnrOf(v.rgbHausdorff[channel], 255.0);
  }
  // pc_error starts the largest difference at the smallest double, so that a lossless pair's is
  // 2.2e-308 with a PSNR of 3173 dB; here it is 0, with an infinite PSNR.
  v.reflectanceMse = valueOr(meanSquaredReflectanceDifference(sums));
  v.reflectancePsnr = psnrOf(v.reflectanceMse, kReflectancePeak);
  v.reflectanceHausdorff = sums.largestSquaredReflectanceDifference;
  v.reflectanceHausdorffPsnr = psnrOf(v.reflectanceHausdorff, kReflectancePeak);
  return v;
}

// The larger error and the smaller PSNR of the two directions.
Values symmetricOf(const Values& a, const Values& b) {
  Values v;
  v.pointMse = std::max(a.pointMse, b.pointMse);
  v.planeMse = std::max(a.planeMse, b.planeMse);
  v.pointPsnr = std::min(a.pointPsnr, b.pointPsnr);
  v.planePsnr = std::min(a.planePsnr, b.planePsnr);
  v.pointHausdorff = std::max(a.pointHausdorff, b.pointHausdorff);
  v.planeHausdorff = std::max(a.planeHausdorff, b.planeHausdorff);
  v.pointHausdorffPsnr = std::min(a.pointHausdorffPsnr, b.pointHausdorffPsnr);
  v.planeHausdorffPsnr = std::min(a.planeHausdorffPsnr, b.planeHausdorffPsnr);
  for (std::size_t c = 0; c < 3; ++c) {
    v.colorMse[c] = std::max(a.colorMse[c], b.colorMse[c]);
    v.colorPsnr[c] = std::min(a.colorPsnr[c], b.colorPsnr[c]);
    v.rgbHausdorff[c] = std::max(a.rgbHausdorff[c], b.rgbHausdorff[c]);
    v.rgbHausdorffPsnr[c] = std::min(a.rgbHausdorffPsnr[c], b.rgbHausdorffPsnr[c]);
  }
  v.reflectanceMse = std::max(a.reflectanceMse, b.reflectanceMse);
  v.reflectancePsnr = std::min(a.reflectancePsnr, b.reflectancePsnr);
  v.reflectanceHausdorff = std::max(a.reflectanceHausdorff, b.reflectanceHausdorff);
  v.reflectanceHausdorffPsnr = std::min(a.reflectanceHausdorffPsnr, b.reflectanceHausdorffPsnr);
  return v;
}

// Reflectance was asked for and both clouds have it.
bool reflectanceCompared(const PcErrorRun& run, const PairMetrics& metrics) {
  return run.lidar && metrics.originalToDecoded.reflectancePoints > 0;
}

// One block of values; tag is "1", "2" or "F", wide is the label's column in the symmetric
// block ("mseF", "h.  ").
void writeBlock(std::ostream& out, const PcErrorRun& run, const Values& v, const std::string& tag,
                bool planes, bool colors, bool reflectance) {
  const bool final = tag == "F";
  out << "   mse" << tag << "      (p2point): " << v.pointMse << "\n";
  out << "   mse" << tag << ",PSNR (p2point): " << v.pointPsnr << "\n";
  if (planes) {
    out << "   mse" << tag << "      (p2plane): " << v.planeMse << "\n";
    out << "   mse" << tag << ",PSNR (p2plane): " << v.planePsnr << "\n";
  }
  if (run.hausdorff) {
    const std::string place = final ? " " : tag;
    out << "   h.       " << place << "(p2point): " << v.pointHausdorff << "\n";
    out << "   h.,PSNR  " << place << "(p2point): " << v.pointHausdorffPsnr << "\n";
    if (planes) {
      out << "   h.       " << place << "(p2plane): " << v.planeHausdorff << "\n";
      out << "   h.,PSNR  " << place << "(p2plane): " << v.planeHausdorffPsnr << "\n";
    }
  }
  if (colors) {
    for (std::size_t c = 0; c < 3; ++c)
      out << "   c[" << c << "],    " << tag << "         : " << v.colorMse[c] << "\n";
    for (std::size_t c = 0; c < 3; ++c)
      out << "   c[" << c << "],PSNR" << tag << "         : " << v.colorPsnr[c] << "\n";
    if (run.hausdorff) {
      for (std::size_t c = 0; c < 3; ++c)
        out << " h.c[" << c << "],    " << tag << "         : " << v.rgbHausdorff[c] << "\n";
      for (std::size_t c = 0; c < 3; ++c)
        out << " h.c[" << c << "],PSNR" << tag << "         : " << v.rgbHausdorffPsnr[c] << "\n";
    }
  }
  if (reflectance) {
    out << "   r,       " << tag << "         : " << v.reflectanceMse << "\n";
    out << "   r,PSNR   " << tag << "         : " << v.reflectancePsnr << "\n";
    if (run.hausdorff) {
      out << " h.r,       " << tag << "         : " << v.reflectanceHausdorff << "\n";
      out << " h.r,PSNR   " << tag << "         : " << v.reflectanceHausdorffPsnr << "\n";
    }
  }
}

} // namespace

MetricOptions metricOptionsOf(const PcErrorRun& run) {
  MetricOptions options;
  options.colorSpace = static_cast<ColorSpace>(run.mseSpace);
  options.tiedColors = static_cast<TiedColors>(run.neighborsProc);
  options.averageNormals = run.averageNormals;
  options.averageDuplicates = run.dropDuplicates == 2;
  options.keepDuplicates = run.dropDuplicates == 0;
  options.reflectance = run.lidar;
  return options;
}

void writePcErrorSettings(std::ostream& out, const PcErrorRun& run) {
  out << "PCC quality measurement software, version 0.14.1\n\n";
  out << "infile1:        " << run.fileA << "\n";
  out << "infile2:        " << run.fileB << "\n";
  out << "normal1:        " << run.normals << "\n";
  out << "singlePass:     " << run.singlePass << "\n";
  out << "hausdorff:      " << run.hausdorff << "\n";
  out << "color:          " << run.color << "\n";
  out << "lidar:          " << run.lidar << "\n";
  out << "resolution:     " << run.resolution << "\n";
  out << "dropDuplicates: " << run.dropDuplicates << "\n";
  out << "neighborsProc:  " << run.neighborsProc << "\n";
  out << "averageNormals: " << run.averageNormals << "\n";
  out << "mseSpace:       " << run.mseSpace << "\n";
  out << "nbThreads:      " << run.threads << "\n";
  if (run.singlePass)
    out << "force running a single pass\n";
  out << "\n";
}

void writePcErrorLoading(std::ostream& out, const float* lastPoint, std::size_t points,
                         std::size_t uniquePoints, const char* done, int dropDuplicates) {
  if (lastPoint != nullptr)
    out << "Verifying if the data is loaded correctly.. The last point is: " << lastPoint[0] << " "
        << lastPoint[1] << " " << lastPoint[2] << "\n";
  if (uniquePoints < points)
    out << "WARNING: " << points - uniquePoints << " points with same coordinates found and "
        << (dropDuplicates == 1 ? "dropped" : "averaged") << "\n";
  out << done << "\n";
}

void writePcErrorReport(std::ostream& out, const PcErrorRun& run, const PairMetrics& metrics,
                        double peak, bool colorsCompared) {
  if (run.resolution != 0.0)
    out << "Imported intrinsic resoluiton: " << run.resolution << "\n";
  else
    out << "Minimum and maximum NN distances (intrinsic resolutions): "
        << valueOr(metrics.smallestNearestNeighbourDistance) << ", "
        << valueOr(metrics.largestNearestNeighbourDistance) << "\n";
  out << "Peak distance for PSNR: " << peak << "\n";
  out << "Point cloud sizes for org version, dec version, and the scaling ratio: "
      << metrics.originalUniquePoints << ", " << metrics.decodedUniquePoints << ", "
      << static_cast<float>(metrics.decodedUniquePoints) /
             static_cast<float>(metrics.originalUniquePoints)
      << "\n";
  if (metrics.planes)
    out << "Calculate D2 with normal calculated from cloudA.\n";
  out << "Normals prepared.\n\n";
  const bool colors = run.color && colorsCompared;
  if (run.color && !colorsCompared)
    out << "WARNING: no color properties in input files, disabling color metrics.\n";
  const bool reflectance = reflectanceCompared(run, metrics);
  if (run.lidar && !reflectance)
    out << "WARNING: no reflectance property in input files, disabling reflectance metrics.\n";
  if (reflectance && run.neighborsProc != 0)
    out << "WARNING: reflectance metrics are computed without neighborsProc parameter.\n";
  const Values a = valuesOf(metrics.originalToDecoded, peak, run.mseSpace);
  out << "1. Use infile1 (A) as reference, loop over A, use normals on B. (A->B).\n";
  writeBlock(out, run, a, "1", metrics.planes, colors, reflectance);
  if (run.singlePass)
    return;
  const Values b = valuesOf(metrics.decodedToOriginal, peak, run.mseSpace);
  out << "2. Use infile2 (B) as reference, loop over B, use normals on A. (B->A).\n";
  writeBlock(out, run, b, "2", metrics.planes, colors, reflectance);
  out << "3. Final (symmetric).\n";
  writeBlock(out, run, symmetricOf(a, b), "F", metrics.planes, colors, reflectance);
}

namespace {

// A JSON number with every digit a double holds; null for none, NaN or infinity (which JSON
// cannot hold; the PSNR of a lossless pair is infinite, and its MSE of 0 says so).
std::string jsonNumber(double value) {
  if (!std::isfinite(value))
    return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string jsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

} // namespace

std::vector<PcErrorValue> pcErrorValues(const PcErrorRun& run, const PairMetrics& metrics,
                                        double peak, bool colorsCompared) {
  const Values a = valuesOf(metrics.originalToDecoded, peak, run.mseSpace);
  const Values b = valuesOf(metrics.decodedToOriginal, peak, run.mseSpace);
  const Values f = symmetricOf(a, b);
  const bool both = !run.singlePass;
  const bool colors = run.color && colorsCompared;
  std::vector<PcErrorValue> values;
  const auto add = [&](const std::string& name, double value, bool applies = true) {
    values.push_back({name, value, applies});
  };
  add("peak", peak);
  add("original_points", static_cast<double>(metrics.originalPoints));
  add("decoded_points", static_cast<double>(metrics.decodedPoints));
  add("original_unique_points", static_cast<double>(metrics.originalUniquePoints));
  add("decoded_unique_points", static_cast<double>(metrics.decodedUniquePoints));
  add("d1_mse_ab", a.pointMse);
  add("d1_mse_ba", b.pointMse, both);
  add("d1_mse", f.pointMse, both);
  add("d1_psnr_ab", a.pointPsnr);
  add("d1_psnr_ba", b.pointPsnr, both);
  add("d1_psnr", f.pointPsnr, both);
  add("hausdorff_ab", std::sqrt(a.pointHausdorff), run.hausdorff);
  add("hausdorff_ba", std::sqrt(b.pointHausdorff), run.hausdorff && both);
  add("hausdorff", std::sqrt(f.pointHausdorff), run.hausdorff && both);
  add("hausdorff_psnr", f.pointHausdorffPsnr, run.hausdorff && both);
  add("d2_mse_ab", a.planeMse, metrics.planes);
  add("d2_mse_ba", b.planeMse, metrics.planes && both);
  add("d2_mse", f.planeMse, metrics.planes && both);
  add("d2_psnr_ab", a.planePsnr, metrics.planes);
  add("d2_psnr_ba", b.planePsnr, metrics.planes && both);
  add("d2_psnr", f.planePsnr, metrics.planes && both);
  add("d2_hausdorff", std::sqrt(f.planeHausdorff), metrics.planes && run.hausdorff && both);
  add("d2_hausdorff_psnr", f.planeHausdorffPsnr, metrics.planes && run.hausdorff && both);
  const char* channels[3] = {"y", "cb", "cr"};
  for (std::size_t c = 0; c < 3; ++c) {
    const std::string name = channels[c];
    add(name + "_mse_ab", a.colorMse[c], colors);
    add(name + "_mse_ba", b.colorMse[c], colors && both);
    add(name + "_mse", f.colorMse[c], colors && both);
    add(name + "_psnr_ab", a.colorPsnr[c], colors);
    add(name + "_psnr_ba", b.colorPsnr[c], colors && both);
    add(name + "_psnr", f.colorPsnr[c], colors && both);
  }
  const char* rgb[3] = {"red", "green", "blue"};
  for (std::size_t c = 0; c < 3; ++c) {
    const std::string name = std::string(rgb[c]) + "_hausdorff";
    add(name, std::sqrt(f.rgbHausdorff[c]), colors && run.hausdorff && both);
    add(name + "_psnr", f.rgbHausdorffPsnr[c], colors && run.hausdorff && both);
  }
  const bool reflectance = reflectanceCompared(run, metrics);
  add("reflectance_mse_ab", a.reflectanceMse, reflectance);
  add("reflectance_mse_ba", b.reflectanceMse, reflectance && both);
  add("reflectance_mse", f.reflectanceMse, reflectance && both);
  add("reflectance_psnr_ab", a.reflectancePsnr, reflectance);
  add("reflectance_psnr_ba", b.reflectancePsnr, reflectance && both);
  add("reflectance_psnr", f.reflectancePsnr, reflectance && both);
  add("reflectance_hausdorff", std::sqrt(f.reflectanceHausdorff),
      reflectance && run.hausdorff && both);
  add("reflectance_hausdorff_psnr", f.reflectanceHausdorffPsnr,
      reflectance && run.hausdorff && both);
  return values;
}

void writePcErrorJson(std::ostream& out, const PcErrorRun& run, const PairMetrics& metrics,
                      double peak, bool colorsCompared) {
  out << "{\n  \"version\": \"quorvane-metrics (pc_error 0.14.1)\",\n  \"options\": {"
      << "\"fileA\": " << jsonString(run.fileA) << ", \"fileB\": " << jsonString(run.fileB)
      << ", \"inputNorm\": " << jsonString(run.normals) << ", \"singlePass\": " << run.singlePass
      << ", \"hausdorff\": " << run.hausdorff << ", \"color\": " << run.color
      << ", \"lidar\": " << run.lidar << ", \"resolution\": " << jsonNumber(run.resolution)
      << ", \"dropdups\": " << run.dropDuplicates << ", \"neighborsProc\": " << run.neighborsProc
      << ", \"averageNormals\": " << run.averageNormals << ", \"mseSpace\": " << run.mseSpace
      << ", \"nbThreads\": " << run.threads << "}";
  for (const PcErrorValue& value : pcErrorValues(run, metrics, peak, colorsCompared))
    out << ",\n  \"" << value.name << "\": " << (value.applies ? jsonNumber(value.value) : "null");
  out << "\n}\n";
}
