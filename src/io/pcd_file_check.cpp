#include "io/pcd_file_check.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <utility>
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
// The binary_compressed data starts with its compressed and its uncompressed size.
constexpr std::uint64_t kCompressedPrefixBytes = 8;

struct PcdField {
  std::string name;
  std::uint64_t size = 0;
  char type = 0;
  std::uint64_t count = 1;
};

struct PcdHeader {
  std::vector<PcdField> fields;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t points = 0;
  std::string dataFormat;
  std::uint64_t dataOffset = 0;
  std::size_t lines = 0;
  // The VIEWPOINT line, when there is one.
  std::string viewpoint;
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

// The reader splits header and ascii data lines at spaces, tabs and carriage returns, so
// Windows line ends and blanks around the entries read like the plain form.
bool isSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string> splitTokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : line) {
    if (isSeparator(c)) {
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

// Other control characters become part of an entry: a field named "rgba\v" maps to nothing.
bool hasControlCharacter(const std::string& line) {
  for (char c : line)
    if (!isSeparator(c) && std::iscntrl(static_cast<unsigned char>(c)))
      return true;
  return false;
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

std::string readHeader(std::istream& file, PcdHeader& header) {
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
    const std::vector<std::string> tokens = splitTokens(line);
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

std::string describe(const PcdField& field) {
  return std::string(1, field.type) + " " + std::to_string(field.size) +
         (field.count == 1 ? "" : " x " + std::to_string(field.count));
}

bool isMappedColor(const PcdField& field) {
  return (field.name == "rgb" || field.name == "rgba") && field.count == 1 && field.size == 4 &&
         (field.type == 'U' || (field.type == 'F' && field.name == "rgb"));
}

bool hasMappedColor(const PcdHeader& header) {
  return std::any_of(header.fields.begin(), header.fields.end(), isMappedColor);
}

bool isSingleFloat(const PcdField& field) {
  return field.type == 'F' && field.size == 4 && field.count == 1;
}

// The VIEWPOINT's position as the reader extracts it, with the classic locale's stream; none
// when a value does not read as a float, where the reader leaves the origin undefined.
std::optional<std::array<float, 3>> sensorOriginOf(const PcdHeader& header) {
  std::array<float, 3> origin{0.0f, 0.0f, 0.0f};
  if (header.viewpoint.empty())
    return origin;
  std::istringstream values(header.viewpoint);
  values.imbue(std::locale::classic());
  if (!(values >> origin[0] >> origin[1] >> origin[2]))
    return std::nullopt;
  return origin;
}

// The reader maps the first field that matches each of the point's fields; none when the
// sensor origin cannot be read as the reader reads it.
std::optional<PcdBinaryLayout> binaryLayoutOf(const PcdHeader& header) {
  PcdBinaryLayout layout;
  const std::optional<std::array<float, 3>> origin = sensorOriginOf(header);
  if (!origin)
    return std::nullopt;
  layout.sensorOrigin = *origin;
  layout.compressed = header.dataFormat == "binary_compressed";
  layout.dataOffset = header.dataOffset;
  bool coordinateFound[3] = {false, false, false};
  bool normalFound[3] = {false, false, false};
  std::array<std::uint64_t, 3> normalOffsets{0, 0, 0};
  for (const PcdField& field : header.fields) {
    for (int axis = 0; axis < 3; ++axis) {
      if (!coordinateFound[axis] && field.name == std::string(1, "xyz"[axis]) &&
          isSingleFloat(field)) {
        layout.coordinateOffsets[axis] = layout.pointStep;
        coordinateFound[axis] = true;
      }
      if (!normalFound[axis] && field.name == std::string("normal_") + "xyz"[axis] &&
          isSingleFloat(field)) {
        normalOffsets[static_cast<std::size_t>(axis)] = layout.pointStep;
        normalFound[axis] = true;
      }
    }
    if (!layout.colorOffset && isMappedColor(field))
      layout.colorOffset = layout.pointStep;
    // The reader leaves padding fields out of compressed data but not out of its offsets.
    if (layout.compressed && field.name == "_")
      return std::nullopt;
    layout.pointStep += field.size * field.count;
  }
  if (normalFound[0] && normalFound[1] && normalFound[2])
    layout.normalOffsets = normalOffsets;
  return layout;
}

bool hasFloatNormals(const PcdHeader& header) {
  for (const char* axis : {"normal_x", "normal_y", "normal_z"}) {
    const auto isFloatNormal = [axis](const PcdField& field) {
      return field.name == axis && isSingleFloat(field);
    };
    if (std::none_of(header.fields.begin(), header.fields.end(), isFloatNormal))
      return false;
  }
  return true;
}

// The reader maps a field only when its name, type and count match the point's field; an
// unmapped field is left at zero, which would measure made-up points or colours.
std::string checkMappedFields(const PcdHeader& header) {
  for (const char* axis : {"x", "y", "z"}) {
    const PcdField* found = nullptr;
    for (const PcdField& field : header.fields)
      if (field.name == axis &&
          (found == nullptr || found->type != 'F' || found->size != 4 || found->count != 1))
        found = &field;
    if (found == nullptr)
      return std::string("the cloud has no field '") + axis + "'";
    if (found->type != 'F' || found->size != 4 || found->count != 1)
      return std::string("field '") + axis + "' is stored as " + describe(*found) +
             "; coordinates must be single 4-byte floats (F 4)";
  }
  const PcdField* unmapped = nullptr;
  for (const PcdField& field : header.fields)
    if ((field.name == "rgb" || field.name == "rgba") && unmapped == nullptr)
      unmapped = &field;
  if (unmapped != nullptr && !hasMappedColor(header))
    return "colour field '" + unmapped->name + "' is stored as " + describe(*unmapped) +
           "; colours must be packed in 4 bytes (rgb as F 4 or U 4, rgba as U 4)";
  return "";
}

std::uint64_t pointStep(const PcdHeader& header) {
  std::uint64_t step = 0;
  for (const PcdField& field : header.fields)
    step += field.size * field.count;
  return step;
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
  std::size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
  std::string word = token.substr(i);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "inf" || word == "infinity" || word == "nan")
    return true;
  const auto digitsFrom = [&](std::size_t& at) {
    const std::size_t start = at;
    while (at < token.size() && std::isdigit(static_cast<unsigned char>(token[at])))
      ++at;
    return at - start;
  };
  std::size_t mantissaDigits = digitsFrom(i);
  if (i < token.size() && token[i] == '.') {
    ++i;
    mantissaDigits += digitsFrom(i);
  }
  if (mantissaDigits == 0)
    return false;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
      ++i;
    if (digitsFrom(i) == 0)
      return false;
  }
  return i == token.size();
}

bool isIntegerToken(const std::string& token, const PcdField& field) {
  const bool negative = token[0] == '-';
  const std::size_t start = token[0] == '+' || negative ? 1 : 0;
  if (token.size() - start > 20 || !isDigits(token, start))
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
    const std::vector<std::string> tokens = splitTokens(line);
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

PcdFileCheck failedCheck(std::string problem) {
  PcdFileCheck check;
  check.problem = std::move(problem);
  return check;
}

} // namespace

PcdFileCheck checkPcdFile(const std::string& path) {
  boost::system::error_code error;
  if (!boost::filesystem::is_regular_file(path, error))
    return failedCheck(error ? "cannot be read: " + error.message() : "is not a regular file");
  const std::uint64_t fileSize = boost::filesystem::file_size(path, error);
  if (error)
    return failedCheck("cannot be read: " + error.message());
  if (fileSize == 0)
    return failedCheck("the file is empty");
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return failedCheck(std::string("cannot be opened: ") + std::strerror(errno));

  PcdHeader header;
  std::string problem = readHeader(file, header);
  if (problem.empty())
    problem = checkMappedFields(header);
  if (problem.empty())
    problem = checkData(file, header, fileSize);
  if (!problem.empty())
    return failedCheck(problem);
  PcdFileCheck check;
  check.points = header.points;
  check.hasColor = hasMappedColor(header);
  check.hasNormals = hasFloatNormals(header);
  if (header.dataFormat != "ascii")
    check.binaryLayout = binaryLayoutOf(header);
  return check;
}

std::optional<std::uint64_t> readPointCount(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  PcdHeader header;
  if (!file || !readHeader(file, header).empty())
    return std::nullopt;
  return header.points;
}
