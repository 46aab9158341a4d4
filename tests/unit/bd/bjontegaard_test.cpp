#include "bd/bd_table.h"
#include "bd/bjontegaard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

// An irregular anchor: uneven steps in rate and in PSNR, bending more at the top.
const std::vector<RatePoint> kAnchor = {
    {0.21, 31.2}, {0.47, 35.9}, {1.3, 40.1}, {2.2, 42.0}, {5.9, 46.7}};

std::vector<RatePoint> transformed(const std::vector<RatePoint>& curve, double rateFactor,
                                   double psnrShift) {
  std::vector<RatePoint> result;
  for (const RatePoint& point : curve)
    result.push_back({point.rate * rateFactor, point.quality + psnrShift});
  return result;
}

} // namespace

TEST(Bjontegaard, ScaledAndShiftedCurvesGiveTheirExactDeltas) {
  for (Interpolation interpolation : {Interpolation::PiecewiseCubic, Interpolation::CubicFit}) {
    // 10 % fewer bits at every PSNR, on either side of the anchor.
    const BjontegaardDelta fewer =
        bjontegaardRate(kAnchor, transformed(kAnchor, 0.9, 0.0), interpolation);
    ASSERT_TRUE(fewer.value) << fewer.reason;
    EXPECT_NEAR(*fewer.value, -10.0, 1e-9);
    EXPECT_NEAR(*bjontegaardRate(transformed(kAnchor, 0.9, 0.0), kAnchor, interpolation).value,
                100.0 / 9.0, 1e-9);
    // 1 dB better at every rate.
    const BjontegaardDelta better =
        bjontegaardQuality(kAnchor, transformed(kAnchor, 1.0, 1.0), interpolation);
    ASSERT_TRUE(better.value) << better.reason;
    EXPECT_NEAR(*better.value, 1.0, 1e-9);
    EXPECT_NEAR(*bjontegaardRate(kAnchor, kAnchor, interpolation).value, 0.0, 1e-12);
  }
}

TEST(Bjontegaard, RefusesTooFewPointsRepeatsAndCurvesThatDoNotMeet) {
  const double infinity = std::numeric_limits<double>::infinity();
  std::vector<RatePoint> three = {{1, 30}, {2, 33}, {4, 36}};
  // A lossless point has an infinite PSNR and is no rate point; nor is a rate of 0.
  std::vector<RatePoint> withLossless = three;
  withLossless.push_back({9, infinity});
  withLossless.push_back({0, 40});
  for (const auto& curve : {three, withLossless}) {
    const BjontegaardDelta delta = bjontegaardRate(kAnchor, curve, Interpolation::PiecewiseCubic);
    EXPECT_FALSE(delta.value);
    EXPECT_EQ(delta.reason, "the test curve has 3 rate points with a positive rate and a finite "
                            "PSNR; at least 4 are needed");
  }
  std::vector<RatePoint> four = three;
  four.push_back({8, 39});
  EXPECT_TRUE(bjontegaardRate(kAnchor, four, Interpolation::PiecewiseCubic).value);
  four.push_back({16, 39});
  EXPECT_EQ(bjontegaardRate(kAnchor, four, Interpolation::PiecewiseCubic).reason,
            "two rate points of the test curve have the same PSNR, 39 dB");
  const BjontegaardDelta apart =
      bjontegaardRate(kAnchor, transformed(kAnchor, 1.0, 20.0), Interpolation::CubicFit);
  EXPECT_FALSE(apart.value);
  EXPECT_EQ(apart.reason, "the curves do not overlap in PSNR: the anchor spans 31.2 to 46.7 dB, "
                          "the test curve 51.2 to 66.7 dB");
}

TEST(BjontegaardTable, ComparesEveryOtherFamilyOnEachMetric) {
  std::istringstream rd("profile,bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,family\n"
                        "a1,1,30,35,20,0.1,anchor\na2,2,33,38,24,0.1,anchor\n"
                        "a3,4,36,41,27,0.1,anchor\na4,8,39,44,29,0.1,anchor\n"
                        "b1,0.9,30,35,,0.1,test\nb2,1.8,33,38,,0.1,test\n"
                        "b3,3.6,36,41,,0.1,test\nb4,7.2,39,44,,0.1,test\n");
  std::vector<RateDistortionRow> rows;
  ASSERT_EQ(readRateDistortion(rd, rows), "");
  // PSNR = 30 + 3 log2(rate) on the anchor and 30 + 3 log2(rate / 0.9) on the test curve:
  // straight in log rate, so both interpolations give 10 % fewer bits, and 3 log2(1 / 0.9) =
  // 0.456009 dB more. The test curve has no Y PSNR.
  std::ostringstream csv;
  ASSERT_EQ(writeBjontegaardTable(csv, rows, "anchor"), "");
  EXPECT_EQ(csv.str(),
            "family,anchor,metric,bd_rate_percent,bd_psnr_db,bd_rate_cubic_fit_percent,"
            "bd_psnr_cubic_fit_db,reason\n"
            "test,anchor,d1_psnr,-10.000000,0.456009,-10.000000,0.456009,\n"
            "test,anchor,d2_psnr,-10.000000,0.456009,-10.000000,0.456009,\n"
            "test,anchor,y_psnr,,,,,\"the test curve has 0 rate points with a positive rate "
            "and a finite PSNR; at least 4 are needed\"\n");
  EXPECT_EQ(writeBjontegaardTable(csv, rows, "nothing"),
            "the anchor family 'nothing' has no profile in the table");
}

// rd.csv as RFC 4180 writes it, with CRLF line ends as a spreadsheet saves it: a family with a
// comma and a quote is one field, and bd.csv quotes it again.
TEST(BjontegaardTable, ReadsQuotedFieldsAndCrlfAndQuotesItsOwn) {
  const std::string lf = "profile,family,bpp,d1_psnr,d2_psnr,y_psnr\n"
                         "a1,anchor,1,30,35,20\na2,anchor,2,33,38,24\n"
                         "a3,anchor,4,36,41,27\na4,anchor,8,39,44,29\n"
                         "b1,\"draco, \"\"speed\"\" 0\",0.9,30,35,20\n"
                         "b2,\"draco, \"\"speed\"\" 0\",1.8,33,38,24\n"
                         "b3,\"draco, \"\"speed\"\" 0\",3.6,36,41,27\n"
                         "\"b4\",\"draco, \"\"speed\"\" 0\",7.2,39,44,29\n";
  std::string crlf;
  for (char c : lf)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string tables[2];
  for (int i = 0; i < 2; ++i) {
    std::istringstream rd(i == 0 ? lf : crlf);
    std::vector<RateDistortionRow> rows;
    ASSERT_EQ(readRateDistortion(rd, rows), "");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[4].family, "draco, \"speed\" 0");
    EXPECT_EQ(rows[7].profile, "b4");
    EXPECT_EQ(rows[7].yPsnr, 29.0);
    std::ostringstream csv;
    ASSERT_EQ(writeBjontegaardTable(csv, rows, "anchor"), "");
    tables[i] = csv.str();
  }
  EXPECT_EQ(tables[0], tables[1]);
  EXPECT_NE(tables[0].find("\n\"draco, \"\"speed\"\" 0\",anchor,d1_psnr,-10.000000,"),
            std::string::npos)
      << tables[0];
  std::vector<RateDistortionRow> rows;
  std::istringstream open("profile,family,bpp,d1_psnr,d2_psnr,y_psnr\r\na1,\"anchor,1,30,35,20\n");
  EXPECT_EQ(readRateDistortion(open, rows), "record 2: a quoted field is never closed");
  std::istringstream trailing("profile,family,bpp,d1_psnr,d2_psnr,y_psnr\na1,\"x\"y,1,30,35,20\n");
  EXPECT_EQ(readRateDistortion(trailing, rows),
            "record 2: a quoted field is followed by more than a comma");
}
