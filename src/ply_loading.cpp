#include "ply_loading.h"

#include <pcl/io/ply_io.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// Bounds that no real cloud reaches but that keep the reader's allocations sane.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr std::uint64_t kMaxVertices = 0x7fffffff;

struct PlyProperty {
  std::string name;
  std::string type; // "float", "uchar", ...; the count's type of a list
  bool list = false;
};

struct PlyElement {
  std::string name;
  std::uint64_t count = 0;
  std::vector<PlyProperty> properties;
};

struct PlyHeader {
  std::string format;
  std::vector<PlyElement> elements;
  std::uint64_t bytes = 0;
  // The obj_info values num_cols and num_rows (a range scanner's grid), the last of each.
  std::string columns;
  std::string rows;
};

// The size of a scalar type, under either of the names PLY allows; 0 for no such type.
std::size_t typeSize(const std::string& type) {
  for (const auto& [names, size] : std::vector<std::pair<std::vector<std::string>, std::size_t>>{
           {{"char", "int8", "uchar", "uint8"}, 1},
           {{"short", "int16", "ushort", "uint16"}, 2},
           {{"int", "int32", "uint", "uint32", "float", "float32"}, 4},
           {{"double", "float64"}, 8}})
    if (std::find(names.begin(), names.end(), type) != names.end())
      return size;
  return 0;
}

bool isUnsignedByte(const std::string& type) {
  return type == "uchar" || type == "uint8";
}

std::vector<std::string> wordsOf(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;)
    words.push_back(word);
  return words;
}

std::string readHeader(std::istream& file, PlyHeader& header) {
  std::string line;
  if (!std::getline(file, line) || (line != "ply" && line != "ply\r"))
    return "it does not start with 'ply'";
  header.bytes = line.size() + 1;
  for (std::size_t number = 2; std::getline(file, line); ++number) {
    header.bytes += line.size() + 1;
    if (header.bytes > kMaxHeaderBytes)
      return "the header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
    const std::vector<std::string> words = wordsOf(line);
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
      if ((!list && words.size() != 3) || typeSize(words[list ? 2 : 1]) == 0 ||
          (list && typeSize(words[3]) == 0))
        return where + "unknown property '" + line.substr(0, 60) + "'";
      header.elements.back().properties.push_back({words.back(), words[list ? 2 : 1], list});
    } else {
      return where + "unknown keyword '" + words[0].substr(0, 20) + "'";
    }
  }
  return "the header has no end_header line";
}

const PlyProperty* findProperty(const PlyElement& element, const std::string& name) {
  for (const PlyProperty& property : element.properties)
    if (property.name == name)
      return &property;
  return nullptr;
}

// What PCL's reader would misread, or what could make it allocate without bound.
std::string checkVertices(const PlyHeader& header, std::uint64_t fileSize) {
  const auto vertex = std::find_if(header.elements.begin(), header.elements.end(),
                                   [](const PlyElement& e) { return e.name == "vertex"; });
  if (vertex == header.elements.end())
    return "the file has no vertex element";
  if (vertex->count > kMaxVertices)
    return "the file declares " + std::to_string(vertex->count) + " vertices";
  std::uint64_t recordBytes = 0;
  for (const PlyProperty& property : vertex->properties) {
    if (property.list)
      return "vertex property '" + property.name + "' is a list";
    recordBytes += typeSize(property.type);
  }
  // The reader sizes the cloud by a grid given in both obj_info values, whatever the vertices
  // number: a smaller grid makes it abort, a larger one invents points.
  if (!header.columns.empty() && !header.rows.empty()) {
    const auto isCount = [](const std::string& text) {
      return !text.empty() && text.size() <= 10 &&
             text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!isCount(header.columns) || !isCount(header.rows) ||
        std::stoull(header.columns) * std::stoull(header.rows) != vertex->count)
      return "obj_info gives a grid of num_cols x num_rows = " + header.columns.substr(0, 20) +
             " x " + header.rows.substr(0, 20) + " where the file has " +
             std::to_string(vertex->count) + " vertices";
  }
  for (const char* axis : {"x", "y", "z"})
    if (findProperty(*vertex, axis) == nullptr)
      return std::string("the vertices have no property '") + axis + "'";
  const char* channels[] = {"red", "green", "blue"};
  const std::size_t present = static_cast<std::size_t>(
      std::count_if(std::begin(channels), std::end(channels), [&](const char* channel) {
        return findProperty(*vertex, channel) != nullptr;
      }));
  if (present != 0 && present != 3)
    return "the vertices have some of red, green and blue but not all three";
  for (const char* channel : {"red", "green", "blue", "alpha"}) {
    const PlyProperty* property = findProperty(*vertex, channel);
    if (property != nullptr && !isUnsignedByte(property->type))
      return std::string("colour property '") + channel + "' is stored as " + property->type +
             "; colours must be uchar";
  }
  const std::uint64_t available = fileSize - std::min(header.bytes, fileSize);
  if (header.format != "ascii" && vertex->count * recordBytes > available)
    return "the header promises " + std::to_string(vertex->count) + " vertices of " +
           std::to_string(recordBytes) + " bytes but the file holds " + std::to_string(available) +
           " bytes of data";
  // An ascii vertex takes at least a digit and a separator a property.
  if (header.format == "ascii" && vertex->count * 2 * vertex->properties.size() > available + 1)
    return "the header promises " + std::to_string(vertex->count) +
           " vertices but the file is too short to hold them";
  return "";
}

// A plain decimal number: sign, digits, a fraction and an exponent; none of the hexadecimal,
// inf or nan forms that the reader's stream does not parse alike.
bool isDecimal(const std::string& token, bool integer) {
  std::size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9')
      ++i;
    return i - start;
  };
  std::size_t mantissa = digits();
  if (integer)
    return mantissa > 0 && i == token.size();
  if (i < token.size() && token[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0)
    return false;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
      ++i;
    if (digits() == 0)
      return false;
  }
  return i == token.size();
}

// Whether an ascii token is a value that the property's type holds.
bool fitsProperty(const std::string& token, const std::string& type) {
  const bool integer =
      type != "float" && type != "float32" && type != "double" && type != "float64";
  if (!isDecimal(token, integer))
    return false;
  const double value = std::strtod(token.c_str(), nullptr);
  if (!integer)
    return type == "double" || type == "float64" ||
           std::abs(value) <= std::numeric_limits<float>::max();
  const double bits = 8.0 * static_cast<double>(typeSize(type));
  const bool isUnsigned = type[0] == 'u';
  const double lowest = isUnsigned ? 0.0 : -std::ldexp(1.0, static_cast<int>(bits) - 1);
  const double highest = std::ldexp(1.0, static_cast<int>(bits) - (isUnsigned ? 0 : 1)) - 1.0;
  return value >= lowest && value <= highest;
}

// PCL's ascii parser reads a token that is not a number as NaN, without a word: every vertex
// line is checked, after the lines of the elements before it (one line an element).
std::string checkAsciiVertices(std::istream& file, const PlyHeader& header) {
  std::string line;
  std::size_t number = 0;
  const auto nextLine = [&] {
    ++number;
    return static_cast<bool>(std::getline(file, line));
  };
  std::uint64_t skipped = 0;
  for (const PlyElement& element : header.elements) {
    if (element.name == "vertex")
      break;
    skipped += element.count;
  }
  for (std::uint64_t i = 0; i < skipped; ++i)
    if (!nextLine())
      return "the data ends before the vertices";
  const PlyElement& vertex = *std::find_if(header.elements.begin(), header.elements.end(),
                                           [](const PlyElement& e) { return e.name == "vertex"; });
  for (std::uint64_t i = 0; i < vertex.count; ++i) {
    if (!nextLine())
      return "the data holds " + std::to_string(i) + " vertices where the header declares " +
             std::to_string(vertex.count);
    const std::vector<std::string> tokens = wordsOf(line);
    const std::string where = "vertex " + std::to_string(i) + ": ";
    if (tokens.size() != vertex.properties.size())
      return where + std::to_string(tokens.size()) + " values where a vertex has " +
             std::to_string(vertex.properties.size());
    for (std::size_t k = 0; k < tokens.size(); ++k)
      if (!fitsProperty(tokens[k], vertex.properties[k].type))
        return where + "'" + tokens[k].substr(0, 40) + "' is not a value of property '" +
               vertex.properties[k].name + "' (" + vertex.properties[k].type + ")";
  }
  return "";
}

// The value of a field of any numeric type, as a double.
double fieldValue(const std::uint8_t* bytes, std::uint8_t datatype) {
  const auto read = [bytes](auto value) {
    std::memcpy(&value, bytes, sizeof value);
    return static_cast<double>(value);
  };
  switch (datatype) {
  case pcl::PCLPointField::INT8:
    return read(std::int8_t{});
  case pcl::PCLPointField::UINT8:
    return read(std::uint8_t{});
  case pcl::PCLPointField::INT16:
    return read(std::int16_t{});
  case pcl::PCLPointField::UINT16:
    return read(std::uint16_t{});
  case pcl::PCLPointField::INT32:
    return read(std::int32_t{});
  case pcl::PCLPointField::UINT32:
    return read(std::uint32_t{});
  case pcl::PCLPointField::FLOAT32:
    return read(float{});
  default:
    return read(double{});
  }
}

const pcl::PCLPointField* findField(const pcl::PCLPointCloud2& blob, const std::string& name) {
  for (const pcl::PCLPointField& field : blob.fields)
    if (field.name == name)
      return &field;
  return nullptr;
}

// Single precision holds every integer up to 2^24 exactly.
constexpr double kLargestExactInteger = 16777216.0;

bool isInteger(std::uint8_t datatype) {
  return datatype != pcl::PCLPointField::FLOAT32 && datatype != pcl::PCLPointField::FLOAT64;
}

// The blob's vertices as coloured points and normals; the reason when a value cannot be held.
std::string convertBlob(const pcl::PCLPointCloud2& blob, LoadedCloud& loaded) {
  const pcl::PCLPointField* axes[3] = {findField(blob, "x"), findField(blob, "y"),
                                       findField(blob, "z")};
  const pcl::PCLPointField* normals[3] = {findField(blob, "normal_x"), findField(blob, "normal_y"),
                                          findField(blob, "normal_z")};
  const pcl::PCLPointField* color = findField(blob, "rgb");
  if (color == nullptr)
    color = findField(blob, "rgba");
  if (axes[0] == nullptr || axes[1] == nullptr || axes[2] == nullptr)
    return "PCL's reader gave no x, y and z";
  const bool hasNormals = normals[0] != nullptr && normals[1] != nullptr && normals[2] != nullptr;
  const std::size_t count = static_cast<std::size_t>(blob.width) * blob.height;
  if (blob.data.size() < count * blob.point_step)
    return "PCL's reader gave fewer bytes than points";
  loaded.attributes.hasColor = color != nullptr;
  loaded.cloud.resize(count);
  if (hasNormals)
    loaded.attributes.normals.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* record = blob.data.data() + i * blob.point_step;
    pcl::PointXYZRGBA& point = loaded.cloud[i];
    for (int axis = 0; axis < 3; ++axis) {
      const double value = fieldValue(record + axes[axis]->offset, axes[axis]->datatype);
      if (isInteger(axes[axis]->datatype) && std::abs(value) > kLargestExactInteger) {
        return "vertex " + std::to_string(i) + " has the integer coordinate " +
               std::to_string(static_cast<long long>(value)) +
               ", which single precision cannot hold exactly";
      }
      point.data[axis] = static_cast<float>(value);
    }
    // PCL packs the channels into 4 bytes: blue, green, red, then alpha or nothing.
    if (color != nullptr) {
      point.b = record[color->offset];
      point.g = record[color->offset + 1];
      point.r = record[color->offset + 2];
    } else {
      point.r = point.g = point.b = 0;
    }
    point.a = 255;
    if (hasNormals)
      for (int axis = 0; axis < 3; ++axis)
        loaded.attributes.normals[i][axis] =
            static_cast<float>(fieldValue(record + normals[axis]->offset, normals[axis]->datatype));
  }
  return "";
}

std::string readChecked(const std::string& path, LoadedCloud& loaded) {
  boost::system::error_code error;
  if (!boost::filesystem::is_regular_file(path, error))
    return error ? "cannot be read: " + error.message() : "is not a regular file";
  const std::uint64_t fileSize = boost::filesystem::file_size(path, error);
  if (error)
    return "cannot be read: " + error.message();
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return std::string("cannot be opened: ") + std::strerror(errno);
  PlyHeader header;
  std::string problem = readHeader(file, header);
  if (problem.empty())
    problem = checkVertices(header, fileSize);
  if (problem.empty() && header.format == "ascii")
    problem = checkAsciiVertices(file, header);
  if (!problem.empty())
    return problem;
  pcl::PCLPointCloud2 blob;
  int version = 0;
  if (pcl::PLYReader().read(path, blob, loaded.cloud.sensor_origin_,
                            loaded.cloud.sensor_orientation_, version, 0) < 0)
    return "PCL's PLY reader failed";
  return convertBlob(blob, loaded);
}

} // namespace

LoadedCloud readPlyFile(const std::string& path) {
  LoadedCloud loaded;
  try {
    loaded.problem = readChecked(path, loaded);
  } catch (const std::bad_alloc&) {
    loaded.problem = "out of memory while reading";
  } catch (const std::exception& error) {
    loaded.problem = error.what();
  }
  if (!loaded.problem.empty()) {
    loaded.cloud.clear();
    loaded.attributes = CloudAttributes();
  }
  return loaded;
}
