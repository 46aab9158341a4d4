#pragma once

#include "codecs/codec_profiles.h"
#include "common/color_cloud.h"

// Encodes the cloud's finite points as a Draco point cloud and decodes them again: positions
// quantised to the profile's bits over the cloud's bounding box, colours as 8-bit values when
// the profile keeps colour, with the encoder and decoder at `speed` (0 to 10). A cloud without a
// finite point gives no bytes and no points.
RoundTrip dracoRoundTrip(const ColorCloud& original, const CodecProfile& profile, int speed);
