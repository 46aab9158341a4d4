#include "metrics/peaks.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

std::optional<double> parsePeak(const std::string& text) {
  if (text == "lidar-1mm")
    return 30000.0;
  for (int bits = 10; bits <= 20; ++bits)
    if (text == "vox" + std::to_string(bits))
      return std::ldexp(1.0, bits) - 1.0;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || !(value > 0.0))
    return std::nullopt;
  return value;
}
