#pragma once

#include "dataset_layout.h"
#include "octree_codec.h"

#include <boost/filesystem/path.hpp>

#include <cstdint>
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

// What became of one source cloud.
struct BuiltPair {
  // Why the cloud was skipped: it cannot be read, encoded or written; empty when it was not.
  std::string problem;
  std::size_t originalPoints = 0;
  std::size_t decodedPoints = 0;
  std::uint64_t compressedBytes = 0;
  std::uint64_t originalBytes = 0; // the size of the written original
  double encodingSeconds = 0.0;
  double decodingSeconds = 0.0;
};

// Reads the source cloud and writes its original, compressed file and decoded cloud at the
// name below the dataset's folders. A cloud without a colour field is written without one,
// and so is every decoded cloud of a profile that does not keep colour. Every failure of the
// file system or of memory becomes the problem; no file of sources is ever written.
BuiltPair buildPair(const boost::filesystem::path& source, const std::string& name,
                    const Dataset& dataset, const SourceFiles& sources,
                    pcl::io::compression_Profiles_e profile);
