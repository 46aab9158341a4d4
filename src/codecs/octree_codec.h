#pragma once

#include "codecs/codec_profiles.h"
#include "common/color_cloud.h"

#include <memory>

// The codec allocates without bound once a cloud's extent needs 31 octree levels (two points
// 2e7 units apart at 1 cm take 4 GB and more); 30 levels still encode at once. 28 keeps a
// margin and still spans 27 km at the finest profile's 0.1 mm.
constexpr int kMaxOctreeDepth = 28;

// The side of the octree's voxels for the cloud: the fixed profile's resolution, or the
// largest side of the cloud's bounding box over 2^bits for a ladder's rate point (1 for a cloud
// that spans nothing).
double octreeResolution(const ColorCloud& cloud, const CodecProfile& profile);

// The octree levels that the codec needs for the cloud's extent at the profile's resolution.
int octreeDepth(const ColorCloud& cloud, const CodecProfile& profile);

// One encoder and one decoder that a sequence's frames go through in order.
struct OctreeCoders;

// A sequence's coders between its frames; empty before its first frame.
using OctreeStream = std::shared_ptr<OctreeCoders>;

// Encodes the cloud's finite points with PCL's octree codec and decodes them again. A fixed
// profile runs as PCL defines it; a ladder's rate point keeps one point a voxel, the voxel's
// centre, with its colour in 8 bits a channel when the profile keeps colour. A cloud without
// a finite point gives no bytes and no points: the codec cannot bound an empty octree.
// Without a stream every cloud is an I-frame of a fresh encoder. With one, the cloud is the
// stream's next frame: the first frame makes its coders (a ladder's resolution comes from that
// frame), and later frames are coded against the one before, with an I-frame as often as the
// profile's I-frame rate says (and whenever the octree's depth changes), exactly as one PCL
// encoder and one decoder code a stream.
RoundTrip octreeRoundTrip(const ColorCloud& original, const CodecProfile& profile,
                          OctreeStream* stream = nullptr);
