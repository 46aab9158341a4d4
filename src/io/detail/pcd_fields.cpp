#include "io/detail/pcd_fields.h"

#include <algorithm>
#include <array>
#include <locale>
#include <sstream>

namespace {

bool isMappedColor(const PcdField& field) {
  return (field.name == "rgb" || field.name == "rgba") && field.count == 1 && field.size == 4 &&
         (field.type == 'U' || (field.type == 'F' && field.name == "rgb"));
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

} // namespace

std::string describe(const PcdField& field) {
  return std::string(1, field.type) + " " + std::to_string(field.size) +
         (field.count == 1 ? "" : " x " + std::to_string(field.count));
}

bool hasMappedColor(const PcdHeader& header) {
  return std::any_of(header.fields.begin(), header.fields.end(), isMappedColor);
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
