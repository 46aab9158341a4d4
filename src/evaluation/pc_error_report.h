#pragma once

#include "metrics/codec_metrics.h"

#include <ostream>
#include <string>
#include <vector>

// What a pc_error run was asked for, as its command line gives it.
struct PcErrorRun {
  std::string fileA;
  std::string fileB;
  std::string normals;
  bool singlePass = false;
  bool hausdorff = false;
  bool color = false;
  bool lidar = false;
  double resolution = 0.0;
  int dropDuplicates = 2;
  int neighborsProc = 1;
  bool averageNormals = true;
  int mseSpace = 1;
  unsigned threads = 1;
};

// The metric options that the run asks for.
MetricOptions metricOptionsOf(const PcErrorRun& run);

// The lines pc_error 0.14.1 prints before it reads the clouds: its version and its settings.
void writePcErrorSettings(std::ostream& out, const PcErrorRun& run);

// The lines pc_error prints once a cloud is read: its last point, and how many duplicate points
// were averaged (--dropdups=2) or dropped (1), when there were any.
void writePcErrorLoading(std::ostream& out, const float* lastPoint, std::size_t points,
                         std::size_t uniquePoints, const char* done, int dropDuplicates);

// pc_error's report of a measured pair, from the peak on: the peak, the sizes, then the blocks
// "1. Use infile1 (A) ...", "2. Use infile2 (B) ..." and "3. Final (symmetric)." with the lines
// that its options ask for, labels, spacing and order included. Values are printed with 9
// significant digits, as pc_error prints them.
void writePcErrorReport(std::ostream& out, const PcErrorRun& run, const PairMetrics& metrics,
                        double peak, bool colorsCompared);

// One value of the report under its JSON name; it does not apply where the run's options or
// the clouds leave it out (no D2 without normals, no colour without colours on both sides).
struct PcErrorValue {
  std::string name;
  double value = 0.0;
  bool applies = true;
};

// Every value of the report, in the order of its JSON object (writePcErrorJson).
std::vector<PcErrorValue> pcErrorValues(const PcErrorRun& run, const PairMetrics& metrics,
                                        double peak, bool colorsCompared);

// Every value of the report as one JSON object, under metrics.csv's column names where it has
// them (distances as metrics.csv gives them: Hausdorff distances are not squared there and here),
// with "_ab" and "_ba" for the two directions; the peak, the point counts before and after
// merging, the options and the version. A value that does not apply is null.
void writePcErrorJson(std::ostream& out, const PcErrorRun& run, const PairMetrics& metrics,
                      double peak, bool colorsCompared);
