// quorvane-dataset: builds a quorvane/ dataset tree from a folder of PCD clouds with PCL's
// octree codec, so that quorvane-eval can measure how well the codec preserved them.

#include "cloud_loading.h"
#include "file_listing.h"
#include "progress_line.h"

#include <pcl/common/common.h>
#include <pcl/common/io.h>
#include <pcl/compression/octree_pointcloud_compression.h>
#include <pcl/console/print.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = boost::filesystem;
using Codec = pcl::io::OctreePointCloudCompression<pcl::PointXYZRGBA>;

struct CodecProfile {
  const char* name;
  pcl::io::compression_Profiles_e profile;
};

const CodecProfile kProfiles[] = {
    {"low-online-nocolor", pcl::io::LOW_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
    {"low-online-color", pcl::io::LOW_RES_ONLINE_COMPRESSION_WITH_COLOR},
    {"med-online-nocolor", pcl::io::MED_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
    {"med-online-color", pcl::io::MED_RES_ONLINE_COMPRESSION_WITH_COLOR},
    {"high-online-nocolor", pcl::io::HIGH_RES_ONLINE_COMPRESSION_WITHOUT_COLOR},
    {"high-online-color", pcl::io::HIGH_RES_ONLINE_COMPRESSION_WITH_COLOR},
    {"low-offline-nocolor", pcl::io::LOW_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
    {"low-offline-color", pcl::io::LOW_RES_OFFLINE_COMPRESSION_WITH_COLOR},
    {"med-offline-nocolor", pcl::io::MED_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
    {"med-offline-color", pcl::io::MED_RES_OFFLINE_COMPRESSION_WITH_COLOR},
    {"high-offline-nocolor", pcl::io::HIGH_RES_OFFLINE_COMPRESSION_WITHOUT_COLOR},
    {"high-offline-color", pcl::io::HIGH_RES_OFFLINE_COMPRESSION_WITH_COLOR},
};
const CodecProfile& kDefaultProfile = kProfiles[9];
// The codec allocates without bound once a cloud's extent needs 31 octree levels (two points
// 2e7 units apart at 1 cm take 4 GB and more); 30 levels still encode at once. 28 keeps a
// margin and still spans 27 km at the finest profile's 0.1 mm.
constexpr int kMaxOctreeDepth = 28;

void printProblem(const std::string& text) {
  pcl::console::print(pcl::console::L_ERROR, "quorvane-dataset: %s\n", text.c_str());
}

struct Options {
  pcl::io::compression_Profiles_e profile = kDefaultProfile.profile;
  fs::path output = ".";
  fs::path input;
  bool help = false;
  bool listProfiles = false;
};

// Seconds spent in the codec, for one cloud or for all.
struct CodecSeconds {
  double encoding = 0.0;
  double decoding = 0.0;
};

struct DatasetTree {
  fs::path originals;
  fs::path compressed;
  fs::path decoded;
};

void printUsage(std::ostream& stream) {
  stream << "usage: quorvane-dataset [--profile NAME] [--output DIR] INPUT_DIR\n"
            "       quorvane-dataset --list-profiles\n\n"
            "Compresses every *.pcd below INPUT_DIR with PCL's octree codec and writes\n"
            "DIR/quorvane/pcd_binary_original, octree_compressed and octree_uncompressed,\n"
            "ready for quorvane-eval. DIR defaults to the current directory. A cloud without\n"
            "colour, and every decoded cloud of a profile without colour, is written without\n"
            "a colour field. Prints each cloud's sizes and the seconds spent encoding and\n"
            "decoding it, then the totals.\n\n"
            "profiles (resolution, online or offline, with or without colour):\n";
  for (const CodecProfile& profile : kProfiles)
    stream << "  " << profile.name << (&profile == &kDefaultProfile ? "  (default)" : "") << "\n";
}

bool findProfile(const std::string& name, pcl::io::compression_Profiles_e& profile) {
  for (const CodecProfile& candidate : kProfiles)
    if (name == candidate.name) {
      profile = candidate.profile;
      return true;
    }
  return false;
}

// Returns false, after a message, for arguments that do not make a valid call.
bool parseOptions(int argc, char** argv, Options& options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      return true;
    }
    if (argument == "--list-profiles") {
      options.listProfiles = true;
      return true;
    }
    if (argument == "--profile" || argument == "--output") {
      if (i + 1 >= argc) {
        printProblem(argument + " needs a value");
        return false;
      }
      const std::string value = argv[++i];
      if (argument == "--output") {
        options.output = value;
      } else if (!findProfile(value, options.profile)) {
        printProblem("unknown profile '" + value + "' (see --help)");
        return false;
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      printProblem("unknown option " + argument + " (see --help)");
      return false;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 1) {
    printProblem("expected one INPUT_DIR (see --help)");
    return false;
  }
  options.input = positional.front();
  return true;
}

bool isInside(const fs::path& candidate, const fs::path& directory) {
  auto inner = candidate.begin();
  for (auto outer = directory.begin(); outer != directory.end(); ++outer, ++inner)
    if (inner == candidate.end() || *inner != *outer)
      return false;
  return true;
}

// Creates the three folders; returns false, after a message, when that is not possible or
// when the output and the input would overlap.
bool prepareOutput(const Options& options, DatasetTree& tree) {
  const fs::path root = options.output / "quorvane";
  const fs::path canonicalRoot = fs::weakly_canonical(root);
  const fs::path canonicalInput = fs::canonical(options.input);
  if (isInside(canonicalRoot, canonicalInput)) {
    printProblem("the output " + root.string() + " lies inside the input " +
                 options.input.string() + "; choose another --output");
    return false;
  }
  if (isInside(canonicalInput, canonicalRoot)) {
    printProblem("the input " + options.input.string() + " lies inside the output " +
                 root.string() + ", whose files would be written over it; choose another --output");
    return false;
  }
  tree = {root / "pcd_binary_original", root / "octree_compressed", root / "octree_uncompressed"};
  for (const fs::path& folder : {tree.originals, tree.compressed, tree.decoded}) {
    boost::system::error_code error;
    fs::create_directories(folder, error);
    if (error) {
      printProblem("cannot create " + folder.string() + ": " + error.message());
      return false;
    }
  }
  return true;
}

// PCL's binary writer refuses a cloud without points, so an empty one gets its header alone.
template <typename Point>
bool writeBinary(const fs::path& file, const pcl::PointCloud<Point>& cloud) {
  if (!cloud.empty())
    return pcl::PCDWriter().writeBinary(file.string(), cloud) >= 0;
  std::ofstream stream(file.string(), std::ios::binary);
  stream << pcl::PCDWriter::generateHeader(cloud, 0) << "DATA binary\n";
  return static_cast<bool>(stream);
}

// Writes the cloud with its colours, or with x, y and z alone.
bool writeBinaryCloud(const fs::path& file, const ColorCloud& cloud, bool withColor) {
  fs::create_directories(file.parent_path());
  if (withColor)
    return writeBinary(file, cloud);
  pcl::PointCloud<pcl::PointXYZ> positions;
  pcl::copyPointCloud(cloud, positions);
  return writeBinary(file, positions);
}

bool writeBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream stream(file.string(), std::ios::binary);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream.flush());
}

// The octree levels that the codec needs for the cloud's extent at the profile's resolution.
int octreeDepth(const ColorCloud& cloud, pcl::io::compression_Profiles_e profile) {
  Eigen::Vector4f lowest, highest;
  pcl::getMinMax3D(cloud, lowest, highest);
  const double extent = static_cast<double>((highest - lowest).head<3>().maxCoeff());
  const double cells = extent / pcl::io::compressionProfiles_[profile].octreeResolution;
  return cells <= 1.0 ? 0 : static_cast<int>(std::ceil(std::log2(cells)));
}

// The files that a run reads, by device and inode, so that no write can reach one of them
// through another name or a link.
using FileIdentity = std::pair<dev_t, ino_t>;
using SourceFiles = std::set<FileIdentity>;

std::optional<FileIdentity> identityOf(const fs::path& file) {
  struct stat status;
  if (::stat(file.c_str(), &status) != 0)
    return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

SourceFiles identitiesOf(const std::vector<fs::path>& files) {
  SourceFiles identities;
  for (const fs::path& file : files)
    if (const auto identity = identityOf(file))
      identities.insert(*identity);
  return identities;
}

// One round trip through a fresh codec, so that every cloud is an intra frame. Returns the
// reason when the cloud cannot be encoded.
std::string roundTrip(const ColorCloud& original, pcl::io::compression_Profiles_e profile,
                      std::string& compressedBytes, ColorCloud::Ptr& decoded,
                      CodecSeconds& seconds) {
  auto finite = std::make_shared<ColorCloud>();
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(original, *finite, kept);
  decoded = std::make_shared<ColorCloud>();
  if (finite->empty()) // the codec cannot bound an empty octree
    return "";
  const int depth = octreeDepth(*finite, profile);
  if (depth > kMaxOctreeDepth)
    return "its extent needs an octree of " + std::to_string(depth) +
           " levels at this profile's resolution; at most " + std::to_string(kMaxOctreeDepth) +
           " are allowed";
  using Clock = std::chrono::steady_clock;
  std::stringstream stream;
  const Clock::time_point start = Clock::now();
  Codec encoder(profile, false);
  encoder.encodePointCloud(finite, stream);
  const Clock::time_point encoded = Clock::now();
  Codec decoder;
  decoder.decodePointCloud(stream, decoded);
  seconds.encoding = std::chrono::duration<double>(encoded - start).count();
  seconds.decoding = std::chrono::duration<double>(Clock::now() - encoded).count();
  compressedBytes = stream.str();
  return "";
}

// Writes the three files of one cloud; returns the reason when that is not possible, or when
// a file to write is one of the sources.
std::string writePair(const DatasetTree& tree, const std::string& relative,
                      const SourceFiles& sources, const ColorCloud& original, bool originalHasColor,
                      const std::string& compressedBytes, const ColorCloud& decoded,
                      bool decodedHasColor) {
  for (const fs::path& target :
       {tree.originals / relative, tree.compressed / compressedName(relative),
        tree.decoded / relative}) {
    const auto identity = identityOf(target);
    if (identity && sources.count(*identity) != 0)
      return "writing " + target.string() + " would write over a source cloud";
  }
  if (!writeBinaryCloud(tree.originals / relative, original, originalHasColor) ||
      !writeBytes(tree.compressed / compressedName(relative), compressedBytes) ||
      !writeBinaryCloud(tree.decoded / relative, decoded, decodedHasColor))
    return std::string("cannot write its files: ") + std::strerror(errno);
  return "";
}

// Returns the reason when the cloud could not be read, encoded or written.
std::string buildPair(const fs::path& source, const std::string& relative, const DatasetTree& tree,
                      const SourceFiles& sources, pcl::io::compression_Profiles_e profile,
                      CodecSeconds& seconds) {
  ColorCloud original;
  bool hasColor = false;
  std::string problem = readCloudFile(source.string(), original, hasColor);
  if (!problem.empty())
    return "not a readable PCD cloud: " + problem;
  std::string compressedBytes;
  ColorCloud::Ptr decoded;
  problem = roundTrip(original, profile, compressedBytes, decoded, seconds);
  const bool decodedHasColor = hasColor && pcl::io::compressionProfiles_[profile].doColorEncoding;
  if (problem.empty())
    problem = writePair(tree, relative, sources, original, hasColor, compressedBytes, *decoded,
                        decodedHasColor);
  if (!problem.empty())
    return problem;
  const auto originalBytes = fs::file_size(tree.originals / relative);
  std::cout << relative << ": " << original.size() << " points in, " << decoded->size() << " out, "
            << compressedBytes.size() << " bytes compressed, ratio "
            << static_cast<double>(compressedBytes.size()) / static_cast<double>(originalBytes)
            << ", encoded in " << seconds.encoding << " s, decoded in " << seconds.decoding << " s"
            << std::endl;
  return "";
}

// buildPair, with every failure of the file system or of memory turned into a reason.
std::string buildPairSafely(const fs::path& source, const std::string& relative,
                            const DatasetTree& tree, const SourceFiles& sources,
                            pcl::io::compression_Profiles_e profile, CodecSeconds& seconds) {
  try {
    return buildPair(source, relative, tree, sources, profile, seconds);
  } catch (const fs::filesystem_error& error) {
    return error.code().message() + " (" + error.path1().string() + ")";
  } catch (const std::bad_alloc&) {
    return "out of memory";
  }
}

} // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    printUsage(std::cerr);
    return 2;
  }
  if (options.help) {
    printUsage(std::cout);
    return 0;
  }
  if (options.listProfiles) {
    for (const CodecProfile& profile : kProfiles)
      std::cout << profile.name << "\n";
    return 0;
  }
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);
  boost::system::error_code error;
  if (!fs::is_directory(options.input, error)) {
    printProblem(options.input.string() + " is not a readable directory" +
                 (error ? ": " + error.message() : std::string()));
    return 1;
  }
  std::vector<fs::path> sources;
  std::vector<SkippedEntry> skipped;
  try {
    listFiles(options.input, ".pcd", sources, &skipped);
  } catch (const fs::filesystem_error& listingError) {
    printProblem("cannot list " + options.input.string() + ": " + listingError.path1().string() +
                 ": " + listingError.code().message());
    return 1;
  }
  DatasetTree tree;
  if (!prepareOutput(options, tree))
    return 1;

  bool succeeded = skipped.empty();
  for (const SkippedEntry& entry : skipped)
    printProblem("skipped " + printableName(entry.path.string()) + ": " + entry.reason);
  const SourceFiles sourceFiles = identitiesOf(sources);
  CodecSeconds total;
  std::size_t encoded = 0;
  for (const fs::path& source : sources) {
    CodecSeconds seconds;
    const std::string problem = buildPairSafely(source, relativeName(source, options.input), tree,
                                                sourceFiles, options.profile, seconds);
    if (!problem.empty()) {
      printProblem("skipped " + printableName(source.string()) + ": " + problem);
      succeeded = false;
      continue;
    }
    ++encoded;
    total.encoding += seconds.encoding;
    total.decoding += seconds.decoding;
  }
  std::cout << "total: " << encoded << " clouds encoded in " << total.encoding << " s, decoded in "
            << total.decoding << " s" << std::endl;
  return succeeded ? 0 : 1;
}
