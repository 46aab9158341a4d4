#include "io/detail/ply_values.h"

#include "io/detail/text_tokens.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

bool parseValue(const std::string& token, PlyType type, double& value) {
  if (!isDecimalNumber(token, !isFloating(type)))
    return false;
  if (type == PlyType::Float32) {
    errno = 0;
    const float single = std::strtof(token.c_str(), nullptr);
    value = single;
    return std::isfinite(single);
  }
  value = std::strtod(token.c_str(), nullptr);
  if (type == PlyType::Float64)
    return std::isfinite(value);
  const int bits = 8 * static_cast<int>(sizeOf(type));
  const bool isUnsigned =
      type == PlyType::UInt8 || type == PlyType::UInt16 || type == PlyType::UInt32;
  const double lowest = isUnsigned ? 0.0 : -std::ldexp(1.0, bits - 1);
  const double highest = std::ldexp(1.0, bits - (isUnsigned ? 0 : 1)) - 1.0;
  return value >= lowest && value <= highest;
}

double binaryValue(const unsigned char* bytes, PlyType type, bool swap) {
  if (!swap && type == PlyType::Float32) {
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  unsigned char ordered[8];
  const std::size_t size = sizeOf(type);
  for (std::size_t i = 0; i < size; ++i)
    ordered[i] = bytes[swap ? size - 1 - i : i];
  const auto read = [&ordered](auto value) {
    std::memcpy(&value, ordered, sizeof value);
    return static_cast<double>(value);
  };
  switch (type) {
  case PlyType::Int8:
    return read(std::int8_t{});
  case PlyType::UInt8:
    return read(std::uint8_t{});
  case PlyType::Int16:
    return read(std::int16_t{});
  case PlyType::UInt16:
    return read(std::uint16_t{});
  case PlyType::Int32:
    return read(std::int32_t{});
  case PlyType::UInt32:
    return read(std::uint32_t{});
  case PlyType::Float32:
    return read(float{});
  default:
    return read(double{});
  }
}
