#pragma once

// bd: Bjøntegaard deltas of rate-distortion curves, from rd.csv to bd.csv.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// One row of a sweep's rd.csv: a profile's pooled rate and PSNRs. A PSNR that is empty, "inf"
// or not a number is kept as NaN or infinity and counts as no rate point.
struct RateDistortionRow {
  std::string profile;
  std::string family;
  double bpp;
  double d1Psnr;
  double d2Psnr;
  double yPsnr;
};

// The rows of an rd.csv, found by the names in its header (profile, family, bpp, d1_psnr,
// d2_psnr, y_psnr; other columns are ignored); the reason when a column is missing.
std::string readRateDistortion(std::istream& csv, std::vector<RateDistortionRow>& rows);

// bd.csv: for each family other than the anchor, in the order of first appearance, and for D1,
// D2 and Y PSNR, the Bjøntegaard deltas against the anchor family, with the piecewise cubic
// interpolation and with the classic cubic fit, or the reason there are none. The reason
// when the anchor is not one of the families.
std::string writeBjontegaardTable(std::ostream& csv, const std::vector<RateDistortionRow>& rows,
                                  const std::string& anchor);
