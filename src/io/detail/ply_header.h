#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// A PLY header as it declares its elements and their properties.

enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64, None };

struct PlyProperty {
  std::string name;
  std::string typeName; // as the header writes it, for messages
  PlyType type = PlyType::None;
  bool list = false;
  PlyType countType = PlyType::None; // a list's
  std::string countTypeName;
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

// A scalar type under either of the names PLY allows; None for no such name.
PlyType typeNamed(const std::string& name);

// The bytes of a scalar type; 0 for None.
std::size_t sizeOf(PlyType type);

bool isFloating(PlyType type);

// Reads the header up to end_header; the reason when it is not a PLY header this reader takes.
std::string readPlyHeader(std::istream& file, PlyHeader& header);
