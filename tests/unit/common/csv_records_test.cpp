#include "common/csv_records.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(csvField("a\nb.pcd"), "\"a\nb.pcd\"");
  EXPECT_EQ(csvField("a\rb.pcd"), "\"a\rb.pcd\"");
  EXPECT_EQ(csvField("a,\"b\".pcd"), "\"a,\"\"b\"\".pcd\"");
  EXPECT_EQ(csvField("a b.pcd"), "a b.pcd");
}

// What csvField writes, readCsvRecord reads back, record by record, with either line end.
TEST(ReadCsvRecord, ReadsBackWhatCsvFieldWrites) {
  const std::vector<std::vector<std::string>> records = {
      {"a\nb.pcd", "", "1"}, {"x,\"y\"", "\r\n"}, {""}, {"last"}};
  for (const char* end : {"\n", "\r\n"}) {
    std::string text;
    for (const auto& record : records) {
      for (std::size_t i = 0; i < record.size(); ++i)
        text += (i == 0 ? "" : ",") + csvField(record[i]);
      text += end;
    }
    std::istringstream csv(text);
    std::vector<std::string> fields;
    std::string problem;
    for (const auto& record : records) {
      ASSERT_TRUE(readCsvRecord(csv, fields, problem)) << problem;
      EXPECT_EQ(fields, record);
    }
    EXPECT_FALSE(readCsvRecord(csv, fields, problem));
    EXPECT_EQ(problem, "");
  }
}
