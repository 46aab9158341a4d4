#include "pcd_file_check.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Generous bounds that no real scan reaches but that keep the reader's allocations sane.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr std::size_t kMaxFields = 4096;
constexpr std::uint64_t kMaxFieldCount = 1 << 20;
constexpr std::uint64_t kMaxPointStep = 1 << 24;
constexpr std::uint64_t kMaxPoints = 0x7fffffff;
// LZF turns at most 3 bytes into 264, so a larger claim is a corrupt size prefix.
constexpr std::uint64_t kMaxCompressionFactor = 128;

struct PcdHeader {
  std::size_t fieldCount = 0;
  std::vector<std::uint64_t> sizes;
  std::vector<char> types;
  std::vector<std::uint64_t> counts;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t points = 0;
  std::string dataFormat;
  std::uint64_t dataOffset = 0;
};

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

std::vector<std::string> splitTokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : line) {
    if (c == ' ' || c == '\t') {
      if (!token.empty())
        tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty())
    tokens.push_back(token);
  return tokens;
}

// The reader counts the entries of a line with one tokenizer and reads them with another;
// they agree only on lines of printable tokens separated by spaces or tabs.
std::string checkLineCharacters(const std::string& line) {
  if (!line.empty() && line.back() == '\r')
    return "the header has Windows line ends";
  if (!line.empty() &&
      (line.front() == ' ' || line.front() == '\t' || line.back() == ' ' || line.back() == '\t'))
    return "a header line starts or ends with a blank";
  for (char c : line)
    if (c != '\t' && std::iscntrl(static_cast<unsigned char>(c)))
      return "the header holds a control character";
  return "";
}

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

bool startsWithKeyword(const std::string& word) {
  for (const char* keyword : kKeywordNames)
    if (word.rfind(keyword, 0) == 0)
      return true;
  return word.rfind("COLUMNS", 0) == 0;
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

// Plain decimal digits only: the reader's stream extraction wraps signs and stops at junk.
bool parseUnsigned(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
  if (text.empty() || text.size() > 19)
    return false;
  value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value <= limit;
}

bool isKnownFieldType(char type, std::uint64_t size) {
  switch (std::toupper(static_cast<unsigned char>(type))) {
  case 'I':
  case 'U':
    return size == 1 || size == 2 || size == 4 || size == 8;
  case 'F':
    return size == 4 || size == 8;
  case 'B':
    return size == 1;
  default:
    return false;
  }
}

std::string parseNumberList(const std::vector<std::string>& tokens, const PcdHeader& header,
                            std::uint64_t limit, std::vector<std::uint64_t>& values) {
  if (tokens.size() - 1 != header.fieldCount)
    return tokens[0] + " has " + std::to_string(tokens.size() - 1) + " entries for " +
           std::to_string(header.fieldCount) + " fields";
  values.clear();
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    std::uint64_t value = 0;
    if (!parseUnsigned(tokens[i], limit, value) || value == 0)
      return tokens[0] + " entry '" + tokens[i] + "' is not a valid number";
    values.push_back(value);
  }
  return "";
}

std::string parseHeaderLine(const std::vector<std::string>& tokens, int keyword,
                            PcdHeader& header) {
  switch (keyword) {
  case kVersion:
    return "";
  case kViewpoint:
    if (tokens.size() != 8)
      return "VIEWPOINT does not hold seven numbers";
    return "";
  case kFields:
    header.fieldCount = tokens.size() - 1;
    if (header.fieldCount == 0 || header.fieldCount > kMaxFields)
      return "FIELDS lists " + std::to_string(header.fieldCount) + " fields";
    return "";
  case kSize:
    return parseNumberList(tokens, header, 8, header.sizes);
  case kCount:
    return parseNumberList(tokens, header, kMaxFieldCount, header.counts);
  case kType:
    if (tokens.size() - 1 != header.fieldCount)
      return "TYPE has " + std::to_string(tokens.size() - 1) + " entries for " +
             std::to_string(header.fieldCount) + " fields";
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].size() != 1 || !isKnownFieldType(tokens[i][0], header.sizes[i - 1]))
        return "TYPE entry '" + tokens[i] + "' does not fit SIZE " +
               std::to_string(header.sizes[i - 1]);
      header.types.push_back(tokens[i][0]);
    }
    return "";
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
  for (int required : {kFields, kSize, kType, kWidth, kHeight, kPoints, kData}) {
    bool present = false;
    for (int keyword : seen)
      present = present || keyword == required;
    if (!present)
      return std::string("header has no ") + kKeywordNames[required] + " line";
  }
  return "";
}

std::string readHeader(std::istream& file, PcdHeader& header) {
  std::vector<int> seen;
  std::string line;
  std::size_t headerBytes = 0;
  while (header.dataFormat.empty()) {
    if (!std::getline(file, line))
      return "the header ends before its DATA line";
    headerBytes += line.size() + 1;
    if (headerBytes > kMaxHeaderBytes)
      return "the header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
    const std::vector<std::string> tokens = splitTokens(line);
    if (line.empty() || (!tokens.empty() && tokens[0][0] == '#'))
      continue;
    // The reader stops its header at a line of blanks.
    if (tokens.empty())
      return "a header line holds only blanks";
    const std::string characterProblem = checkLineCharacters(line);
    if (!characterProblem.empty())
      return characterProblem;
    const int keyword = keywordOf(tokens[0]);
    if (keyword < 0 && line.rfind("version https://git-lfs", 0) == 0)
      return "a Git LFS pointer, not the cloud (run git lfs pull)";
    if (keyword < 0)
      return "unexpected header line '" + line.substr(0, 40) + "'";
    // The reader sizes its buffers from earlier lines, so the order is part of the format.
    if (!seen.empty() && keyword <= seen.back())
      return std::string("header line ") + kKeywordNames[keyword] + " is repeated or out of order";
    if ((keyword == kSize || keyword == kCount || keyword == kType) && header.fieldCount == 0)
      return std::string(kKeywordNames[keyword]) + " comes before FIELDS";
    if (keyword > kSize && keyword != kViewpoint && header.sizes.empty())
      return std::string(kKeywordNames[keyword]) + " comes before SIZE";
    const std::string problem = parseHeaderLine(tokens, keyword, header);
    if (!problem.empty())
      return problem;
    seen.push_back(keyword);
  }
  const std::string missing = checkRequiredKeywords(seen);
  if (!missing.empty())
    return missing;
  if (header.counts.empty())
    header.counts.assign(header.fieldCount, 1);
  header.dataOffset = headerBytes;
  return "";
}

std::uint64_t pointStep(const PcdHeader& header) {
  std::uint64_t step = 0;
  for (std::size_t i = 0; i < header.fieldCount; ++i)
    step += header.sizes[i] * header.counts[i];
  return step;
}

std::uint64_t valuesPerPoint(const PcdHeader& header) {
  std::uint64_t values = 0;
  for (std::uint64_t count : header.counts)
    values += count;
  return values;
}

std::uint32_t readLittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string checkCompressedPrefix(std::istream& file, std::uint64_t dataBytes,
                                  std::uint64_t available) {
  unsigned char prefix[8];
  if (available < sizeof prefix || !file.read(reinterpret_cast<char*>(prefix), sizeof prefix))
    return "the compressed data has no size prefix";
  const std::uint64_t compressedSize = readLittleEndian32(prefix);
  const std::uint64_t uncompressedSize = readLittleEndian32(prefix + 4);
  if (uncompressedSize != dataBytes)
    return "the compressed data claims " + std::to_string(uncompressedSize) +
           " bytes where the header needs " + std::to_string(dataBytes);
  if (compressedSize + sizeof prefix > available)
    return "the compressed data claims " + std::to_string(compressedSize) +
           " bytes but the file holds " + std::to_string(available - sizeof prefix);
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
    return "WIDTH x HEIGHT is not POINTS";
  // A DATA line without a line end closes the file.
  const std::uint64_t available = fileSize - std::min(header.dataOffset, fileSize);
  const std::uint64_t dataBytes = header.points * step;
  if (header.dataFormat == "binary_compressed")
    return checkCompressedPrefix(file, dataBytes, available);
  // An ascii point is at least one character and one separator per value.
  const std::uint64_t needed =
      header.dataFormat == "binary" ? dataBytes : header.points * 2 * valuesPerPoint(header);
  if (needed > available + (header.dataFormat == "ascii" ? 1 : 0))
    return "the header promises " + std::to_string(header.points) + " points but the file holds " +
           std::to_string(available) + " bytes of data";
  return "";
}

} // namespace

PcdFileCheck checkPcdFile(const std::string& path) {
  boost::system::error_code error;
  if (!boost::filesystem::is_regular_file(path, error))
    return {error ? "cannot be read: " + error.message() : "is not a regular file"};
  const std::uint64_t fileSize = boost::filesystem::file_size(path, error);
  if (error)
    return {"cannot be read: " + error.message()};
  if (fileSize == 0)
    return {"the file is empty"};
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return {std::string("cannot be opened: ") + std::strerror(errno)};

  PcdHeader header;
  std::string problem = readHeader(file, header);
  if (problem.empty())
    problem = checkDataFits(file, header, fileSize);
  if (problem.empty()) {
    file.clear();
    file.seekg(static_cast<std::streamoff>(header.dataOffset));
    problem = checkDataStart(file);
  }
  return {problem, problem.empty() ? header.points : 0};
}
