#include "io/detail/ply_header.h"

#include "io/detail/text_tokens.h"

#include <utility>

PlyType typeNamed(const std::string& name) {
  static const std::pair<const char*, PlyType> kNames[] = {
      {"char", PlyType::Int8},      {"int8", PlyType::Int8},       {"uchar", PlyType::UInt8},
      {"uint8", PlyType::UInt8},    {"short", PlyType::Int16},     {"int16", PlyType::Int16},
      {"ushort", PlyType::UInt16},  {"uint16", PlyType::UInt16},   {"int", PlyType::Int32},
      {"int32", PlyType::Int32},    {"uint", PlyType::UInt32},     {"uint32", PlyType::UInt32},
      {"float", PlyType::Float32},  {"float32", PlyType::Float32}, {"double", PlyType::Float64},
      {"float64", PlyType::Float64}};
  for (const auto& [text, type] : kNames)
    if (name == text)
      return type;
  return PlyType::None;
}

std::size_t sizeOf(PlyType type) {
  switch (type) {
  case PlyType::Int8:
  case PlyType::UInt8:
    return 1;
  case PlyType::Int16:
  case PlyType::UInt16:
    return 2;
  case PlyType::Int32:
  case PlyType::UInt32:
  case PlyType::Float32:
    return 4;
  case PlyType::Float64:
    return 8;
  default:
    return 0;
  }
}

bool isFloating(PlyType type) {
  return type == PlyType::Float32 || type == PlyType::Float64;
}

std::string readPlyHeader(std::istream& file, PlyHeader& header) {
  std::string line;
  if (!std::getline(file, line) || (line != "ply" && line != "ply\r"))
    return "it does not start with 'ply'";
  header.bytes = line.size() + 1;
  for (std::size_t number = 2; std::getline(file, line); ++number) {
    header.bytes += line.size() + 1;
    if (header.bytes > kMaxHeaderBytes)
      return "the header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
    const std::vector<std::string> words = splitTokens(line, kWhiteSpace);
    const std::string where = "header line " + std::to_string(number) + ": ";
    if (words.size() >= 3 && words[0] == "obj_info" && words[1] == "num_cols")
      header.columns = words[2];
    if (words.size() >= 3 && words[0] == "obj_info" && words[1] == "num_rows")
      header.rows = words[2];
    if (words.empty() || words[0] == "comment" || words[0] == "obj_info")
      continue;
    if (words[0] == "end_header")
      return header.format.empty() ? "the header has no format line" : "";
    if (words[0] == "format") {
      if (words.size() != 3 || words[2] != "1.0" ||
          (words[1] != "ascii" && words[1] != "binary_little_endian" &&
           words[1] != "binary_big_endian"))
        return where + "unknown format '" + line.substr(0, 60) + "'";
      header.format = words[1];
    } else if (words[0] == "element") {
      if (words.size() != 3 || words[2].find_first_not_of("0123456789") != std::string::npos ||
          words[2].size() > 12)
        return where + "an element needs a name and a count";
      header.elements.push_back({words[1], std::stoull(words[2]), {}});
    } else if (words[0] == "property") {
      if (header.elements.empty())
        return where + "a property before any element";
      const bool list = words.size() == 5 && words[1] == "list";
      PlyProperty property;
      property.name = words.back();
      property.list = list;
      if (list || words.size() == 3) {
        property.typeName = words[list ? 3 : 1];
        property.type = typeNamed(property.typeName);
        property.countType = list ? typeNamed(words[2]) : PlyType::None;
        property.countTypeName = list ? words[2] : "";
      }
      if (property.type == PlyType::None || (list && property.countType == PlyType::None) ||
          (list && isFloating(property.countType)))
        return where + "unknown property '" + line.substr(0, 60) + "'";
      header.elements.back().properties.push_back(property);
    } else {
      return where + "unknown keyword '" + words[0].substr(0, 20) + "'";
    }
  }
  return "the header has no end_header line";
}
