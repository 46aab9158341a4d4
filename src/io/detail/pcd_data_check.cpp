#include "io/detail/pcd_data_check.h"

#include "io/detail/pcd_fields.h"
#include "io/detail/text_tokens.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

namespace {

// Generous bounds that no real scan reaches but that keep the reader's allocations sane.
constexpr std::uint64_t kMaxPointStep = 1 << 24;
// LZF turns at most 3 bytes into 264, so a larger claim is a corrupt size prefix.
constexpr std::uint64_t kMaxCompressionFactor = 128;
// The binary_compressed data starts with its compressed and its uncompressed size.
constexpr std::uint64_t kCompressedPrefixBytes = 8;

// The first word of a line as the reader's stream extraction sees it.
std::string firstWord(const std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start])))
    ++start;
  std::size_t end = start;
  while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])))
    ++end;
  return line.substr(start, end - start);
}

// The reader goes on reading lines after DATA while they are empty, comments or header
// lines, so data that starts like a header line rewrites the header it has already read.
std::string checkDataStart(std::istream& file) {
  std::string line;
  while (std::getline(file, line)) {
    const std::string word = firstWord(line);
    if (line.empty() || (!word.empty() && word[0] == '#'))
      continue;
    if (startsWithKeyword(word))
      return "the data starts with a header line ('" + word.substr(0, 20) + "')";
    return "";
  }
  return "";
}

std::uint32_t readLittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string checkCompressedPrefix(std::istream& file, std::uint64_t dataBytes,
                                  std::uint64_t available) {
  unsigned char prefix[kCompressedPrefixBytes];
  if (available < kCompressedPrefixBytes ||
      !file.read(reinterpret_cast<char*>(prefix), kCompressedPrefixBytes))
    return "the compressed data has no size prefix";
  const std::uint64_t compressedSize = readLittleEndian32(prefix);
  const std::uint64_t uncompressedSize = readLittleEndian32(prefix + 4);
  if (uncompressedSize != dataBytes)
    return "the compressed data claims " + std::to_string(uncompressedSize) +
           " bytes where the header needs " + std::to_string(dataBytes);
  if (compressedSize + kCompressedPrefixBytes > available)
    return "the compressed data claims " + std::to_string(compressedSize) +
           " bytes but the file holds " + std::to_string(available - kCompressedPrefixBytes);
  if (dataBytes > 0 && compressedSize == 0)
    return "the compressed data is empty";
  if (dataBytes > compressedSize * kMaxCompressionFactor)
    return "the compressed data cannot expand from " + std::to_string(compressedSize) + " to " +
           std::to_string(dataBytes) + " bytes";
  return "";
}

std::string checkDataFits(std::istream& file, const PcdHeader& header, std::uint64_t fileSize) {
  const std::uint64_t step = pointStep(header);
  if (step == 0 || step > kMaxPointStep)
    return "a point takes " + std::to_string(step) + " bytes";
  if (header.width * header.height != header.points)
    return "WIDTH x HEIGHT (" + std::to_string(header.width) + " x " +
           std::to_string(header.height) + ") is not POINTS (" + std::to_string(header.points) +
           ")";
  // A DATA line without a line end closes the file.
  const std::uint64_t available = fileSize - std::min(header.dataOffset, fileSize);
  const std::uint64_t dataBytes = header.points * step;
  if (header.dataFormat == "binary_compressed")
    return checkCompressedPrefix(file, dataBytes, available);
  if (header.dataFormat == "binary" && dataBytes > available)
    return "the header promises " + std::to_string(header.points) + " points of " +
           std::to_string(step) + " bytes but the file holds " + std::to_string(available) +
           " bytes of data";
  return "";
}

// Decimal floats as the reader parses them exactly, plus inf and nan, which it reads through
// atof; hexadecimal, "1.5abc" or "." read as other numbers or as 0 without a word.
bool isFloatToken(const std::string& token) {
  return isInfinityOrNan(token) || isDecimalNumber(token, false);
}

bool isIntegerToken(const std::string& token, const PcdField& field) {
  const bool negative = token[0] == '-';
  const std::size_t start = token[0] == '+' || negative ? 1 : 0;
  if (token.size() - start > 20 || !isDecimalNumber(token, true))
    return false;
  const std::uint64_t bits = 8 * field.size;
  const std::string digits = token.substr(start);
  // Compare as decimal strings of equal length to stay clear of overflow.
  const auto fitsBelow = [&](std::uint64_t limit) {
    const std::string text = std::to_string(limit);
    const std::string trimmed =
        digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return trimmed.size() < text.size() || (trimmed.size() == text.size() && trimmed <= text);
  };
  if (field.type == 'U')
    return !negative && fitsBelow(bits == 64 ? std::numeric_limits<std::uint64_t>::max()
                                             : (std::uint64_t{1} << bits) - 1);
  const std::uint64_t magnitude = std::uint64_t{1} << (bits - 1);
  return fitsBelow(negative ? magnitude : magnitude - 1);
}

// The reader turns every ascii line that it cannot read as one point into a point at the
// origin, or a token it cannot parse into 0, with at most a warning: such data is refused.
std::string checkAsciiData(std::istream& file, const PcdHeader& header) {
  std::vector<const PcdField*> columns;
  for (const PcdField& field : header.fields)
    for (std::uint64_t i = 0; i < field.count; ++i)
      columns.push_back(&field);
  std::size_t lineNumber = header.lines;
  std::uint64_t points = 0;
  std::string line;
  while (std::getline(file, line)) {
    ++lineNumber;
    if (line.empty())
      continue;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (points == header.points)
      return where + "more data lines than POINTS (" + std::to_string(header.points) + ")";
    const std::vector<std::string> tokens = splitTokens(line, kPcdSeparators);
    if (tokens.size() != columns.size())
      return where + std::to_string(tokens.size()) + " values where a point has " +
             std::to_string(columns.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      const PcdField& field = *columns[i];
      if (field.name == "_")
        continue; // padding that the reader skips
      const bool valid =
          field.type == 'F' ? isFloatToken(tokens[i]) : isIntegerToken(tokens[i], field);
      if (!valid)
        return where + "'" + tokens[i].substr(0, 40) + "' is not a value of field '" + field.name +
               "' (" + describe(field) + ")";
    }
    ++points;
  }
  if (points < header.points)
    return "the data holds " + std::to_string(points) + " points where POINTS is " +
           std::to_string(header.points);
  return "";
}

} // namespace

std::string checkData(std::istream& file, const PcdHeader& header, std::uint64_t fileSize) {
  std::string problem = checkDataFits(file, header, fileSize);
  if (!problem.empty())
    return problem;
  file.clear();
  file.seekg(static_cast<std::streamoff>(header.dataOffset));
  if (header.dataFormat == "ascii")
    return checkAsciiData(file, header);
  return checkDataStart(file);
}
