#pragma once

// dataset: the quorvane/ tree, its listing and pairing, and building it with a codec.

#include "codecs/codec_profiles.h"
#include "codecs/octree_codec.h"
#include "dataset/dataset_layout.h"
#include "dataset/file_listing.h"

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

// Creates the three folders of the dataset below OUTPUT/quorvane, none of them listed yet.
// Returns the problem when that is not possible, or when the output's tree and the input
// folder would lie inside each other.
std::string prepareDataset(const boost::filesystem::path& input,
                           const boost::filesystem::path& output, Dataset& dataset);

// The files that a run reads, by device and inode, so that no write can reach one of them
// through another name or a link.
using SourceFiles = std::set<std::pair<dev_t, ino_t>>;
SourceFiles identitiesOf(const std::vector<boost::filesystem::path>& files);

// The source clouds below input, *.pcd and *.ply files at any depth, and the entries among
// them that are skipped (linked folders, cloud names that are not regular files). Failures of
// the file system throw as listFiles does.
void listSourceClouds(const boost::filesystem::path& input,
                      std::vector<boost::filesystem::path>& sources,
                      std::vector<SkippedEntry>& skipped);

// The name of a source cloud's files in the dataset: its name below input, a PLY cloud's with
// .pcd in place of .ply, since its original is written as PCD.
std::string datasetName(const boost::filesystem::path& source,
                        const boost::filesystem::path& input);

// What became of one source cloud.
struct BuiltPair {
  // Why the cloud was skipped: it cannot be read, encoded or written; empty when it was not.
  std::string problem;
  std::size_t originalPoints = 0;
  std::size_t decodedPoints = 0;
  std::uint64_t compressedBytes = 0;
  // The compressed bytes that code the colours, where the codec tells.
  std::optional<std::uint64_t> colorBytes;
  std::uint64_t originalBytes = 0; // the size of the written original
  double encodingSeconds = 0.0;
  double decodingSeconds = 0.0;
};

// Reads the source cloud and writes its original, compressed file and decoded cloud at the
// name below the dataset's folders. A cloud without a colour field is written without one,
// and so is every decoded cloud of a profile that does not keep colour. Every failure of the
// file system or of memory becomes the problem; no file of sources is ever written.
// Draco's encoder and decoder run at dracoSpeed. With a stream, PCL's octree codec codes the
// cloud as the stream's next frame (octreeRoundTrip); Draco codes every cloud alone.
BuiltPair buildPair(const boost::filesystem::path& source, const std::string& name,
                    const Dataset& dataset, const SourceFiles& sources, const CodecProfile& profile,
                    int dracoSpeed = kDefaultDracoSpeed, OctreeStream* stream = nullptr);
