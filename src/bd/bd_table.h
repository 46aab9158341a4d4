#pragma once

// bd: Bjøntegaard deltas of rate-distortion curves, from rd.csv to bd.csv.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// One row of a sweep's rd.csv: a profile's rate and PSNRs, pooled over the dataset or of one
// item (a sequence or a cloud). A PSNR that is empty, "inf" or not a number is kept as NaN or
// infinity and counts as no rate point.
struct RateDistortionRow {
  std::string profile;
  std::string family;
  double bpp;
  double d1Psnr;
  double d2Psnr;
  double yPsnr;
  // The item; empty in a pooled table.
  std::string item;
  // The bits per point of geometry and of colour; NaN where unknown.
  double geometryBpp;
  double colorBpp;
};

// The rows of an rd.csv, found by the names in its header (profile, family, bpp, d1_psnr,
// d2_psnr, y_psnr; item, geometry_bpp and colour_bpp when present; other columns are ignored);
// the reason when a column is missing.
std::string readRateDistortion(std::istream& csv, std::vector<RateDistortionRow>& rows);

// bd.csv: for each family other than the anchor, in the order of first appearance, and for D1,
// D2 and Y PSNR, the Bjøntegaard deltas against the anchor family, with the piecewise cubic
// interpolation and with the classic cubic fit, or the reason there are none. The reason
// when the anchor is not one of the families.
// A table of items is compared as common test conditions compare: each item's curves on their
// own (a row per item, family and metric), the rate of D1 and D2 in geometry bits and of Y in
// colour bits where every point of both curves knows it, in all bits otherwise (rate_base
// says which), then a row "average" per family and metric with the mean of the items' deltas;
// its reason names the items without one (no colour, too few rate points), which it leaves out.
std::string writeBjontegaardTable(std::ostream& csv, const std::vector<RateDistortionRow>& rows,
                                  const std::string& anchor);
