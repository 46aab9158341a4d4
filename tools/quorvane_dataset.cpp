// quorvane-dataset: builds a quorvane/ dataset tree from a folder of PCD clouds with PCL's
// octree codec, so that quorvane-eval can measure how well the codec preserved them.

#include "cloud_comparison.h"
#include "file_listing.h"

#include <pcl/compression/octree_pointcloud_compression.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

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
const char* const kDefaultProfile = "med-offline-color";

struct Options {
  pcl::io::compression_Profiles_e profile = pcl::io::MED_RES_OFFLINE_COMPRESSION_WITH_COLOR;
  fs::path output = ".";
  fs::path input;
  bool help = false;
};

struct DatasetTree {
  fs::path originals;
  fs::path compressed;
  fs::path decoded;
};

void printUsage(std::ostream& stream) {
  stream << "usage: quorvane-dataset [--profile NAME] [--output DIR] INPUT_DIR\n\n"
            "Compresses every *.pcd below INPUT_DIR with PCL's octree codec and writes\n"
            "DIR/quorvane/pcd_binary_original, octree_compressed and octree_uncompressed,\n"
            "ready for quorvane-eval. DIR defaults to the current directory.\n\n"
            "profiles (resolution, online or offline, with or without colour):\n";
  for (const CodecProfile& profile : kProfiles)
    stream << "  " << profile.name
           << (std::strcmp(profile.name, kDefaultProfile) == 0 ? "  (default)" : "") << "\n";
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
    if (argument == "--profile" || argument == "--output") {
      if (i + 1 >= argc) {
        std::cerr << "quorvane-dataset: " << argument << " needs a value\n";
        return false;
      }
      const std::string value = argv[++i];
      if (argument == "--output") {
        options.output = value;
      } else if (!findProfile(value, options.profile)) {
        std::cerr << "quorvane-dataset: unknown profile '" << value << "' (see --help)\n";
        return false;
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::cerr << "quorvane-dataset: unknown option " << argument << " (see --help)\n";
      return false;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 1) {
    std::cerr << "quorvane-dataset: expected one INPUT_DIR (see --help)\n";
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
// when they would land inside the input.
bool prepareOutput(const Options& options, DatasetTree& tree) {
  const fs::path root = options.output / "quorvane";
  if (isInside(fs::weakly_canonical(root), fs::canonical(options.input))) {
    std::cerr << "quorvane-dataset: the output " << root << " lies inside the input "
              << options.input << "; choose another --output\n";
    return false;
  }
  tree = {root / "pcd_binary_original", root / "octree_compressed", root / "octree_uncompressed"};
  for (const fs::path& folder : {tree.originals, tree.compressed, tree.decoded}) {
    boost::system::error_code error;
    fs::create_directories(folder, error);
    if (error) {
      std::cerr << "quorvane-dataset: cannot create " << folder << ": " << error.message() << "\n";
      return false;
    }
  }
  return true;
}

// PCL's binary writer refuses a cloud without points, so an empty one gets its header alone.
bool writeBinaryCloud(const fs::path& file, const ColorCloud& cloud) {
  fs::create_directories(file.parent_path());
  if (!cloud.empty())
    return pcl::PCDWriter().writeBinary(file.string(), cloud) >= 0;
  std::ofstream stream(file.string(), std::ios::binary);
  stream << pcl::PCDWriter::generateHeader(cloud, 0) << "DATA binary\n";
  return static_cast<bool>(stream);
}

bool writeBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream stream(file.string(), std::ios::binary);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream.flush());
}

// One round trip through a fresh codec, so that every cloud is an intra frame.
ColorCloud::Ptr roundTrip(const ColorCloud& original, pcl::io::compression_Profiles_e profile,
                          std::string& compressedBytes) {
  auto finite = std::make_shared<ColorCloud>();
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(original, *finite, kept);
  auto decoded = std::make_shared<ColorCloud>();
  if (finite->empty()) // the codec cannot bound an empty octree
    return decoded;
  std::stringstream stream;
  Codec encoder(profile, false);
  encoder.encodePointCloud(finite, stream);
  compressedBytes = stream.str();
  Codec decoder;
  decoder.decodePointCloud(stream, decoded);
  return decoded;
}

// Returns false, after a message, when the cloud could not be read or its files not written.
bool buildPair(const fs::path& source, const fs::path& relative, const DatasetTree& tree,
               pcl::io::compression_Profiles_e profile) {
  ColorCloud original;
  if (!readCloudFile(source.string(), original)) {
    std::cerr << "quorvane-dataset: skipped " << source << ": not a readable PCD cloud\n";
    return false;
  }
  std::string compressedBytes;
  const ColorCloud::Ptr decoded = roundTrip(original, profile, compressedBytes);
  fs::path compressedName = relative;
  compressedName.replace_extension();
  if (!writeBinaryCloud(tree.originals / relative, original) ||
      !writeBytes(tree.compressed / compressedName, compressedBytes) ||
      !writeBinaryCloud(tree.decoded / relative, *decoded)) {
    std::cerr << "quorvane-dataset: cannot write the files of " << relative.string() << ": "
              << std::strerror(errno) << "\n";
    return false;
  }
  const auto originalBytes = fs::file_size(tree.originals / relative);
  std::cout << relative.string() << ": " << original.size() << " points in, " << decoded->size()
            << " out, " << compressedBytes.size() << " bytes compressed, ratio "
            << static_cast<double>(compressedBytes.size()) / static_cast<double>(originalBytes)
            << std::endl;
  return true;
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
  boost::system::error_code error;
  if (!fs::is_directory(options.input, error)) {
    std::cerr << "quorvane-dataset: " << options.input << " is not a readable directory"
              << (error ? ": " + error.message() : std::string()) << "\n";
    return 1;
  }
  std::vector<fs::path> sources;
  try {
    listFiles(options.input, ".pcd", sources);
  } catch (const fs::filesystem_error& listingError) {
    std::cerr << "quorvane-dataset: cannot list " << options.input << ": "
              << listingError.code().message() << "\n";
    return 1;
  }
  DatasetTree tree;
  if (!prepareOutput(options, tree))
    return 1;

  bool succeeded = true;
  for (const fs::path& source : sources)
    succeeded =
        buildPair(source, source.lexically_relative(options.input), tree, options.profile) &&
        succeeded;
  return succeeded ? 0 : 1;
}
