#include "io/ply_loading.h"

#include "io/detail/ply_header.h"
#include "io/detail/ply_values.h"
#include "io/detail/text_tokens.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace {

// A bound that no real cloud reaches but that keeps the reader's allocations sane.
constexpr std::uint64_t kMaxVertices = 0x7fffffff;

// What each vertex property is to the cloud.
enum class Role { Other, X, Y, Z, Red, Green, Blue, NormalX, NormalY, NormalZ, Reflectance };

Role roleOf(const std::string& name) {
  static const std::pair<const char*, Role> kRoles[] = {{"x", Role::X},
                                                        {"y", Role::Y},
                                                        {"z", Role::Z},
                                                        {"red", Role::Red},
                                                        {"green", Role::Green},
                                                        {"blue", Role::Blue},
                                                        {"diffuse_red", Role::Red},
                                                        {"diffuse_green", Role::Green},
                                                        {"diffuse_blue", Role::Blue},
                                                        {"nx", Role::NormalX},
                                                        {"ny", Role::NormalY},
                                                        {"nz", Role::NormalZ},
                                                        {"reflectance", Role::Reflectance},
                                                        {"refc", Role::Reflectance}};
  for (const auto& [text, role] : kRoles)
    if (name == text)
      return role;
  return Role::Other;
}

// The vertex element and what its properties are.
struct VertexLayout {
  std::size_t element = 0; // its place among the elements
  std::vector<Role> roles; // one a property
  bool hasColor = false;
  bool hasNormals = false;
  bool hasReflectance = false;
  // Why the reflectance property cannot be measured; empty when it can or there is none.
  std::string reflectanceProblem;
};

std::string layoutVertices(const PlyHeader& header, VertexLayout& layout) {
  const auto vertex = std::find_if(header.elements.begin(), header.elements.end(),
                                   [](const PlyElement& e) { return e.name == "vertex"; });
  if (vertex == header.elements.end())
    return "the file has no vertex element";
  if (vertex->count > kMaxVertices)
    return "the file declares " + std::to_string(vertex->count) + " vertices";
  layout.element = static_cast<std::size_t>(vertex - header.elements.begin());
  int seen[11] = {};
  // pc_error takes reflectance before refc: the other is passed over.
  const bool namedReflectance =
      std::any_of(vertex->properties.begin(), vertex->properties.end(),
                  [](const PlyProperty& property) { return property.name == "reflectance"; });
  for (const PlyProperty& property : vertex->properties) {
    Role role = roleOf(property.name);
    if (role == Role::Reflectance && namedReflectance && property.name == "refc")
      role = Role::Other;
    if (role == Role::Reflectance &&
        (property.list || (property.type != PlyType::UInt8 && property.type != PlyType::UInt16))) {
      layout.reflectanceProblem =
          "its reflectance property '" + property.name + "' is " +
          (property.list ? std::string("a list") : "stored as " + property.typeName) +
          ", where reflectance is uint8 or uint16";
      role = Role::Other;
    }
    layout.roles.push_back(role);
    if (role == Role::Other)
      continue;
    if (property.list)
      return "vertex property '" + property.name + "' is a list";
    if (++seen[static_cast<int>(role)] > 1)
      return "the vertices have two properties for '" + property.name + "'";
    const bool color = role == Role::Red || role == Role::Green || role == Role::Blue;
    if (color && property.type != PlyType::UInt8)
      return "colour property '" + property.name + "' is stored as " + property.typeName +
             "; colours must be uchar";
  }
  const auto has = [&](Role role) { return seen[static_cast<int>(role)] > 0; };
  for (Role axis : {Role::X, Role::Y, Role::Z})
    if (!has(axis))
      return std::string("the vertices have no property '") +
             (axis == Role::X   ? "x"
              : axis == Role::Y ? "y"
                                : "z") +
             "'";
  const int channels = has(Role::Red) + has(Role::Green) + has(Role::Blue);
  if (channels != 0 && channels != 3)
    return "the vertices have some of red, green and blue but not all three";
  layout.hasColor = channels == 3;
  layout.hasNormals = has(Role::NormalX) && has(Role::NormalY) && has(Role::NormalZ);
  layout.hasReflectance = has(Role::Reflectance);
  return "";
}

// Single precision holds every integer up to 2^24 exactly.
constexpr double kLargestExactInteger = 16777216.0;

// The points of either destination: a PCL cloud, or the comparison's 16-byte points.
ColorCloud& pointsOf(LoadedCloud& loaded) {
  return loaded.cloud;
}
PointList& pointsOf(LoadedPoints& loaded) {
  return loaded.points;
}
float* positionOf(pcl::PointXYZRGBA& point) {
  return point.data;
}
float* positionOf(ColorPoint& point) {
  return point.position;
}

// Takes one vertex's property values into the cloud.
template <typename Loaded> struct VertexSink {
  const PlyElement& element;
  const VertexLayout& layout;
  Loaded& loaded;

  // Why the last value could not be taken.
  std::string problem;

  // False, with the problem, when the value cannot be held.
  bool take(std::size_t index, std::size_t property, double value) {
    auto& point = pointsOf(loaded)[index];
    const Role role = layout.roles[property];
    switch (role) {
    case Role::X:
    case Role::Y:
    case Role::Z: {
      const int axis = static_cast<int>(role) - static_cast<int>(Role::X);
      if (!isFloating(element.properties[property].type) &&
          std::abs(value) > kLargestExactInteger) {
        problem = "vertex " + std::to_string(index) + " has the integer coordinate " +
                  std::to_string(static_cast<long long>(value)) +
                  ", which single precision cannot hold exactly";
        return false;
      }
      positionOf(point)[axis] = static_cast<float>(value);
      break;
    }
    case Role::Red:
      point.r = static_cast<std::uint8_t>(value);
      break;
    case Role::Green:
      point.g = static_cast<std::uint8_t>(value);
      break;
    case Role::Blue:
      point.b = static_cast<std::uint8_t>(value);
      break;
    case Role::NormalX:
    case Role::NormalY:
    case Role::NormalZ:
      if (layout.hasNormals)
        loaded.attributes.normals[index][static_cast<int>(role) - static_cast<int>(Role::NormalX)] =
            static_cast<float>(value);
      break;
    case Role::Reflectance:
      loaded.attributes.reflectance[index] = static_cast<std::uint16_t>(value);
      break;
    default:
      break;
    }
    return true;
  }
};

// Ascii data: one element a line, its values separated by white space.
template <typename Loaded>
std::string readAsciiVertices(std::istream& file, const PlyHeader& header,
                              const VertexLayout& layout, VertexSink<Loaded>& sink) {
  std::string line;
  for (std::size_t e = 0; e < layout.element; ++e)
    for (std::uint64_t i = 0; i < header.elements[e].count; ++i)
      if (!std::getline(file, line))
        return "the data ends before the vertices";
  const PlyElement& vertex = header.elements[layout.element];
  const bool fixed = std::none_of(vertex.properties.begin(), vertex.properties.end(),
                                  [](const PlyProperty& property) { return property.list; });
  for (std::uint64_t i = 0; i < vertex.count; ++i) {
    if (!std::getline(file, line))
      return "the data holds " + std::to_string(i) + " vertices where the header declares " +
             std::to_string(vertex.count);
    const std::vector<std::string> tokens = splitTokens(line, kWhiteSpace);
    const std::string where = "vertex " + std::to_string(i) + ": ";
    if (fixed && tokens.size() != vertex.properties.size())
      return where + std::to_string(tokens.size()) + " values where a vertex has " +
             std::to_string(vertex.properties.size());
    std::size_t next = 0;
    const auto valueOf = [&](PlyType type, const std::string& typeName, const std::string& name,
                             double& value) -> std::string {
      if (next >= tokens.size())
        return where + "the line ends before property '" + name + "'";
      const std::string& token = tokens[next++];
      if (!parseValue(token, type, value))
        return where + "'" + token.substr(0, 40) + "' is not a value of property '" + name + "' (" +
               typeName + ")";
      return "";
    };
    for (std::size_t k = 0; k < vertex.properties.size(); ++k) {
      const PlyProperty& property = vertex.properties[k];
      double value = 0.0;
      std::string problem =
          property.list ? valueOf(property.countType, property.countTypeName, property.name, value)
                        : valueOf(property.type, property.typeName, property.name, value);
      if (property.list)
        for (double item = 0.0, left = value; problem.empty() && left > 0; --left)
          problem = valueOf(property.type, property.typeName, property.name, item);
      else if (problem.empty())
        problem = sink.take(static_cast<std::size_t>(i), k, value) ? "" : sink.problem;
      if (!problem.empty())
        return problem;
    }
    if (next != tokens.size())
      return where + std::to_string(tokens.size()) + " values where this vertex has " +
             std::to_string(next);
  }
  return "";
}

// Reads or skips one binary element instance; false when the data ends first.
template <typename Take>
bool readBinaryInstance(BinaryInput& input, const PlyElement& element, bool swap,
                        const Take& take) {
  for (std::size_t k = 0; k < element.properties.size(); ++k) {
    const PlyProperty& property = element.properties[k];
    if (!property.list) {
      const unsigned char* bytes = input.next(sizeOf(property.type));
      if (bytes == nullptr || !take(k, binaryValue(bytes, property.type, swap)))
        return false;
      continue;
    }
    const unsigned char* countBytes = input.next(sizeOf(property.countType));
    if (countBytes == nullptr)
      return false;
    const double count = binaryValue(countBytes, property.countType, swap);
    for (double left = count; left > 0; --left)
      if (input.next(sizeOf(property.type)) == nullptr)
        return false;
  }
  return true;
}

template <typename Loaded>
std::string readBinaryVertices(std::istream& file, const PlyHeader& header,
                               const VertexLayout& layout, VertexSink<Loaded>& sink) {
  const bool bigEndianHost = [] {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 0;
  }();
  const bool swap = (header.format == "binary_big_endian") != bigEndianHost;
  BinaryInput input(file);
  const auto skip = [](std::size_t, double) { return true; };
  for (std::size_t e = 0; e < layout.element; ++e)
    for (std::uint64_t i = 0; i < header.elements[e].count; ++i)
      if (!readBinaryInstance(input, header.elements[e], swap, skip))
        return "the data ends before the vertices";
  const PlyElement& vertex = header.elements[layout.element];
  std::string problem;
  if (std::none_of(vertex.properties.begin(), vertex.properties.end(),
                   [](const PlyProperty& property) { return property.list; })) {
    // Records of one size: read a block of them at a time, each value at its offset.
    std::vector<std::size_t> offsets;
    std::vector<std::size_t> kept;
    std::size_t recordBytes = 0;
    for (std::size_t k = 0; k < vertex.properties.size(); ++k) {
      offsets.push_back(recordBytes);
      recordBytes += sizeOf(vertex.properties[k].type);
      if (layout.roles[k] != Role::Other)
        kept.push_back(k);
    }
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, (std::size_t{1} << 18) / recordBytes);
    for (std::uint64_t done = 0; done < vertex.count;) {
      const std::uint64_t records = std::min(perBlock, vertex.count - done);
      const unsigned char* bytes = input.next(static_cast<std::size_t>(records * recordBytes));
      if (bytes == nullptr)
        return "the data holds fewer vertices than the header declares (" +
               std::to_string(vertex.count) + ")";
      // Only the properties that the cloud keeps are decoded; floats and colour bytes in the
      // machine's order are copied as they are.
      for (std::uint64_t r = 0; r < records; ++r, bytes += recordBytes) {
        const auto index = static_cast<std::size_t>(done + r);
        auto& point = pointsOf(sink.loaded)[index];
        for (const std::size_t k : kept) {
          const unsigned char* value = bytes + offsets[k];
          const Role role = layout.roles[k];
          const PlyType type = vertex.properties[k].type;
          if (!swap && type == PlyType::Float32 && role >= Role::X && role <= Role::Z) {
            std::memcpy(&positionOf(point)[static_cast<int>(role) - static_cast<int>(Role::X)],
                        value, 4);
          } else if (role == Role::Red) {
            point.r = *value;
          } else if (role == Role::Green) {
            point.g = *value;
          } else if (role == Role::Blue) {
            point.b = *value;
          } else if (!sink.take(index, k, binaryValue(value, type, swap))) {
            return sink.problem;
          }
        }
      }
      done += records;
    }
    return "";
  }
  for (std::uint64_t i = 0; i < vertex.count; ++i) {
    const auto take = [&](std::size_t property, double value) {
      if (!sink.take(static_cast<std::size_t>(i), property, value))
        problem = sink.problem;
      return problem.empty();
    };
    if (!readBinaryInstance(input, vertex, swap, take))
      return problem.empty()
                 ? "the data holds " + std::to_string(i) + " vertices where the header declares " +
                       std::to_string(vertex.count)
                 : problem;
  }
  return "";
}

// The fewest bytes that the data before the vertices and the vertices take.
std::uint64_t leastDataBytes(const PlyHeader& header, const VertexLayout& layout) {
  std::uint64_t bytes = 0;
  for (std::size_t e = 0; e <= layout.element; ++e) {
    std::uint64_t record = 0;
    for (const PlyProperty& property : header.elements[e].properties)
      record += sizeOf(property.list ? property.countType : property.type);
    bytes += header.elements[e].count * record;
  }
  return bytes;
}

// The cloud's grid: obj_info's num_cols x num_rows when it holds exactly the vertices, else one
// row.
void setGrid(const PlyHeader& header, std::uint64_t count, ColorCloud& cloud) {
  const auto isCount = [](const std::string& text) {
    return !text.empty() && text.size() <= 10 &&
           text.find_first_not_of("0123456789") == std::string::npos;
  };
  cloud.width = static_cast<std::uint32_t>(count);
  cloud.height = 1;
  if (isCount(header.columns) && isCount(header.rows) &&
      std::stoull(header.columns) * std::stoull(header.rows) == count && count > 0) {
    cloud.width = static_cast<std::uint32_t>(std::stoull(header.columns));
    cloud.height = static_cast<std::uint32_t>(std::stoull(header.rows));
  }
}

void setGrid(const PlyHeader&, std::uint64_t, PointList&) {}

template <typename Loaded> std::string readChecked(const std::string& path, Loaded& loaded) {
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
  VertexLayout layout;
  std::string problem = readPlyHeader(file, header);
  if (problem.empty())
    problem = layoutVertices(header, layout);
  if (!problem.empty())
    return problem;
  const PlyElement& vertex = header.elements[layout.element];
  // The data must be able to hold what the header declares before anything is allocated.
  const std::uint64_t available = fileSize - std::min(header.bytes, fileSize);
  if (header.format != "ascii" && leastDataBytes(header, layout) > available) {
    std::uint64_t record = 0;
    for (const PlyProperty& property : vertex.properties)
      record += sizeOf(property.list ? property.countType : property.type);
    return "the header promises " + std::to_string(vertex.count) + " vertices of " +
           std::to_string(record) + " bytes but the file holds " + std::to_string(available) +
           " bytes of data";
  }
  // An ascii vertex takes at least a digit and a separator a property.
  if (header.format == "ascii" && vertex.count * 2 * vertex.properties.size() > available + 1)
    return "the header promises " + std::to_string(vertex.count) +
           " vertices but the file is too short to hold them";
  auto& points = pointsOf(loaded);
  points.resize(static_cast<std::size_t>(vertex.count));
  for (auto& point : points) {
    std::fill(positionOf(point), positionOf(point) + 3, 0.0f);
    point.r = point.g = point.b = 0;
    if constexpr (std::is_same_v<Loaded, LoadedCloud>)
      point.a = 255;
  }
  setGrid(header, vertex.count, points);
  loaded.attributes.hasColor = layout.hasColor;
  if (layout.hasNormals)
    loaded.attributes.normals.assign(static_cast<std::size_t>(vertex.count),
                                     Eigen::Vector3f::Zero());
  if (layout.hasReflectance)
    loaded.attributes.reflectance.assign(static_cast<std::size_t>(vertex.count), 0);
  loaded.attributes.reflectanceProblem = layout.reflectanceProblem;
  VertexSink<Loaded> sink{vertex, layout, loaded, ""};
  return header.format == "ascii" ? readAsciiVertices(file, header, layout, sink)
                                  : readBinaryVertices(file, header, layout, sink);
}

template <typename Loaded> Loaded readPly(const std::string& path) {
  Loaded loaded;
  try {
    loaded.problem = readChecked(path, loaded);
  } catch (const std::bad_alloc&) {
    loaded.problem = "out of memory while reading";
  } catch (const std::exception& error) {
    loaded.problem = error.what();
  }
  if (!loaded.problem.empty()) {
    pointsOf(loaded).clear();
    loaded.attributes = CloudAttributes();
  }
  return loaded;
}

} // namespace

LoadedCloud readPlyFile(const std::string& path) {
  return readPly<LoadedCloud>(path);
}

LoadedPoints readPlyPoints(const std::string& path) {
  return readPly<LoadedPoints>(path);
}
