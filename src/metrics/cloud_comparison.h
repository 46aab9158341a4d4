#pragma once

// metrics: the report's error statistics and pc_error's codec metrics of a cloud pair.

#include "common/color_cloud.h"
#include "io/cloud_loading.h"
#include "metrics/codec_metrics.h"
#include "metrics/error_statistics.h"

#include <functional>
#include <optional>
#include <string>

// The measurement of one cloud pair and what the console is to show of it.
struct CloudComparison {
  CloudErrorStats stats;
  // Query points whose search found no neighbour; each gets a line on the console.
  std::size_t unmatchedPoints = 0;
  // Set when the pair could not be measured; the statistics are then NaN.
  std::optional<PairProblem> problem;
  // The sums behind the codec metrics, when they were asked for and the pair was measured.
  std::optional<PairMetrics> metrics;
};

// Scales a finite, non-zero normal to unit length, however long or short; others stay as they
// are.
void scaleToUnitLength(Eigen::Vector3f& normal);

// The four statistics of the nearest neighbour in reference of every query point, searched
// on up to `threads` threads; the sums are taken in storage order, so the numbers do not
// depend on the thread count.
CloudComparison compareClouds(const PointList& query, PointList reference, unsigned threads);

// Called from the comparing thread as a comparison enters each of its stages: its name
// ("loading", "merging", "searching", "measuring"), its number from 1 and how many there are.
using StageReport = std::function<void(const char* stage, int number, int stages)>;

// How the codec metrics are taken beyond pc_error's defaults.
struct MetricsSettings {
  // Normals that the original's file lacks are estimated (quorvane-eval); without, such a pair
  // has no D2, as pc_error without normals has none.
  bool estimateNormals = true;
  // Also find pc_error's peak for a run without a resolution.
  bool nearestNeighbourPeak = false;
  // pc_error's options other than its defaults.
  MetricOptions options;
  // Told of each stage; none when empty.
  StageReport stage;
};

// compareClouds of the original against the decoded cloud, with the codec metrics both ways
// from the same searches. Each direction projects its errors on the reference cloud's normals:
// the file's, or else estimated from its kNormalNeighbours nearest points. Colours are compared
// when both files have a colour field.
// The clouds are taken by value, so that a caller that moves them in lets each go as soon as
// the comparison is done with it.
CloudComparison compareCloudsWithMetrics(LoadedPoints original, LoadedPoints decoded,
                                         unsigned threads,
                                         const MetricsSettings& settings = MetricsSettings());

// Loads both clouds (loadPointPair) and compares the original against the decoded cloud, with the
// codec metrics when asked for. The first file that cannot be loaded, or a comparison that
// runs out of memory, gives NaN statistics and the problem. stage, when given, is told of each
// stage: loading and searching, or with the metrics loading, merging, searching and measuring.
CloudComparison loadAndCompare(const std::string& originalPath, const std::string& decodedPath,
                               unsigned threads, bool withMetrics = false,
                               const StageReport& stage = StageReport());
