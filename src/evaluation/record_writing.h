#pragma once

// evaluation: a run of quorvane-eval, from ordered comparisons to errors.csv and metrics.csv.

#include "dataset/compressed_parts.h"
#include "dataset/dataset_layout.h"
#include "evaluation/metrics_report.h"
#include "evaluation/sequence_report.h"
#include "metrics/cloud_comparison.h"

#include <optional>
#include <ostream>

// Where one original's record goes: the console log, errors.csv and, when the metrics are
// asked for, metrics.csv with the dataset's totals and the sequences' sums.
struct RecordOutputs {
  std::ostream& console;
  std::ostream& report;
  std::ostream* metrics = nullptr;
  PeakOverride peak;
  MetricsTotals totals;
  // The compressed files' geometry and colour bytes, as the dataset's builder counted them.
  CompressedPartsTable parts;
  SequenceTotals sequences;
};

// Writes one original's console record, report row and metrics row, and adds the pair to the
// totals. comparison is none for a pair without a decoded cloud. Returns false when the pair
// could not be measured or a file size could not be read; each problem is named on stderr.
bool writeRecord(RecordOutputs& outputs, const Pair& pair,
                 const std::optional<CloudComparison>& comparison);
