#include "io/detail/pcd_header.h"

#include "io/detail/text_tokens.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace {

// Generous bounds that no real scan reaches but that keep the reader's allocations sane.
constexpr std::size_t kMaxFields = 4096;
constexpr std::uint64_t kMaxFieldCount = 1 << 20;
constexpr std::uint64_t kMaxPoints = 0x7fffffff;

// Header keywords in the order the format requires.
enum Keyword {
  kVersion,
  kFields,
  kSize,
  kType,
  kCount,
  kWidth,
  kHeight,
  kViewpoint,
  kPoints,
  kData
};
const std::array<const char*, 10> kKeywordNames = {
    "VERSION", "FIELDS", "SIZE", "TYPE", "COUNT", "WIDTH", "HEIGHT", "VIEWPOINT", "POINTS", "DATA"};

int keywordOf(const std::string& token) {
  for (std::size_t i = 0; i < kKeywordNames.size(); ++i)
    if (token == kKeywordNames[i])
      return static_cast<int>(i);
  if (token == "COLUMNS")
    return kFields;
  return -1;
}

// Other control characters become part of an entry: a field named "rgba\v" maps to nothing.
bool hasControlCharacter(const std::string& line) {
  for (char c : line)
    if (std::strchr(kPcdSeparators, c) == nullptr && std::iscntrl(static_cast<unsigned char>(c)))
      return true;
  return false;
}

bool isDigits(const std::string& text, std::size_t from) {
  return from < text.size() &&
         std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Plain decimal digits only: the reader's stream extraction wraps signs and stops at junk.
bool parseUnsigned(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
  if (text.size() > 19 || !isDigits(text, 0))
    return false;
  value = 0;
  for (char c : text)
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  return value <= limit;
}

bool isKnownFieldType(char type, std::uint64_t size) {
  switch (type) {
  case 'I':
  case 'U':
    return size == 1 || size == 2 || size == 4 || size == 8;
  case 'F':
    return size == 4 || size == 8;
  default:
    return false;
  }
}

std::string checkEntryCount(const std::vector<std::string>& tokens, const PcdHeader& header) {
  if (tokens.size() - 1 != header.fields.size())
    return tokens[0] + " has " + std::to_string(tokens.size() - 1) + " entries for " +
           std::to_string(header.fields.size()) + " fields";
  return "";
}

std::string parseFieldNumbers(const std::vector<std::string>& tokens, std::uint64_t limit,
                              PcdHeader& header, std::uint64_t PcdField::*member) {
  std::string problem = checkEntryCount(tokens, header);
  for (std::size_t i = 1; i < tokens.size() && problem.empty(); ++i) {
    std::uint64_t value = 0;
    if (!parseUnsigned(tokens[i], limit, value) || value == 0)
      return tokens[0] + " entry '" + tokens[i] + "' is not a valid number";
    header.fields[i - 1].*member = value;
  }
  return problem;
}

std::string parseTypes(const std::vector<std::string>& tokens, PcdHeader& header) {
  std::string problem = checkEntryCount(tokens, header);
  for (std::size_t i = 1; i < tokens.size() && problem.empty(); ++i) {
    PcdField& field = header.fields[i - 1];
    const char type = tokens[i].size() == 1 ? tokens[i][0] : '?';
    if (!isKnownFieldType(type, field.size))
      return "TYPE entry '" + tokens[i] + "' does not fit SIZE " + std::to_string(field.size);
    field.type = type;
  }
  return problem;
}

std::string parseHeaderLine(const std::vector<std::string>& tokens, int keyword,
                            PcdHeader& header) {
  switch (keyword) {
  case kVersion:
    return "";
  case kViewpoint:
    if (tokens.size() != 8)
      return "VIEWPOINT holds " + std::to_string(tokens.size() - 1) + " numbers, not 7";
    for (std::size_t i = 1; i < tokens.size(); ++i)
      header.viewpoint += tokens[i] + " ";
    return "";
  case kFields:
    if (tokens.size() - 1 == 0 || tokens.size() - 1 > kMaxFields)
      return "FIELDS lists " + std::to_string(tokens.size() - 1) + " fields";
    for (std::size_t i = 1; i < tokens.size(); ++i)
      header.fields.push_back(PcdField{tokens[i]});
    return "";
  case kSize:
    return parseFieldNumbers(tokens, 8, header, &PcdField::size);
  case kCount:
    return parseFieldNumbers(tokens, kMaxFieldCount, header, &PcdField::count);
  case kType:
    return parseTypes(tokens, header);
  case kWidth:
  case kHeight:
  case kPoints: {
    std::uint64_t& target = keyword == kWidth    ? header.width
                            : keyword == kHeight ? header.height
                                                 : header.points;
    if (tokens.size() != 2 || !parseUnsigned(tokens[1], kMaxPoints, target))
      return std::string(kKeywordNames[keyword]) + " is not a point count";
    return "";
  }
  case kData:
    if (tokens.size() != 2 ||
        (tokens[1] != "ascii" && tokens[1] != "binary" && tokens[1] != "binary_compressed"))
      return "DATA format is not ascii, binary or binary_compressed";
    header.dataFormat = tokens[1];
    return "";
  default:
    return "unknown header line";
  }
}

std::string checkRequiredKeywords(const std::vector<int>& seen) {
  for (int required : {kFields, kSize, kType, kWidth, kHeight, kPoints, kData})
    if (std::find(seen.begin(), seen.end(), required) == seen.end())
      return std::string("header has no ") + kKeywordNames[required] + " line";
  return "";
}

std::string checkKeywordPlace(int keyword, const std::vector<int>& seen) {
  // The reader sizes its buffers from earlier lines, so the order is part of the format.
  if (!seen.empty() && keyword <= seen.back())
    return std::string("header line ") + kKeywordNames[keyword] + " is repeated or out of order";
  const bool hasFields = std::find(seen.begin(), seen.end(), kFields) != seen.end();
  const bool hasSize = std::find(seen.begin(), seen.end(), kSize) != seen.end();
  if ((keyword == kSize || keyword == kCount || keyword == kType) && !hasFields)
    return std::string(kKeywordNames[keyword]) + " comes before FIELDS";
  if (keyword > kSize && keyword != kViewpoint && !hasSize)
    return std::string(kKeywordNames[keyword]) + " comes before SIZE";
  return "";
}

} // namespace

std::string readPcdHeader(std::istream& file, PcdHeader& header) {
  std::vector<int> seen;
  std::string line;
  std::size_t headerBytes = 0;
  while (header.dataFormat.empty()) {
    if (!std::getline(file, line))
      return "the header ends before its DATA line";
    ++header.lines;
    headerBytes += line.size() + 1;
    if (headerBytes > kMaxHeaderBytes)
      return "the header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
    const std::vector<std::string> tokens = splitTokens(line, kPcdSeparators);
    if (line.empty() || (!tokens.empty() && tokens[0][0] == '#'))
      continue;
    // The reader stops its header at a line of blanks.
    if (tokens.empty())
      return "header line " + std::to_string(header.lines) + " holds only blanks";
    if (hasControlCharacter(line))
      return "header line " + std::to_string(header.lines) + " holds a control character";
    const int keyword = keywordOf(tokens[0]);
    if (keyword < 0 && line.rfind("version https://git-lfs", 0) == 0)
      return "a Git LFS pointer, not the cloud (run git lfs pull)";
    if (keyword < 0)
      return "unexpected header line '" + line.substr(0, 40) + "'";
    std::string problem = checkKeywordPlace(keyword, seen);
    if (problem.empty())
      problem = parseHeaderLine(tokens, keyword, header);
    if (!problem.empty())
      return problem;
    seen.push_back(keyword);
  }
  header.dataOffset = headerBytes;
  return checkRequiredKeywords(seen);
}

bool startsWithKeyword(const std::string& word) {
  for (const char* keyword : kKeywordNames)
    if (word.rfind(keyword, 0) == 0)
      return true;
  return word.rfind("COLUMNS", 0) == 0;
}
