#include "bd/bd_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

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

// Two sequences compared the CTC way: the test family needs 10 % fewer geometry bits than the
// anchor on one and 30 % fewer on the other (PSNR = 30 + 3 log2(geometry bpp)), and 20 % fewer
// colour bits on both (Y = 20 + 2 log2(colour bpp)). Each item's D1 is taken against its
// geometry bits and Y against its colour bits; the average row is the mean of the items'.
// Without geometry bits on every point of an item's curves, its D1 falls back to all bits.
TEST(BjontegaardTable, ComparesEachItemOnItsOwnRateAndAveragesThem) {
  std::ostringstream text;
  text << "profile,item,bpp,geometry_bpp,colour_bpp,d1_psnr,d2_psnr,y_psnr,family\n";
  for (const auto& [item, saving] : {std::pair<const char*, double>{"s1", 0.9}, {"s2", 0.7}})
    for (int i = 0; i < 4; ++i)
      for (const auto& [family, scale] :
           {std::pair<const char*, double>{"anchor", 1.0}, {"test", 1.0}}) {
        const double geometry = (1 << i) * (family == std::string("test") ? saving : scale);
        const double colour = (1 << i) * (family == std::string("test") ? 0.8 : 1.0);
        text << family << i << ',' << item << ',' << geometry + colour << ',' << geometry << ','
             << colour << ',' << 30 + 3 * i << ",," << 20 + 2 * i << ',' << family << '\n';
      }
  std::istringstream rd(text.str());
  std::vector<RateDistortionRow> rows;
  ASSERT_EQ(readRateDistortion(rd, rows), "");
  std::ostringstream csv;
  ASSERT_EQ(writeBjontegaardTable(csv, rows, "anchor"), "");
  const std::string none = ",,,,,\"the anchor has 0 rate points with a positive rate and a "
                           "finite PSNR; at least 4 are needed\"\n";
  EXPECT_EQ(csv.str(),
            "item,family,anchor,metric,rate_base,bd_rate_percent,bd_psnr_db,"
            "bd_rate_cubic_fit_percent,bd_psnr_cubic_fit_db,reason\n"
            "s1,test,anchor,d1_psnr,geometry,-10.000000,0.456009,-10.000000,0.456009,\n"
            "s2,test,anchor,d1_psnr,geometry,-30.000000,1.543720,-30.000000,1.543720,\n"
            "average,test,anchor,d1_psnr,geometry,-20.000000,0.999864,-20.000000,0.999864,\n"
            "s1,test,anchor,d2_psnr,geometry" +
                none + "s2,test,anchor,d2_psnr,geometry" + none +
                "average,test,anchor,d2_psnr,geometry,,,,,\"over 0 of 2 items; none for s1 s2\"\n"
                "s1,test,anchor,y_psnr,colour,-20.000000,0.643856,-20.000000,0.643856,\n"
                "s2,test,anchor,y_psnr,colour,-20.000000,0.643856,-20.000000,0.643856,\n"
                "average,test,anchor,y_psnr,colour,-20.000000,0.643856,-20.000000,0.643856,\n");
  rows[0].geometryBpp = std::nan("");
  std::ostringstream total;
  ASSERT_EQ(writeBjontegaardTable(total, rows, "anchor"), "");
  EXPECT_NE(total.str().find("\ns1,test,anchor,d1_psnr,total,"), std::string::npos) << total.str();
  EXPECT_NE(total.str().find("\naverage,test,anchor,d1_psnr,mixed,"), std::string::npos);
  // An item without Y (a cloud without colour) is left out of the average, and named.
  for (RateDistortionRow& row : rows)
    if (row.item == "s2")
      row.yPsnr = std::nan("");
  std::ostringstream partial;
  ASSERT_EQ(writeBjontegaardTable(partial, rows, "anchor"), "");
  EXPECT_NE(partial.str().find("\naverage,test,anchor,y_psnr,colour,-20.000000,0.643856,-20.000000,"
                               "0.643856,\"over 1 of 2 items; none for s2\"\n"),
            std::string::npos)
      << partial.str();
}
