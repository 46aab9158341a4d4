#include "codecs/draco_codec.h"

#include <draco/compression/decode.h>
#include <draco/compression/encode.h>
#include <draco/point_cloud/point_cloud_builder.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The cloud's finite points as Draco's point cloud.
std::unique_ptr<draco::PointCloud> dracoCloudOf(const ColorCloud& cloud, bool color) {
  std::vector<float> positions;
  std::vector<std::uint8_t> colors;
  for (const pcl::PointXYZRGBA& point : cloud) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
      continue;
    positions.insert(positions.end(), {point.x, point.y, point.z});
    if (color)
      colors.insert(colors.end(), {point.r, point.g, point.b});
  }
  if (positions.empty())
    return nullptr;
  draco::PointCloudBuilder builder;
  builder.Start(static_cast<draco::PointIndex::ValueType>(positions.size() / 3));
  const int position =
      builder.AddAttribute(draco::GeometryAttribute::POSITION, 3, draco::DT_FLOAT32);
  builder.SetAttributeValuesForAllPoints(position, positions.data(), 0);
  if (color) {
    const int rgb = builder.AddAttribute(draco::GeometryAttribute::COLOR, 3, draco::DT_UINT8);
    builder.SetAttributeValuesForAllPoints(rgb, colors.data(), 0);
  }
  return builder.Finalize(false);
}

// The decoded Draco points as PCL's; the reason when they are not as encoded.
std::string pclCloudOf(const draco::PointCloud& decoded, bool color, ColorCloud& cloud) {
  const draco::PointAttribute* position =
      decoded.GetNamedAttribute(draco::GeometryAttribute::POSITION);
  const draco::PointAttribute* rgb =
      color ? decoded.GetNamedAttribute(draco::GeometryAttribute::COLOR) : nullptr;
  if (position == nullptr || position->data_type() != draco::DT_FLOAT32 ||
      position->num_components() != 3 ||
      (color &&
       (rgb == nullptr || rgb->data_type() != draco::DT_UINT8 || rgb->num_components() != 3)))
    return "Draco decoded other attributes than it encoded";
  cloud.resize(decoded.num_points());
  for (draco::PointIndex::ValueType i = 0; i < decoded.num_points(); ++i) {
    float xyz[3];
    position->GetMappedValue(draco::PointIndex(i), xyz);
    std::uint8_t channels[3] = {0, 0, 0};
    if (color)
      rgb->GetMappedValue(draco::PointIndex(i), channels);
    cloud[i] =
        pcl::PointXYZRGBA(xyz[0], xyz[1], xyz[2], channels[0], channels[1], channels[2], 255);
  }
  return "";
}

draco::Status encode(const draco::PointCloud& cloud, const CodecProfile& profile, int speed,
                     draco::EncoderBuffer& buffer) {
  draco::Encoder encoder;
  encoder.SetSpeedOptions(speed, speed);
  encoder.SetAttributeQuantization(draco::GeometryAttribute::POSITION, profile.bits);
  return encoder.EncodePointCloudToBuffer(cloud, &buffer);
}

} // namespace

RoundTrip dracoRoundTrip(const ColorCloud& original, const CodecProfile& profile, int speed) {
  RoundTrip trip;
  const std::unique_ptr<draco::PointCloud> cloud = dracoCloudOf(original, profile.color);
  if (cloud == nullptr)
    return trip;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  draco::EncoderBuffer buffer;
  const draco::Status encoded = encode(*cloud, profile, speed, buffer);
  if (!encoded.ok()) {
    trip.problem = std::string("Draco cannot encode it: ") + encoded.error_msg();
    return trip;
  }
  const Clock::time_point middle = Clock::now();
  draco::DecoderBuffer input;
  input.Init(buffer.data(), buffer.size());
  draco::Decoder decoder;
  auto decoded = decoder.DecodePointCloudFromBuffer(&input);
  if (!decoded.ok()) {
    trip.problem =
        std::string("Draco cannot decode its own stream: ") + decoded.status().error_msg();
    return trip;
  }
  trip.encodingSeconds = std::chrono::duration<double>(middle - start).count();
  trip.decodingSeconds = std::chrono::duration<double>(Clock::now() - middle).count();
  trip.problem = pclCloudOf(*decoded.value(), profile.color, trip.decoded);
  trip.compressedBytes.assign(buffer.data(), buffer.size());
  // Draco's stream does not separate its attributes: the colours cost what the stream without
  // them saves.
  trip.colorBytes = 0;
  draco::EncoderBuffer positions;
  if (profile.color && encode(*dracoCloudOf(original, false), profile, speed, positions).ok())
    trip.colorBytes = buffer.size() > positions.size() ? buffer.size() - positions.size() : 0;
  return trip;
}
